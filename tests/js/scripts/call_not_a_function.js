function inner() {
    nothing();
}
function outer() {
    inner();
}
x = 1;
outer();
