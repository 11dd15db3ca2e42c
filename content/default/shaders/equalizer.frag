// Equalizer, the stage behind the bars: a dark gradient with a floor line.
// The bars themselves are particles (equalizer.vert, equalizer-bar.frag).
uniform vec4 timing;
uniform vec4 beat;
varying vec2 p;

void main() {
    float floorLine = smoothstep(0.01, 0.0, abs(p.y + 0.45));
    vec3 colour = mix(vec3(0.02, 0.03, 0.08), vec3(0.07, 0.02, 0.12), p.y * 0.5 + 0.5);
    colour += vec3(0.25, 0.2, 0.4) * floorLine * (0.7 + 0.3 * beat.z);
    colour += vec3(0.03, 0.0, 0.05) * (0.5 + 0.5 * sin(p.x * 2.0 + timing.x * 0.4));
    gl_FragColor = vec4(colour, 1.0);
}
