// Embers, the picture: heat through a black-body ramp (black, deep red,
// orange, yellow, near white) over a faint glow of the bass at the bottom.
uniform vec4 beat;
uniform sampler2D frame;
varying vec2 uv;

void main() {
    float heat = texture2D(frame, uv).r;
    vec3 colour = vec3(smoothstep(0.0, 0.45, heat), smoothstep(0.25, 0.8, heat),
                       smoothstep(0.65, 1.0, heat) * 0.8);
    colour += vec3(0.12, 0.02, 0.0) * (1.0 - uv.y) * (0.6 + 0.4 * beat.z);
    gl_FragColor = vec4(colour, 1.0);
}
