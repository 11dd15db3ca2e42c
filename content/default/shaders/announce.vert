// Glyph quads, already placed in clip space; `offset` moves the whole line
// (for its shadow).
uniform vec2 offset;
varying vec2 uv;

void main() {
    uv = gl_MultiTexCoord0.xy;
    gl_Position = vec4(gl_Vertex.xy + offset, 0.0, 1.0);
}
