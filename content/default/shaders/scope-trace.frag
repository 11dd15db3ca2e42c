// Scope: one dot of the beam, white at its core.
uniform sampler2D sound;
varying vec2 local;
varying float glow;

void main() {
    float beam = exp(-dot(local, local) * 2.5) * glow;
    gl_FragColor = vec4(vec3(beam), 1.0);
}
