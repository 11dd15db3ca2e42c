// Scope: particles 0 to 511 draw the waveform against itself a little later
// (an x-y figure in the upper part of the screen); particles 512 to 1023 draw
// it against time along the bottom. The kick widens the beam.
uniform vec4 timing;
uniform vec4 beat;
uniform vec4 levels;
uniform vec4 tempo;
uniform vec4 registers;
uniform vec4 params;
uniform vec3 colour1;
uniform vec3 colour2;
uniform vec4 viewport;
uniform sampler2D sound;
varying vec2 local;
varying float glow;

float waveform(float x) {
    return texture2D(sound, vec2(clamp(x, 0.001, 0.999), 0.75)).r * 2.0 - 1.0;
}

void main() {
    float index = floor(gl_MultiTexCoord0.x * 1024.0);
    vec2 centre;
    if (index < 512.0) {
        float x = index / 512.0;
        centre = vec2(waveform(x), waveform(fract(x + 0.2))) * vec2(0.6, 0.5) + vec2(0.0, 0.22);
        glow = 0.5;
    } else {
        float x = (index - 512.0) / 512.0;
        centre = vec2(-0.95 * timing.z + 1.9 * timing.z * x, -0.62 + 0.22 * waveform(x));
        glow = 0.4;
    }
    float size = 0.006 * (1.0 + 0.5 * beat.z);
    local = gl_Vertex.xy;
    vec2 position = centre + gl_Vertex.xy * size;
    position.x /= timing.z;
    vec4 used = abs(timing) + abs(beat) + abs(levels) + abs(tempo) + abs(registers) +
                abs(params) + abs(viewport) + vec4(abs(colour1) + abs(colour2), 0.0);
    gl_Position = vec4(position, 1e-20 * dot(used, vec4(1.0)), 1.0);
}
