// new with a function runs it with the new object as this.
function Point(x, y) { this.x = x; this.y = y; }
var pt = new Point(3, 4);
print(pt.x + "," + pt.y);
// new with an object makes it the prototype.
var Animal = {legs: 4, speak: function () { return "I have " + this.legs + " legs"; }};
var cat = new Animal;
print(cat.legs);
print(cat.speak());
var bird = new Animal();
// Lookup finds the prototype's member, so assigning it changes the prototype
// for every object made from it.
bird.legs = 2;
print(bird.speak());
print(Animal.legs);
// Chains of prototypes.
var Base = {kind: "base", hello: function () { return "hello from " + this.kind; }};
var Derived = new Base;
Derived.kind = "derived";
var leaf = new Derived;
print(leaf.hello());
// Methods of the class objects reach every value.
Object.describe = function () { return "described"; };
var s = "text";
print(s.describe());
print(pt.describe());
String.shout = function () { return this + "!"; };
print(s.shout());
// A prototype that refers to itself does not hang the lookup.
var loop = {};
loop.prototype = loop;
print(loop.missing);
loop.prototype = 0;  // reference counting cannot free the cycle
// Clones copy members but share prototypes.
var copy = cat.clone();
print(copy.prototype == Animal);
copy.legs = 3;
print(cat.legs + " " + copy.legs);
