// Sparks: a soft streak, brightest in the middle, added to the picture.
varying vec2 local;
varying vec4 tint;

void main() {
    float d = dot(local, local);
    float glow = exp(-d * 3.5) * step(d, 1.0);
    gl_FragColor = vec4(tint.rgb * glow, tint.a);
}
