// The default particles of shader scenes: sparks that circle the centre,
// each on its own orbit, turning at the tempo; the kick flings them a
// little outwards and makes them larger.
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
varying vec3 tint;

void main() {
    float random1 = gl_MultiTexCoord0.y;
    float random2 = gl_Vertex.z;
    float radius = (0.15 + 0.8 * random1) * (1.0 + 0.15 * beat.z);
    float angle = random2 * 6.2831853 + timing.y * (0.1 + 0.3 * (1.0 - random1));
    vec2 centre = radius * vec2(cos(angle), sin(angle));
    float size = (0.008 + 0.012 * random2) * (1.0 + 0.6 * beat.z);
    local = gl_Vertex.xy;
    tint = mix(colour1, colour2, random1) * 0.8;
    vec2 position = centre + gl_Vertex.xy * size;
    position.x /= timing.z;
    vec4 used = abs(timing) + abs(beat) + abs(levels) + abs(tempo) + abs(registers) +
                abs(params) + abs(viewport) + vec4(abs(colour1) + abs(colour2), 0.0);
    gl_Position = vec4(position, 1e-20 * dot(used, vec4(1.0)), 1.0);
}
