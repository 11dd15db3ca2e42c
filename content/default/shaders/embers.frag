// Embers, the simulation pass: heat (red channel) rises through the picture
// of the frame before, drifting sideways with the noise texture, and cools.
// New heat comes from the bottom edge, strongest where the spectrum is loud
// (the bass in the middle, the highs at the sides) and fed by the kick.
// embers-display.frag colours the heat.
uniform vec4 timing;
uniform vec4 beat;
uniform vec4 levels;
uniform vec4 viewport;
uniform sampler2D previous;
uniform sampler2D image;
uniform sampler2D sound;
varying vec2 uv;

float spectrum(float x) {
    return texture2D(sound, vec2(clamp(x, 0.001, 0.999), 0.25)).r;
}

void main() {
    float t = timing.x;
    vec2 flow = texture2D(image, uv * vec2(2.0, 1.2) + vec2(t * 0.03, -t * 0.22)).rg - 0.5;
    float lift = 1.2 + 0.9 * flow.y + 0.4 * clamp(levels.y, 0.0, 2.0);
    vec2 from = uv - vec2(flow.x * 2.5, lift) * viewport.zw;
    float heat = texture2D(previous, from).r;
    heat = heat * 0.972 - 0.003;
    float side = abs(uv.x - 0.5) * 2.0;
    float source = spectrum(0.03 + side * 0.6) * (0.55 + 0.45 * beat.z);
    float flicker = 0.6 + 0.4 * sin(uv.x * 90.0 + t * 7.0 + flow.x * 20.0);
    float feed = smoothstep(0.045, 0.0, uv.y) * (0.35 + 0.75 * source) * flicker;
    heat = max(heat, feed);
    gl_FragColor = vec4(heat, heat, heat, 1.0);
}
