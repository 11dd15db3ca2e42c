// Statements after a return, and branches not taken, are only read - on every
// call again, so whatever reading them prints comes out every time.
function named(v) { if (v) return v; var g = function inner() { return 1; }; return 0; }
print(named(1));
print(named(2));
// The same statements run on some calls and are only read on others.
function clamp(v, lo, hi) { if (v < lo) return lo; if (v > hi) return hi; return v; }
print(clamp(-5, 0, 10) + " " + clamp(5, 0, 10) + " " + clamp(15, 0, 10) + " " + clamp(-1, 0, 10));
function pick(n) {
    if (n == 0) return "zero";
    if (n == 1) { var word = "one"; return word; }
    while (n > 100) { n = n - 100; return "big"; }
    for (var i = 0; i < n; i++) { if (i == 3) return "three of " + n; }
    return "small " + n;
}
print(pick(0) + ", " + pick(1) + ", " + pick(2) + ", " + pick(7) + ", " + pick(250) + ", " + pick(1) + ", " + pick(0));
// A return inside a loop body leaves the rest of the body and the loop.
function firstOver(limit) { var i = 0; while (i < 50) { i++; if (i * i > limit) return i; i = i; } return -1; }
print(firstOver(10) + " " + firstOver(2000) + " " + firstOver(30));
// Reading without effect defines nothing and assigns nothing.
function quiet(v) { return v; function hidden() { return 1; } seen = 1; var local = 2; }
print(quiet(4) + quiet(5));
print(hidden + " " + seen);
// A top-level return ends the program; what follows is only read.
print("last");
return;
print("never");
