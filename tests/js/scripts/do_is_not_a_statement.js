do { x = 1; } while (0);
