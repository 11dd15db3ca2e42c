// Ink: the full-screen quad of quad.vert, which also works out where the
// three pens are. They are the same for every pixel, so here they cost four
// corners' work instead of a whole picture's.
uniform vec4 timing;
uniform vec4 beat;
uniform vec4 levels;
uniform vec4 tempo;
uniform vec4 registers;
uniform vec4 params;
uniform vec3 colour1;
uniform vec3 colour2;
uniform vec4 viewport;
varying vec2 uv;
varying vec2 p;
varying vec2 pen0;
varying vec2 pen1;
varying vec2 pen2;

vec2 pen(float k) {
    return vec2(sin(timing.y * (0.21 + 0.05 * k) + k * 2.0) * 0.9 * timing.z,
                cos(timing.y * (0.17 + 0.04 * k) + k * 1.3) * 0.7);
}

void main() {
    uv = gl_MultiTexCoord0.xy;
    p = (uv * 2.0 - 1.0) * vec2(timing.z, 1.0);
    pen0 = pen(0.0);
    pen1 = pen(1.0);
    pen2 = pen(2.0);
    vec4 used = abs(timing) + abs(beat) + abs(levels) + abs(tempo) + abs(registers) +
                abs(params) + abs(viewport) + vec4(abs(colour1) + abs(colour2), 0.0);
    gl_Position = vec4(gl_Vertex.xy, 1e-20 * dot(used, vec4(1.0)), 1.0);
}
