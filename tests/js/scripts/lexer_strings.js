// Escapes differ between the two quote styles.
print("a\tb");
print('a\tb');
print('\101' + '\x41');
print("q\"q" + 'q\'q');
print("back\\slash" + 'back\\slash');
print("two\nlines");
print('also\ntwo');
print(JSON.stringify('\a\r', 0));
print(JSON.stringify('tab\t', 0));
print(JSON.stringify('\xe9', 0));
print('\z' + "\z");
/* a block comment
   across lines */ print("after block comment"); // and a line comment
print("unterminated at the end
