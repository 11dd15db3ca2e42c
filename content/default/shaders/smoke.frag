// Smoke: the haze of a late-night club, blue with an amber spotlight. The
// noise texture is warped through itself; the mid band stirs the smoke
// harder, the kick pushes a slow wave through it, the highs make it glitter.
uniform vec4 timing;
uniform vec4 beat;
uniform vec4 levels;
uniform sampler2D image;
varying vec2 p;
varying vec2 uv;

void main() {
    float t = timing.x;
    vec2 q = p * 0.35 + vec2(0.0, -t * 0.012);
    float stir = 0.35 + 0.12 * clamp(levels.z, -1.0, 2.5);
    vec3 a = texture2D(image, q + vec2(t * 0.006, 0.0)).rgb;
    vec2 warp = (a.rg - 0.5) * stir + vec2(0.0, 0.03 * beat.z * sin(p.x * 3.0 + t));
    vec3 b = texture2D(image, q * 1.7 + warp + vec2(-t * 0.01, t * 0.004)).rgb;
    float smoke = smoothstep(0.25, 0.85, b.r * 0.7 + a.b * 0.3);
    vec2 lamp = p - vec2(0.55 * sin(t * 0.07), 0.9);
    float cone = smoothstep(0.55, 0.0, abs(lamp.x + lamp.y * 0.25) - 0.1 * (0.9 - p.y));
    vec3 colour = vec3(0.02, 0.03, 0.08) + vec3(0.12, 0.18, 0.38) * smoke;
    colour += vec3(0.9, 0.55, 0.2) * cone * smoke * 0.55;
    colour += vec3(0.9, 0.8, 0.6) * smoothstep(0.93, 1.0, b.g) * clamp(levels.w, 0.0, 1.5) * 0.4;
    colour *= smoothstep(1.9, 0.4, length(p));
    gl_FragColor = vec4(colour, 1.0);
}
