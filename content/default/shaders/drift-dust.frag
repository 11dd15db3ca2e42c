// Drift: one soft mote of dust.
varying vec2 local;
varying vec3 tint;
varying float glow;

void main() {
    float d = dot(local, local);
    gl_FragColor = vec4(tint * glow * exp(-d * 4.0) * step(d, 1.0), 1.0);
}
