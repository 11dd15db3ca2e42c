// >>>= is the token >>> followed by =, so this cannot parse.
a = 1;
b = 2;
x = a>>>=b;
