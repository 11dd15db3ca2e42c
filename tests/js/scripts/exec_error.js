exec("x = ;");
