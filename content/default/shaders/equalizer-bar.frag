// Equalizer bars: lit segments, green at the bottom through yellow to red at
// the top, their mirror images faint and fading into the floor.
uniform vec4 beat;
uniform sampler2D sound;
varying vec2 local;
varying float height;
varying float mirrored;

void main() {
    float level = local.y * (0.03 + 1.6 * height * height + 0.4 * height);  // above the floor
    float segment = step(0.3, fract(level * 18.0));
    vec3 colour = mix(vec3(0.1, 0.9, 0.4), vec3(1.0, 0.85, 0.1), smoothstep(0.2, 0.6, level));
    colour = mix(colour, vec3(1.0, 0.2, 0.15), smoothstep(0.6, 0.95, level));
    float fade = mix(0.75, 0.2 * (1.0 - local.y), mirrored);
    gl_FragColor = vec4(colour * segment * fade * (0.85 + 0.15 * beat.z), 1.0);
}
