// Swing: a soft golden mote, or a thin silver staff line.
uniform sampler2D sound;
varying vec2 local;
varying float glow;
varying float staff;

void main() {
    float mote = exp(-dot(local, local) * 3.0) * glow;
    float line = (1.0 - abs(local.y)) * 0.5;
    vec3 colour = mix(vec3(1.0, 0.75, 0.3) * mote, vec3(0.6, 0.65, 0.8) * line, staff);
    gl_FragColor = vec4(colour, 1.0);
}
