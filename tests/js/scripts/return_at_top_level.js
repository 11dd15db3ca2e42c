print("before");
return;
print("after");
