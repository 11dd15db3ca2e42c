function f(a, b) {}
f(1);
