// Candlelight: warm out-of-focus lights in three depths that float up
// slowly. Each light breathes with its own band of the spectrum, so the
// lights answer the music one by one rather than all at once.
uniform vec4 timing;
uniform vec4 beat;
uniform vec4 levels;
uniform sampler2D sound;
varying vec2 p;

float spectrum(float x) {
    return texture2D(sound, vec2(clamp(x, 0.001, 0.999), 0.25)).r;
}

// A hash of arithmetic only: sines are dear on a software renderer.
float hash(vec2 q) {
    q = fract(q * vec2(0.3183099, 0.3678794) + vec2(0.71, 0.113)) * 23.0;
    return fract(q.x * q.y * (q.x + q.y));
}

void main() {
    float t = timing.x;
    vec3 colour = mix(vec3(0.09, 0.03, 0.02), vec3(0.02, 0.01, 0.02), length(p) * 0.6);
    for (int i = 0; i < 3; ++i) {
        float k = float(i);
        float scale = 2.0 + 1.5 * k;
        vec2 q = p * scale + vec2(k * 5.3, -t * (0.05 + 0.03 * k));
        vec2 cell = floor(q);
        vec2 f = fract(q) - 0.5;
        float h = hash(cell + k * 17.0);
        vec2 centre = (vec2(hash(cell + 1.3), hash(cell + 2.7)) - 0.5) * 0.4;
        float radius = 0.18 + 0.14 * h;
        float d = length(f - centre);
        float disc = smoothstep(radius, radius - 0.04 - 0.04 * k, d) * step(0.35, h);
        float band = spectrum(0.04 + 0.7 * fract(h * 7.0));
        vec3 tint = mix(vec3(1.0, 0.55, 0.2), vec3(1.0, 0.3, 0.35), fract(h * 3.0));
        colour += tint * disc * (0.12 + 0.4 * band) / (1.0 + k * 0.4);
    }
    colour += vec3(0.08, 0.03, 0.0) * beat.z * smoothstep(1.2, 0.0, length(p));
    gl_FragColor = vec4(colour, 1.0);
}
