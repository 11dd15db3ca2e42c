// Drift, the deep: a dark teal gradient with a slow veil of light. The dust
// that drifts past is particles (drift.vert, drift-dust.frag).
uniform vec4 timing;
uniform vec4 levels;
varying vec2 p;

void main() {
    float veil = 0.5 + 0.5 * sin(p.x * 1.3 + sin(p.y * 1.7 + timing.x * 0.05) + timing.x * 0.03);
    vec3 colour = mix(vec3(0.0, 0.02, 0.05), vec3(0.02, 0.09, 0.12), p.y * 0.4 + 0.5);
    colour += vec3(0.03, 0.05, 0.08) * veil * (0.9 + 0.1 * clamp(levels.x * 2.0, 0.0, 1.0));
    gl_FragColor = vec4(colour, 1.0);
}
