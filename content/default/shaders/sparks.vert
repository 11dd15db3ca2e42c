// Sparks: the scene writes every corner in scene units (x from -aspect to
// aspect, y from -1 to 1) with its colour and its place on the spark (u
// along the streak, v across, both -1 to 1).
uniform float aspect;
varying vec2 local;
varying vec4 tint;

void main() {
    local = gl_MultiTexCoord0.xy;
    tint = gl_Color;
    gl_Position = vec4(gl_Vertex.x / aspect, gl_Vertex.y, 0.0, 1.0);
}
