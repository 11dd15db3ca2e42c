// Aurora: curtains of light over a dark ridge under the stars. Three
// curtains wave slowly; each is as bright, across its width, as one stretch
// of the spectrum, and the kick lifts the curtains a little.
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

float noise(float x) {
    float i = floor(x);
    float f = fract(x);
    return mix(hash(vec2(i, 0.0)), hash(vec2(i + 1.0, 0.0)), f * f * (3.0 - 2.0 * f));
}

void main() {
    float t = timing.x;
    vec3 colour = mix(vec3(0.0, 0.03, 0.07), vec3(0.0, 0.0, 0.02), p.y * 0.5 + 0.5);
    vec2 cell = floor(p * 90.0);
    float star = step(0.996, hash(cell)) * (0.5 + 0.5 * sin(t * 2.0 + hash(cell + 3.0) * 40.0));
    colour += vec3(0.7) * star * smoothstep(-0.2, 0.3, p.y);
    for (int i = 0; i < 3; ++i) {
        float k = float(i);
        float x = p.x * (0.9 + 0.3 * k) + k * 3.7;
        float sway = noise(x * 1.3 + t * 0.05 + k) * 0.35 + 0.1 * sin(x * 2.0 + t * 0.2);
        float base = -0.2 + 0.15 * k + sway - 0.08 * beat.z;
        float above = p.y - base;
        float bright = 0.2 + 1.3 * spectrum(fract(x * 0.11 + 0.05 * k) * 0.6 + 0.02);
        float streak = 0.55 + 0.45 * noise(x * 28.0 + sway * 40.0);
        float curtain = smoothstep(-0.03, 0.05, above) * exp(-max(above, 0.0) * (2.2 + 0.8 * k));
        vec3 tint = mix(vec3(0.1, 0.9, 0.5), vec3(0.5, 0.2, 0.8), smoothstep(0.0, 0.45, above));
        colour += tint * curtain * streak * bright * 0.7;
    }
    float ridge = -0.62 + 0.08 * noise(p.x * 2.5) + 0.04 * noise(p.x * 7.0 + 3.0);
    colour = mix(colour, vec3(0.0, 0.01, 0.02), smoothstep(ridge + 0.005, ridge - 0.005, p.y));
    gl_FragColor = vec4(colour, 1.0);
}
