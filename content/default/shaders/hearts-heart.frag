// Hearts: a heart shape with a soft edge and a lighter centre.
varying vec2 local;
varying vec3 tint;

void main() {
    vec2 q = local * 1.25;
    q.y = q.y + 0.25 - sqrt(abs(q.x)) * 0.55;
    float d = length(q) - 0.78;
    float shape = smoothstep(0.06, -0.06, d);
    float centre = smoothstep(0.6, 0.0, length(local - vec2(0.0, 0.15)));
    gl_FragColor = vec4(tint * shape * (0.7 + 0.3 * centre), 1.0);
}
