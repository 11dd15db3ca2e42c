// JSON.stringify has two parameters, so one argument is a syntax error.
x = JSON.stringify(5);
