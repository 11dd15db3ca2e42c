// 0X1F is the integer 0 followed by the identifier X1F.
x = 0X1F;
