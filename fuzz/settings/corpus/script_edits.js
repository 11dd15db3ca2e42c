settings.window = 5;
settings.scenes = { s1 : 'x', count : 3 };
settings.messages = [ 'a', 'b' ];
for (var i = 0; i < 12; i++) { settings.messages[i] = 'm' + i; }
settings.nested = { a : { b : { c : 2.5 } } };
