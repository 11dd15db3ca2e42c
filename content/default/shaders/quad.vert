// The full-screen quad of shader scenes: its corners are already in clip
// space. Hands on `uv` (0 to 1 across the target) and `p` (centred, y from
// -1 to 1 and x scaled by the aspect ratio, so circles stay round).
//
// The scene image sets every uniform below for every program it draws with,
// and a uniform that no stage reads would turn each of those sets into a
// warning. So this stage reads them all into the depth, which no pass tests
// and which stays far inside the clip range; fragment shaders are then free
// to use any of them or none. A vertex shader of your own must do the same.
uniform vec4 timing;     // time, beat time, aspect ratio, time step
uniform vec4 beat;       // position, phase, kick, strength
uniform vec4 levels;     // level, low, mid, high
uniform vec4 tempo;      // beats per second, smoothed strength, upper and lower envelope
uniform vec4 registers;  // shared registers 0 to 3
uniform vec4 params;     // Param1 to Param4
uniform vec3 colour1;
uniform vec3 colour2;
uniform vec4 viewport;   // width, height, 1 / width, 1 / height of the target
varying vec2 uv;
varying vec2 p;

void main() {
    uv = gl_MultiTexCoord0.xy;
    p = (uv * 2.0 - 1.0) * vec2(timing.z, 1.0);
    vec4 used = abs(timing) + abs(beat) + abs(levels) + abs(tempo) + abs(registers) +
               abs(params) + abs(viewport) + vec4(abs(colour1) + abs(colour2), 0.0);
    gl_Position = vec4(gl_Vertex.xy, 1e-20 * dot(used, vec4(1.0)), 1.0);
}
