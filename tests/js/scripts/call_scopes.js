// Arguments made by an expression are fresh values: changing them inside the
// call leaves nothing behind, and empty objects made in the call stay whole.
function grow(a) { a.x = 1; return a; }
var made = grow({});
print(made.x);
var kept = {};
grow(kept);
print(kept.x);
function bump(n) { n++; return n; }
var k = 5;
print(bump(k + 1) + " " + bump(k) + " " + k);
// Functions passed as arguments straight from a literal still run.
function run(fn, v) { return fn(v); }
print(run(function (v) { return v + 1; }, 41));
// Each call gets its own locals and return slot, also when calls nest and
// when one call ends while its caller goes on.
function inner(v) { var local = v * 2; return local; }
function outer(v) { var local = v; var got = inner(v + 1); return local + " " + got + " " + local; }
print(outer(1) + " / " + outer(10));
print(local);
function countdown(n) { if (n == 0) return "done"; var mine = n; var rest = countdown(n - 1); return mine + "," + rest; }
print(countdown(5));
// A call scope never carries locals or results into the next call.
function leftover(set) { if (set) { var stale = "stale"; return 1; } return stale; }
leftover(1);
print(leftover(0));
function noResult(v) { if (v) return v; }
print(noResult(3) + " " + noResult(0));
// A member named "return" added to a function is a parameter like any other:
// the return statement and the call's result find it before the real slot.
function odd(a) { return a + 1; }
odd["return"] = 0;
print(odd(1, 7));
print(odd(1, 7) + odd(2, 8));
function silent(a) { a = a + 1; }
silent["return"] = 0;
print(silent(1, 7));
// Return inside a nested run returns from nothing; the call it sits in keeps
// its own result.
function viaExec() { exec("return 5;"); return "own"; }
print(viaExec());
// Methods still see this, and a method's scope holds no leftovers from a
// plain call.
var box = {v: 3, get: function () { return this.v; }};
function plain() { return this; }
print(box.get() + " " + plain() + " " + box.get());
// A call yields an unnamed temporary: assigning to it only prints a message,
// also when the call returned a local or an argument.
function give() { var kept = 4; return kept; }
give() = 7;
print(give());
function same(v) { return v; }
same(2) += 1;
print(same(2));
