// Full-screen quad in clip space; the fragment shader works from the
// position, from -1 to 1 across the screen.
varying vec2 position;

void main() {
    position = gl_Vertex.xy;
    gl_Position = gl_Vertex;
}
