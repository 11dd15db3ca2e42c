// Loops re-read their condition, step and body every pass.
for (i = 0; i < 5; i++) print("for " + i);
n = 0;
while (n < 3) {
    n++;
    print("while " + n);
}
for (var k = 0; k < 0; k++) print("never");
print("k " + k);
while (0) print("never");
total = 0;
for (i = 0; i < 10; i++) {
    if (i % 2 == 0) total += i;
    else {
        total -= 1;
    }
}
print("total " + total);
// Nested loops and a loop inside a function that returns from it.
count = 0;
for (i = 0; i < 20; i++) for (j = 0; j < 30; j++) count++;
print("count " + count);
function firstOver(limit) {
    for (v = 0; v < 100; v++) {
        if (v * v > limit) return v;
    }
    return -1;
}
print(firstOver(50));
print(firstOver(100000));
// The most passes a loop may make.
for (i = 0; i < 8191; i++) {}
print("for passes " + i);
w = 0;
while (w < 8191) w++;
print("while passes " + w);
// An untaken branch consumes its tokens without effect.
x = 1;
if (0) x = [1, 2];
print(x);
if (0) {
    this is not even parsed ( ;
}
if (1) print("then"); else print("else");
if (0) print("then"); else print("else");
if (0) if (1) print("inner"); else print("dangling else binds inside");
print("end");
