// Small functions called often, and a recursive one.
function add(a, b) { return a + b; }
function clamp(v, lo, hi) { if (v < lo) return lo; if (v > hi) return hi; return v; }
function fib(n) { if (n < 2) return n; return fib(n - 1) + fib(n - 2); }
var s = 0;
for (var i = 0; i < 200; i++) {
    for (var j = 0; j < 200; j++) {
        s = clamp(add(s, j), 0, 1000000);
    }
}
print(s + " " + fib(20));
