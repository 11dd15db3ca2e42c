function f(a, b) {}
f(1, 2, 3);
