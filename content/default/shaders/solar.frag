// Solar: the surface of a star, boiling slowly (noise.png), with a corona whose rays
// follow the spectrum around the rim (the bass at the top, the highs at the
// bottom, both sides alike). The kick swells the star a little and feeds the
// corona; the mid band stirs the surface.
uniform vec4 timing;
uniform vec4 beat;
uniform vec4 levels;
uniform sampler2D image;  // noise.png: octave noise in each channel
uniform sampler2D sound;
varying vec2 p;

float spectrum(float x) {
    return texture2D(sound, vec2(clamp(x, 0.001, 0.999), 0.25)).r;
}

void main() {
    float t = timing.x;
    float r = length(p);
    float angle = atan(p.x, p.y) / 3.1415927;  // 0 at the top, 1 at the bottom
    float radius = 0.48 + 0.04 * beat.z;
    vec2 s = p / radius;
    float z = sqrt(max(0.0, 1.0 - dot(s, s)));
    vec2 sphere = s / (1.0 + z);
    float stir = 0.15 * clamp(levels.z, -1.0, 2.0);
    vec3 n = texture2D(image, sphere * 1.75 + vec2(t * 0.018, -t * 0.012) + stir * 0.25).rgb;
    float boil = n.r * 0.8 + n.g * 0.3;
    vec3 surface = mix(vec3(0.75, 0.18, 0.02), vec3(1.0, 0.72, 0.25), boil);
    surface *= 0.45 + 0.55 * sqrt(z);

    float ray = spectrum(0.02 + abs(angle) * 0.75);
    float streaks = texture2D(image, vec2(angle * 2.25, r * 0.75 - t * 0.06)).b;
    float height = max(r - radius, 0.0);
    float corona = exp(-height * (8.0 - 5.0 * ray)) * (0.2 + 0.7 * ray * streaks) *
                   (0.8 + 0.25 * beat.z);
    vec3 outside = vec3(1.0, 0.42, 0.08) * corona + vec3(0.05, 0.0, 0.01);
    float edge = smoothstep(radius + 0.006, radius - 0.006, r);
    gl_FragColor = vec4(mix(outside, surface, edge), 1.0);
}
