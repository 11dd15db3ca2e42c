// The vertex colour alone.
void main() {
    gl_FragColor = gl_Color;
}
