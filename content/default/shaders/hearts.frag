// Hearts, the backdrop: a plum to rose gradient with a few large, slow
// bokeh lights. The hearts are particles (hearts.vert, hearts-heart.frag).
uniform vec4 timing;
uniform vec4 levels;
varying vec2 p;

void main() {
    float t = timing.x;
    vec3 colour = mix(vec3(0.22, 0.04, 0.14), vec3(0.08, 0.02, 0.1), p.y * 0.5 + 0.5);
    for (int i = 0; i < 4; ++i) {
        float k = float(i);
        vec2 c = vec2(sin(t * 0.05 + k * 2.1) * 1.2, cos(t * 0.04 + k * 1.3) * 0.7);
        float d = length(p - c);
        colour += vec3(0.12, 0.04, 0.07) * smoothstep(0.35, 0.3, d) * (0.8 + 0.2 * sin(k + t * 0.3));
    }
    colour *= 0.95 + 0.05 * clamp(levels.x * 2.0, 0.0, 1.0);
    gl_FragColor = vec4(colour, 1.0);
}
