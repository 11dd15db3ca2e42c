// Text forms of the basic types.
print(3);
print(2.5);
print(null);
print(undefined);
print({});
print([1, 2]);
print(-7);
// Mixed operands.
print("a" + 1);
print(1 + 2 + "3");
print("3" + 1 + 2);
print(null + 1);
print(undefined + 1);
print(1 + 0.5);
// Integer and double arithmetic.
print(5 / 2);
print(-5 / 2);
print(-5 % 2);
print(5.0 / 2);
print(2147483647 + 1);
print(7 / 0);
print(7 % 0);
print(1.0 / 0);
print(6 * 7 - 2);
print(7 & 3);
print(5 | 2);
print(5 ^ 1);
// Comparisons.
print("abc" == undefined);
print("undefined" == undefined);
print(undefined == undefined);
print(undefined != undefined);
print(undefined == 0);
print(1 == 1.0);
print(1 === 1.0);
print(1 !== 1.0);
print("1" == 1);
print("1" === 1);
print("10" < "9");
print(10 < 9);
print("ab" < "abc");
print("b" >= "a");
print(2.5 <= 2.5);
print(null == 0);
o = {};
p = o;
print(o == p);
print(o == {});
print(o != {});
a = [1];
b = a;
print(a == b);
print(a != [1]);
// Unary not compares with 0, as text for strings.
print(!0);
print(!1);
print(!"0");
print(!"");
print(!"yes");
print(!null);
// Truth: only non-zero numbers are true.
if ("1") print("string true"); else print("strings are false");
if (0.5) print("half true"); else print("0.5 is false");
if (1.5) print("1.5 is true"); else print("1.5 false");
if ([1]) print("array true"); else print("arrays are false");
// Values are shared by reference, operators make new values.
n = 1;
m = n;
n += 1;
print(n + " " + m);
q = {v: 1};
r = q;
r.v = 2;
print(q.v);
