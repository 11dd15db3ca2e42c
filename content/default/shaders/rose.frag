// Rose: a glowing rose curve whose petals turn at the tempo and reach out
// with the kick, leaving trails that spiral out from the picture before:
// the frame before is turned, drawn a little larger and faded. Param1 sets
// the petals (the curve r = |cos(Param1 theta)|), Colour1 the inner and
// Colour2 the outer colour.
uniform vec4 timing;
uniform vec4 beat;
uniform vec4 levels;
uniform vec4 params;
uniform vec3 colour1;
uniform vec3 colour2;
uniform sampler2D previous;
varying vec2 uv;
varying vec2 p;

void main() {
    float aspect = timing.z;
    float turn = 0.004 + 0.002 * clamp(levels.z, -1.0, 2.0);
    vec2 c = p * 0.985;
    c = vec2(c.x * cos(turn) - c.y * sin(turn), c.x * sin(turn) + c.y * cos(turn));
    vec2 back = vec2(c.x / aspect, c.y) * 0.5 + 0.5;
    vec3 trail = texture2D(previous, back).rgb * 0.94 - 0.004;
    float r = length(p);
    float theta = atan(p.y, p.x) + timing.y * 0.15;
    float reach = 0.55 * (1.0 + 0.3 * beat.z);
    float curve = reach * abs(cos(params.x * theta));
    float line = smoothstep(0.03, 0.0, abs(r - curve)) * smoothstep(0.0, 0.05, r);
    float glow = 0.6 + 0.3 * beat.z + 0.2 * clamp(levels.x * 2.0, 0.0, 1.0);
    vec3 ink = mix(colour1, colour2, clamp(r / reach, 0.0, 1.0)) * line * glow;
    gl_FragColor = vec4(max(trail, ink), 1.0);
}
