x = 1;
for (i = 0; i < 8192; i++) {}
print("not reached");
