x = new Missing;
