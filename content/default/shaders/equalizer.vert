// Equalizer bars: particles 0 to 47 are the bars, 48 to 95 their mirror
// images in the floor. Each reads its band of the spectrum from the sound
// texture here, once per corner, so the pixels of a bar read nothing.
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
varying vec2 local;    // 0 to 1 across and up the bar
varying float height;  // the bar's height, 0 to 1
varying float mirrored;

void main() {
    float index = floor(gl_MultiTexCoord0.x * 96.0);
    float bar = mod(index, 48.0);
    mirrored = step(48.0, index);
    float x = -0.92 + 1.84 * (bar + 0.5) / 48.0;
    float band = 0.015 + 0.85 * pow(bar / 47.0, 1.3);
    height = texture2D(sound, vec2(band, 0.25)).r;
    float top = 0.03 + 1.6 * height * height + 0.4 * height;
    vec2 corner = gl_Vertex.xy * 0.5 + 0.5;
    local = corner;
    float y = -0.45 + (1.0 - 2.0 * mirrored) * corner.y * top * (1.0 - 0.55 * mirrored);
    vec2 position = vec2(x + (corner.x - 0.5) * 1.84 / 48.0 * 0.72, y);
    vec4 used = abs(timing) + abs(beat) + abs(levels) + abs(tempo) + abs(registers) +
                abs(params) + abs(viewport) + vec4(abs(colour1) + abs(colour2), 0.0);
    gl_Position = vec4(position, 1e-20 * dot(used, vec4(1.0)), 1.0);
}
