function (a) { return a; }
var f = function named() { return 1; };
print("");
print(f());
5 = 3;
print("unnamed assignment ignored");
x = new Missing;
