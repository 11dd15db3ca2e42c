// Without the math library Math.abs is no function.
x = Math.abs(1);
