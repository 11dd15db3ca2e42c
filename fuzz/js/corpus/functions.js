// Scoping is dynamic: a function sees the locals of its callers.
var x = 1;
function f() { return x; }
function g() { var x = 2; return f(); }
print(g());
print(f());
// Basic arguments are copied, objects with members shared; empty objects and
// arrays count as basic.
function mark(a) { a.x = 1; }
var o = {};
mark(o);
print(o.x);
var p = {y: 0};
mark(p);
print(p.x);
function bump(n) { n++; return n; }
var k = 5;
print(bump(k) + " " + k);
// Undefined names assigned inside a function become globals.
function setQ() { q = 1; }
setQ();
print(q);
// Locals declared with var stay inside the call.
function local() { var hidden = 3; return hidden; }
print(local());
print(hidden);
// A function defined in a function belongs to that call.
function outer() {
    function inner() { return "inner"; }
    return inner();
}
print(outer());
print(inner);
// Recursion.
function fact(n) {
    if (n <= 1) return 1;
    return n * fact(n - 1);
}
print(fact(10));
// Functions are values.
var twice = function (v) { return v * 2; };
print(twice(21));
function apply(fn, v) { return fn(v); }
print(apply(twice, 4));
// A function without return gives undefined; return without value too.
function nothing() {}
print(nothing());
function early(v) { if (v) return; return "late"; }
print(early(1) + " " + early(0));
// Statements after return are only read.
function after() { return 1; print("never"); }
print(after());
// Methods get this.
var counter = {n: 0, add: function (d) { this.n += d; return this.n; }};
counter.add(2);
print(counter.add(3));
var list = [1, 2];
print(list.length);
// Member access on a missing variable builds on a temporary.
a.b.c = 1;
print(a);
// Function source text.
function src(a, b) { return a + b; }
print(JSON.stringify(src, 0));
// No closures: a returned function sees the locals of whoever calls it, not
// those of the call that made it.
function makeGetter() { var secret = 5; return function () { return secret; }; }
var getter = makeGetter();
print(getter());
function caller() { var secret = 9; return getter(); }
print(caller());
