print(2 + 3 * 4);
print((2 + 3) * 4);
print(10 - 2 - 3);
print(7 % 4 * 2);
// The right side of a shift is a whole assignment.
print(1 << 2 == 8);
print(2 << 1 < 5);
print(-8 >> 1);
print(-8 >>> 28);
print(1 << 33);
print(1 << -1);
y = 3;
z = y << 2;
print(y + " " + z);
// The five logic operators share one level, left to right.
print(1 | 2 && 0);
print(6 & 3 ^ 1);
print(0 && 1 || 1);
print(1 == 1 & 2);
// Short-circuits keep the unconverted left side.
print(0 || "x");
print(5 || x);
print(0 && x);
print("s" && 1);
print(1 && 2);
print(2 || 0);
print(0 || 0.5);
// Minus only leads an expression.
x = -1;
print(x < -1);
print(x - 1);
print(-x);
// Ternary and right-associative assignment.
print(1 ? "yes" : "no");
print(0 ? "yes" : "no");
a = b = 4;
print(a + b);
c = 10;
c -= 3;
print(c);
s = "ab";
s += "cd";
print(s);
i = 5;
print(i++ + 1);
print(i);
i--;
print(i);
