// Lagoon: 120 bubbles rising and wobbling, faster with a faster tempo.
uniform vec4 timing;
uniform vec4 beat;
uniform vec4 levels;
uniform vec4 tempo;
uniform vec4 registers;
uniform vec4 params;
uniform vec3 colour1;
uniform vec3 colour2;
uniform vec4 viewport;
varying vec2 local;

void main() {
    float random1 = gl_MultiTexCoord0.y;
    float random2 = gl_Vertex.z;
    float rise = fract(random2 + timing.y * (0.04 + 0.05 * random1));
    float size = 0.008 + 0.025 * random1 * random1;
    vec2 centre = vec2((random2 * 2.0 - 1.0) * 1.7 + 0.03 * sin(timing.x * 3.0 + random1 * 30.0),
                       -1.1 + 2.2 * rise);
    local = gl_Vertex.xy;
    vec2 position = centre + gl_Vertex.xy * size;
    position.x /= timing.z;
    vec4 used = abs(timing) + abs(beat) + abs(levels) + abs(tempo) + abs(registers) +
                abs(params) + abs(viewport) + vec4(abs(colour1) + abs(colour2), 0.0);
    gl_Position = vec4(position, 1e-20 * dot(used, vec4(1.0)), 1.0);
}
