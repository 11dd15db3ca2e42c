var a = [1, 2, 3, 2];
print(a.length);
a.remove(2);
print(a.length + " " + a.join(",") + " " + a.contains(2) + " " + a.contains(3));
print(a[0] + " " + a[1]);
var b = [5, "5", 6];
print(b.contains("6") + " " + b.contains(7));
b.remove(5);
print(b.length + " " + b.join("|"));
// Holes read as null.
var sparse = [];
sparse[0] = "a";
sparse[2] = "c";
print(sparse.length + " " + sparse.join(","));
print(sparse[1]);
var wide = [];
wide[7] = 1;
wide["0"] = 0;
print(wide.length);
wide.name = "not an index";
print(wide.length + " " + wide.join(""));
// A trailing comma is accepted; elements are shared.
var inner = {v: 1};
var outer = [inner, inner,];
outer[0].v = 2;
print(outer.length + " " + outer[1].v);
// Arrays hold anything and contains looks at every member.
var mixed = [null, undefined, 1.5, "x", [1]];
print(mixed.length + " " + mixed.contains(1.5) + " " + mixed.contains("x"));
print(mixed.join("/"));
// Object.clone copies deeply.
var orig = {list: [1, 2], name: "o"};
var copy = orig.clone();
copy.list[0] = 9;
print(orig.list[0] + " " + copy.list[0] + " " + copy.name);
