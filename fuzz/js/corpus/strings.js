var s = "hello";
print(s.length);
print(s.substring(1, 3));
print("[" + s.substring(3, 1) + "]");
print("[" + s.substring(0, 99) + "]");
print("[" + s.substring(-1, 2) + "]");
print(s.substring(0, 5));
print(s.charAt(1) + s.charAt(4) + "[" + s.charAt(5) + s.charAt(-1) + "]");
print(s.charCodeAt(0) + " " + s.charCodeAt(9));
print(s.indexOf("l") + " " + s.indexOf("lo") + " " + s.indexOf("x") + " " + s.indexOf(""));
print(String.fromCharCode(65) + String.fromCharCode(321) + "[" + String.fromCharCode(0) + "]");
print(charToInt("A") + " " + charToInt("") + " " + charToInt('\xe9'));
var e = '\xe9';
print(e.charCodeAt(0));
// Indexing a string gives a member, not a character.
print(s[0]);
// split: each match drops one byte past its start.
function show(parts) {
    var out = parts.length + ":";
    for (var i = 0; i < parts.length; i++) out += "[" + parts[i] + "]";
    return out;
}
var t = "a,b,";
print(show(t.split(",")));
t = ",a";
print(show(t.split(",")));
t = "";
print(show(t.split(",")));
t = "a::b";
print(show(t.split("::")));
t = "abc";
print(show(t.split("")));
print(show(t.split("x")));
// parseInt and valueOf.
print(Integer.parseInt("12abc") + " " + Integer.parseInt("abc") + " " + Integer.parseInt("010"));
print(Integer.parseInt("0x10") + " " + Integer.parseInt("  -42") + " " + Integer.parseInt("+7"));
print(Integer.parseInt("99999999999") + " " + Integer.parseInt("-99999999999"));
print(Integer.parseInt(12) + " " + Integer.parseInt("08"));
print(Integer.valueOf("A") + " " + Integer.valueOf("65") + " " + Integer.valueOf(""));
