// The overlay's layer, blended as premultiplied colour: the rgb is added to
// the picture and the alpha darkens it. Dark corners (vignette), a fine grain
// that changes every frame, and a glow along the edges that swells on a beat
// and dies away over most of the beat, in a hue that drifts with time.
uniform float time;
uniform float aspect;
uniform float beatPosition;
uniform float strength;
uniform float vignette;
uniform float glow;
uniform float grain;
varying vec2 position;

float noise(vec2 at) {
    return fract(sin(dot(at, vec2(12.9898, 78.233))) * 43758.5453);
}

void main() {
    vec2 p = vec2(position.x * aspect, position.y);
    float radius = length(p) / length(vec2(aspect, 1.0));
    float dark = vignette * smoothstep(0.35, 1.0, radius);
    dark += grain * noise(position * 431.0 + fract(time * 7.31) * 97.0);

    // Distance to the nearest edge, 0 on the edge and 1 in the middle.
    float edge = min(1.0 - abs(position.x), 1.0 - abs(position.y));
    float beat = clamp(1.0 - beatPosition, 0.0, 1.0);
    float pulse = beat * beat * clamp(0.4 + strength, 0.0, 1.0);
    float band = (1.0 - smoothstep(0.0, 0.18, edge)) * glow * (0.35 + 0.65 * pulse);
    vec3 hue = 0.6 + 0.4 * cos(time * 0.21 + vec3(0.0, 2.1, 4.2));

    gl_FragColor = vec4(hue * band, clamp(dark, 0.0, 1.0));
}
