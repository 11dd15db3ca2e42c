// Contours: the contour lines of a moving landscape, white on black. Four
// hills wander on looping paths at the tempo; the low, mid and high bands
// raise three of them and the kick the fourth, so the lines crowd and part
// with the music. Every fifth line is drawn brighter.
uniform vec4 timing;
uniform vec4 beat;
uniform vec4 levels;
varying vec2 p;

float hill(vec2 q, vec2 centre, float width) {
    vec2 d = q - centre;
    return exp(-dot(d, d) / width);
}

void main() {
    float t = timing.y * 0.12;
    float low = 0.5 + 0.25 * clamp(levels.y, -1.0, 2.5);
    float mid = 0.5 + 0.25 * clamp(levels.z, -1.0, 2.5);
    float high = 0.5 + 0.25 * clamp(levels.w, -1.0, 2.5);
    float h = 0.25 * sin(p.x * 1.3 + t) * cos(p.y * 1.1 - t * 0.7);
    h += low * hill(p, vec2(sin(t * 1.1) * 1.0, cos(t * 0.9) * 0.5), 0.25);
    h += mid * hill(p, vec2(cos(t * 0.7 + 2.0) * 1.1, sin(t * 1.3) * 0.6), 0.18);
    h += high * hill(p, vec2(sin(t * 0.5 + 4.0) * 0.9, sin(t * 0.8 + 1.0) * 0.5), 0.12);
    h += (0.3 + 0.5 * beat.z) * hill(p, vec2(cos(t * 0.4) * 0.5, sin(t * 0.6 + 3.0) * 0.4), 0.08);
    float level = h * 14.0;
    float width = fwidth(level);
    float line = smoothstep(1.5 * width, 0.0, abs(fract(level + 0.5) - 0.5));
    float major = step(4.5, mod(floor(level + 0.5), 5.0));
    float shade = 0.05 + 0.06 * clamp(h, 0.0, 1.5);
    vec3 colour = vec3(shade + line * mix(0.45, 0.9, major));
    gl_FragColor = vec4(colour, 1.0);
}
