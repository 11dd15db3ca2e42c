// Swing: particles 0 to 559 are golden motes in three spiral arms that turn
// at the tempo and open with the kick; particles 560 to 699 are the five
// lines of a staff, 28 segments each, that ripple with the waveform. Each
// segment is a quad from one waveform sample to the next.
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
varying vec2 local;   // -1 to 1 across the quad
varying float glow;
varying float staff;  // 1 for staff segments

float waveform(float x) {
    return texture2D(sound, vec2(clamp(x, 0.001, 0.999), 0.75)).r * 2.0 - 1.0;
}

void main() {
    float index = floor(gl_MultiTexCoord0.x * 700.0);
    float random1 = gl_MultiTexCoord0.y;
    float random2 = gl_Vertex.z;
    vec2 corner = gl_Vertex.xy;
    local = corner;
    vec2 position;
    if (index < 560.0) {
        staff = 0.0;
        float arm = mod(index, 3.0);
        float radius = 0.08 + 0.9 * sqrt(random1) * (1.0 + 0.15 * beat.z);
        float angle = arm * 2.0943951 + radius * 2.6 - timing.y * 0.35 + random2 * 0.5;
        vec2 centre = radius * vec2(cos(angle), sin(angle) * 0.75);
        float size = (0.006 + 0.012 * random2) * (1.0 + 0.5 * beat.z);
        glow = (0.35 + 0.65 * random2) * (0.6 + 0.4 * sin(timing.x * (1.0 + random1 * 3.0) + random2 * 30.0));
        position = centre + corner * size;
        position.x /= timing.z;
    } else {
        staff = 1.0;
        float k = index - 560.0;
        float line = floor(k / 28.0);
        float segment = mod(k, 28.0);
        float end = segment + step(0.0, corner.x);
        float x = -0.95 + 1.9 * end / 28.0;
        float y = -0.62 + line * 0.06 + 0.05 * waveform(end / 28.0 * 0.5 + line * 0.1);
        position = vec2(x, y + corner.y * 0.004);
        glow = 0.5;
    }
    vec4 used = abs(timing) + abs(beat) + abs(levels) + abs(tempo) + abs(registers) +
                abs(params) + abs(viewport) + vec4(abs(colour1) + abs(colour2), 0.0);
    gl_Position = vec4(position, 1e-20 * dot(used, vec4(1.0)), 1.0);
}
