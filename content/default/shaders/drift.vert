// Drift: 2400 motes of dust in a box in front of the viewer, coming closer
// at a speed that follows the tempo. Near ones are large and soft, far ones
// small; the kick lets them shine a little brighter.
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
varying float glow;

void main() {
    float random1 = gl_MultiTexCoord0.y;
    float random2 = gl_Vertex.z;
    float random3 = fract(gl_MultiTexCoord0.x * 97.31 + random2 * 13.7);
    float depth = 0.15 + 2.85 * fract(random3 - timing.y * 0.04);
    vec2 place = vec2(random1 * 2.0 - 1.0, random2 * 2.0 - 1.0) * vec2(1.8, 1.1);
    place += 0.08 * vec2(sin(timing.x * 0.2 + random3 * 20.0), cos(timing.x * 0.17 + random1 * 20.0));
    vec2 centre = place / depth;
    float size = (0.01 + 0.014 * random1) * (1.0 + 0.3 * beat.z) / depth;
    local = gl_Vertex.xy;
    tint = mix(vec3(0.55, 0.75, 1.0), vec3(1.0, 0.7, 0.85), random2);
    glow = smoothstep(3.0, 2.2, depth) * smoothstep(0.15, 0.4, depth) * (0.35 + 0.45 * beat.z);
    vec2 position = centre + gl_Vertex.xy * size;
    position.x /= timing.z;
    vec4 used = abs(timing) + abs(beat) + abs(levels) + abs(tempo) + abs(registers) +
                abs(params) + abs(viewport) + vec4(abs(colour1) + abs(colour2), 0.0);
    gl_Position = vec4(position, 1e-20 * dot(used, vec4(1.0)), 1.0);
}
