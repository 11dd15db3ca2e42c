// Lagoon: a bubble, a bright rim and a highlight.
varying vec2 local;

void main() {
    float r = length(local);
    float rim = smoothstep(0.7, 0.95, r) * smoothstep(1.0, 0.95, r);
    float spot = smoothstep(0.3, 0.0, length(local - vec2(-0.35, 0.35)));
    gl_FragColor = vec4(vec3(0.6, 0.85, 0.9) * (rim * 0.6 + spot * 0.5), 1.0);
}
