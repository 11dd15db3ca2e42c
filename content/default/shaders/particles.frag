// The default particles of shader scenes: a soft round spark.
varying vec2 local;
varying vec3 tint;

void main() {
    float d = dot(local, local);
    gl_FragColor = vec4(tint * exp(-d * 3.0) * step(d, 1.0), 1.0);
}
