x = "abc".length;
