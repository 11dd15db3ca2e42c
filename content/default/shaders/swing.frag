// Swing, the room: a deep blue glow that breathes with the level. The
// golden motes and the staff are particles (swing.vert, swing-mote.frag).
uniform vec4 timing;
uniform vec4 levels;
varying vec2 p;

void main() {
    float r = length(p * vec2(0.8, 1.0));
    vec3 colour = mix(vec3(0.06, 0.07, 0.2), vec3(0.01, 0.01, 0.04), smoothstep(0.0, 1.4, r));
    colour *= 0.92 + 0.08 * clamp(levels.x * 2.0, 0.0, 1.0);
    colour += vec3(0.02, 0.01, 0.0) * sin(timing.x * 0.3 + p.x);
    gl_FragColor = vec4(colour, 1.0);
}
