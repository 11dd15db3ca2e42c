// Number tokens: hexadecimal only with a lower-case x, octal with a leading 0,
// exponents with an optional minus but no plus.
print(0x1F);
print(0x1f + 1);
print(0xFF);
print(010);
print(09);
print(0);
print(1.5e-3);
print(5.);
print(2E2);
print(1e+3);
print(12.25);
