// Synthwave: a striped sun over mountains drawn by the spectrum (the bass in
// the middle, mirrored) and a neon grid floor that scrolls at the tempo. The
// kick lights the grid lines and lifts the sun a little.
uniform vec4 timing;
uniform vec4 beat;
uniform vec4 levels;
uniform sampler2D sound;
varying vec2 p;

float spectrum(float x) {
    return texture2D(sound, vec2(clamp(x, 0.001, 0.999), 0.25)).r;
}

void main() {
    float t = timing.x;
    float horizon = -0.1;
    vec3 colour;
    if (p.y > horizon) {
        float h = p.y - horizon;
        colour = mix(vec3(0.45, 0.06, 0.4), vec3(0.03, 0.0, 0.1), smoothstep(0.0, 1.0, h));
        vec2 centre = vec2(0.0, horizon + 0.4 + 0.015 * beat.z);
        float d = length(p - centre);
        float cut = p.y - centre.y;
        float gap = step(0.0, -cut) * smoothstep(0.0, -0.35, cut) * 0.55;
        float stripe = step(gap, fract(cut * 16.0 + t * 0.3));
        vec3 sun = mix(vec3(1.0, 0.2, 0.55), vec3(1.0, 0.85, 0.25), smoothstep(-0.35, 0.3, cut));
        float disc = smoothstep(0.34, 0.33, d) * stripe;
        colour = mix(colour, sun, disc);
        colour += vec3(0.6, 0.1, 0.4) * exp(-max(d - 0.33, 0.0) * 9.0) * 0.25;
        float ridge = spectrum(0.02 + abs(p.x) * 0.35);
        float mountain = horizon + 0.04 + 0.3 * ridge * (1.0 - 0.4 * abs(p.x) / timing.z);
        if (p.y < mountain) {
            float rim = smoothstep(mountain - 0.02, mountain, p.y);
            colour = mix(vec3(0.05, 0.0, 0.1), vec3(0.2, 0.9, 1.0), rim * 0.8);
        }
    } else {
        float depth = 0.3 / (horizon - p.y);
        vec2 g = vec2(p.x * depth * 1.5, depth + timing.y * 0.5);
        vec2 f = abs(fract(g) - 0.5);
        vec2 w = fwidth(g) * 1.2;
        vec2 lines = smoothstep(w, vec2(0.0), 0.5 - f);
        float line = max(lines.x, lines.y);
        float fog = exp(-depth * 0.35);
        colour = vec3(0.06, 0.0, 0.1) + vec3(1.0, 0.2, 0.85) * line * fog * (0.55 + 0.35 * beat.z);
        colour += vec3(0.3, 0.05, 0.3) * smoothstep(-0.35, 0.0, p.y - horizon) * 0.5;
    }
    gl_FragColor = vec4(colour, 1.0);
}
