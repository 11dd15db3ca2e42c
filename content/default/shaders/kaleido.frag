// Kaleidoscope: eight mirrored slices of coloured glass cut from the noise
// texture. The slices turn at the tempo, the kick draws the glass a little
// nearer, the mid band shifts the colours, and a ring whose radius follows
// the spectrum's loudest band lights the glass it crosses.
uniform vec4 timing;
uniform vec4 beat;
uniform vec4 levels;
uniform sampler2D image;
uniform sampler2D sound;
varying vec2 p;

float spectrum(float x) {
    return texture2D(sound, vec2(clamp(x, 0.001, 0.999), 0.25)).r;
}

void main() {
    float t = timing.x;
    float r = length(p);
    float slice = 6.2831853 / 8.0;
    float a = mod(atan(p.y, p.x) + timing.y * 0.06, slice);
    a = abs(a - 0.5 * slice);
    vec2 k = vec2(cos(a), sin(a)) * r * (0.5 - 0.04 * beat.z);
    vec2 tc = k + vec2(t * 0.015, t * 0.01);
    vec3 n = texture2D(image, tc).rgb;
    float v = n.r * 0.7 + n.g * 0.3;
    float pieces = v * 7.0;
    float piece = floor(pieces);
    float lead = smoothstep(0.0, 0.12, fract(pieces)) * smoothstep(1.0, 0.88, fract(pieces));
    float hue = piece * 0.13 + t * 0.02 + 0.03 * clamp(levels.z, -1.0, 2.0);
    vec3 glass = 0.5 + 0.5 * cos(6.2831853 * (hue + vec3(0.0, 0.33, 0.67)));
    float ring = spectrum(r * 0.4);
    float light = 0.4 + 0.35 * n.b + 0.45 * ring * smoothstep(0.4, 0.0, abs(fract(r * 2.0 - t * 0.2) - 0.5));
    vec3 colour = glass * light * lead * smoothstep(1.6, 0.2, r);
    gl_FragColor = vec4(colour, 1.0);
}
