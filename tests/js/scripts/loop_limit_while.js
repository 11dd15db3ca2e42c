w = 0;
while (w < 8192) w++;
print("not reached");
