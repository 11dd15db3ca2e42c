// Tunnel: a brick tube (bricks.png) that rushes towards the viewer at a
// speed that follows the tempo. Each ring of bricks glows in its mortar with
// one band of the spectrum, the kick lights the mortar, and the centre of
// the tube sways with the mid band. Colours come from the entry: Colour1 the
// bricks, Colour2 the glow; Param1 twists the tube, Param2 sets its speed.
uniform vec4 timing;
uniform vec4 beat;
uniform vec4 levels;
uniform vec4 params;
uniform vec3 colour1;
uniform vec3 colour2;
uniform sampler2D image;
uniform sampler2D sound;
varying vec2 p;

float spectrum(float x) {
    return texture2D(sound, vec2(clamp(x, 0.001, 0.999), 0.25)).r;
}

void main() {
    float t = timing.x;
    vec2 centre = 0.18 * vec2(sin(t * 0.31), cos(t * 0.23)) +
                  0.03 * clamp(levels.z, -1.0, 2.0) * vec2(cos(t * 1.7), sin(t * 1.3));
    vec2 q = p - centre;
    float r = max(length(q), 0.015);
    float angle = atan(q.y, q.x) / 6.2831853;
    float depth = 0.4 / r;
    float travel = timing.y * 0.5 * params.y;
    vec2 wall = vec2(angle * 4.0 + depth * 0.05 * params.x, depth * 0.5 + travel);
    vec3 brick = texture2D(image, wall).rgb;  // height, tone, grain
    float row = floor(wall.y * 8.0);          // 8 brick rows per texture height
    float band = spectrum(fract(row * 0.0625) * 0.8 + 0.05);
    float mortar = 1.0 - smoothstep(0.0, 0.35, brick.r);
    float fog = smoothstep(7.5, 1.2, depth);
    vec3 wallColour = colour1 * (0.25 + 0.55 * brick.r * (0.6 + 0.4 * brick.g)) *
                      (0.85 + 0.3 * brick.b);
    vec3 glow = colour2 * mortar * (0.15 + 1.1 * band * (0.6 + 0.4 * beat.z));
    vec3 colour = (wallColour + glow) * fog;
    gl_FragColor = vec4(colour, 1.0);
}
