// Empty statements, dotted and multiple var declarations.
;;
var cfg.video.width = 640, cfg.video.height = 480;
print(cfg.video.width + "x" + cfg.video.height);
var a = 1, b, c = a + 2;
print(a + " " + b + " " + c);
// Untaken code is only read, whatever it contains.
if (0) x = 1 ? nothing() : other();
if (0) y = new Thing();
if (0) z = new Thing;
if (0) { w = undefined; w.f(1, 2).g[3] = -4; }
print(x + " " + y + " " + z + " " + w);
// Comparisons not covered elsewhere.
print("a" != "b");
print("b" != "b");
print(1.5 != 1.5);
print(2.5 >= 3);
print(3 >= 3);
print(2 <= 1);
print("abc" >= "abd");
// Nested blocks and an if without braces inside a loop.
n = 0;
for (i = 0; i < 4; i++) {
    {
        if (i == 2) n += 10;
        else n += 1;
    }
}
print(n);
