print(eval("1 + 2; 3 * 4"));
exec("var fromExec = 5;");
print(fromExec);
function inside() {
    var local = 1;
    exec("globalFromExec = 7;");
    return eval("local");
}
print(inside());
print(globalFromExec);
print(eval(""));
