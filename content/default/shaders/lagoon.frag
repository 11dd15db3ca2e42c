// Lagoon: sunlight through moving water onto sand. The caustic net drifts
// at the tempo, the low band sharpens it, the kick sends a slow swell
// through it; bubbles rise as particles (lagoon.vert, lagoon-bubble.frag).
uniform vec4 timing;
uniform vec4 beat;
uniform vec4 levels;
varying vec2 p;

float caustic(vec2 q, float t) {
    float v = 0.0;
    for (int i = 0; i < 2; ++i) {
        float k = float(i) + 1.0;
        q += vec2(sin(q.y * 1.4 + t * 0.6 * k), cos(q.x * 1.2 - t * 0.5 * k)) * 0.6;
        v += abs(sin(q.x * 1.9) + sin(q.y * 1.7)) * 0.5;
    }
    return v * 0.5;
}

void main() {
    float t = timing.y * 0.25 + timing.x * 0.05;
    vec2 q = p * 3.0 + vec2(0.0, 0.25 * beat.z * sin(p.x * 2.0));
    float c = caustic(q, t);
    float sharp = 5.0 + 1.5 * clamp(levels.y, 0.0, 2.0);
    float net = pow(clamp(1.0 - c, 0.0, 1.0), sharp);
    vec3 water = mix(vec3(0.0, 0.18, 0.26), vec3(0.02, 0.35, 0.4), p.y * 0.4 + 0.5);
    vec3 colour = water + vec3(0.5, 0.75, 0.65) * net * 0.55;
    float shafts = 0.5 + 0.5 * sin(p.x * 6.0 + p.y * 2.0 + timing.x * 0.3);
    colour += vec3(0.05, 0.08, 0.08) * shafts * smoothstep(-0.5, 1.0, p.y);
    gl_FragColor = vec4(colour, 1.0);
}
