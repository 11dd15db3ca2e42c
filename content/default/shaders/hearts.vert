// Hearts: 70 hearts that rise and sway, each turning a little; every heart
// swells with the kick, and they rise faster with a faster tempo.
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
    float rise = fract(random2 + timing.y * (0.02 + 0.015 * random1));
    float size = (0.05 + 0.06 * random1) * (1.0 + 0.12 * beat.z);
    vec2 centre = vec2((random1 * 2.0 - 1.0) * 1.6 + 0.12 * sin(timing.x * 0.7 + random2 * 12.0),
                       -1.2 + 2.4 * rise);
    float turn = 0.3 * sin(timing.x * 0.5 + random1 * 9.0);
    vec2 corner = gl_Vertex.xy;
    vec2 turned = vec2(corner.x * cos(turn) - corner.y * sin(turn),
                       corner.x * sin(turn) + corner.y * cos(turn));
    local = corner;
    tint = mix(vec3(0.95, 0.2, 0.35), vec3(1.0, 0.6, 0.75), random2) * (0.55 + 0.45 * random1);
    vec2 position = centre + turned * size;
    position.x /= timing.z;
    vec4 used = abs(timing) + abs(beat) + abs(levels) + abs(tempo) + abs(registers) +
                abs(params) + abs(viewport) + vec4(abs(colour1) + abs(colour2), 0.0);
    gl_Position = vec4(position, 1e-20 * dot(used, vec4(1.0)), 1.0);
}
