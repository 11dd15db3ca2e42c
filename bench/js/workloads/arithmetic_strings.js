// A control-script style loop: integer arithmetic and building a text.
var total = 0;
var text = "";
for (var i = 0; i < 300; i++) {
    for (var j = 0; j < 400; j++) {
        total = total + (i * j) % 7 - 3;
    }
    text = text + "x" + i;
}
print(total + " " + text.length);
