// Vinyl: a record turning under a lamp. Its speed follows the tempo; the
// grooves shine by the spectrum from the bass at the rim to the highs at the
// label, and the kick brightens the sheen that sweeps across it.
uniform vec4 timing;
uniform vec4 beat;
uniform vec4 levels;
uniform sampler2D sound;
varying vec2 p;

float spectrum(float x) {
    return texture2D(sound, vec2(clamp(x, 0.001, 0.999), 0.25)).r;
}

void main() {
    vec2 q = p * vec2(1.0, 1.25) - vec2(0.0, 0.05);  // a slight tilt
    float r = length(q);
    float spin = timing.y * 1.1;
    float a = atan(q.y, q.x) + spin;
    vec3 colour = mix(vec3(0.12, 0.08, 0.06), vec3(0.03, 0.02, 0.02), smoothstep(0.3, 1.5, length(p)));
    if (r < 0.82) {
        // Grooves finer than a pixel fade to their mean instead of shimmering.
        float fine = clamp(1.5 - fwidth(r * 260.0), 0.0, 1.0);
        float groove = 0.5 + 0.5 * sin(r * 260.0) * fine;
        float band = spectrum(0.03 + (0.8 - r) * 1.1);
        float sheen = pow(abs(cos(a * 1.0 - 0.7)), 12.0) + 0.5 * pow(abs(cos(a + 1.9)), 30.0);
        float light = 0.05 + groove * 0.06 + sheen * (0.25 + 0.15 * beat.z) * (0.4 + 0.6 * groove);
        colour = vec3(0.04, 0.04, 0.05) + vec3(0.75, 0.8, 0.9) * light;
        colour += vec3(0.5, 0.3, 0.9) * band * groove * 0.6 * smoothstep(0.8, 0.7, r);
        colour *= smoothstep(0.82, 0.815, r);
    }
    if (r < 0.27) {
        float ring = smoothstep(0.27, 0.26, r);
        vec3 label = mix(vec3(0.8, 0.25, 0.1), vec3(0.95, 0.7, 0.2), 0.5 + 0.5 * sin(a * 2.0));
        label *= 0.75 + 0.25 * step(0.5, fract(a / 6.2831853 * 6.0));
        colour = mix(colour, label * (0.8 + 0.1 * clamp(levels.y, 0.0, 2.0)), ring);
        colour *= smoothstep(0.018, 0.024, r);
    }
    gl_FragColor = vec4(colour, 1.0);
}
