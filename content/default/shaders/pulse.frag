// A glowing disc that swells on every beat over rings that travel outwards
// with the beat phase, on a swirling texture that the bass brightens.
uniform sampler2D pattern;
uniform float beatPosition;  // time since the last beat / beat period
uniform float phase;         // beat oscillator phase, 0..1
uniform float strength;      // beat strength of the newest block
uniform float bass;          // mean of the low end of the spectrum
uniform float aspect;
uniform float time;
varying vec2 uv;

void main() {
    vec2 p = (uv - 0.5) * vec2(aspect, 1.0) * 2.0;
    float r = length(p);
    float a = atan(p.y, p.x);
    float pulse = clamp(1.0 - beatPosition * 2.0, 0.0, 1.0);
    float low = clamp(bass, 0.0, 1.0);
    float rings = 0.5 + 0.5 * cos(14.0 * r - 6.2831853 * phase);
    float size = 0.3 + 0.25 * pulse + 0.1 * clamp(strength, 0.0, 1.0);
    float disc = smoothstep(size + 0.03, size - 0.03, r);
    vec2 swirl = vec2(a / 6.2831853 + time * 0.04 + 0.1 / (r + 0.2), r * 0.6 - time * 0.15);
    vec3 pattern = texture2D(pattern, swirl).rgb;
    vec3 background = pattern * (0.25 + 0.55 * rings) * (0.7 + 0.6 * low);
    vec3 glow = vec3(1.0, 0.6, 0.25) * (0.55 + 0.45 * pulse) + pattern * 0.2;
    gl_FragColor = vec4(mix(background, glow, disc), 1.0);
}
