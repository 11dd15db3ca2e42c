// Ink: ink on paper. The ink's density lives in the alpha channel of the
// picture, which the frame after reads back as `previous`; the colour
// channels hold the paper (paper.png) darkened by that ink, so the picture
// goes to the screen as it is. Each frame the ink spreads a little to its
// neighbours, drifts along a slow swirl and bleaches away; three pens move
// on looping paths at the tempo and drop ink as the kick comes, more for a
// louder level.
uniform vec4 timing;
uniform vec4 beat;
uniform vec4 levels;
uniform vec4 viewport;
uniform sampler2D previous;
uniform sampler2D image;
varying vec2 uv;
varying vec2 p;
varying vec2 pen0;  // where the pens are (ink.vert)
varying vec2 pen1;
varying vec2 pen2;

void main() {
    float t = timing.x;
    vec2 px = viewport.zw;
    vec2 swirl = vec2(sin(p.y * 3.0 + t * 0.2), cos(p.x * 2.5 - t * 0.17)) * px * 0.7;
    vec2 at = uv - swirl;
    // One neighbour a frame, turning through the four diagonals, spreads the
    // ink evenly at the price of a single extra read.
    float turn = mod(floor(t * 60.0), 4.0);
    vec2 diagonal = px * vec2(turn < 2.0 ? 1.0 : -1.0, mod(turn, 2.0) < 1.0 ? 1.0 : -1.0);
    float centre = texture2D(previous, at).a;
    float around = texture2D(previous, at + diagonal).a;
    float ink = mix(centre, around, 0.25) * 0.994 - 0.001;
    float size = 0.004 + 0.07 * beat.z + 0.03 * clamp(levels.x * 2.0, 0.0, 1.0);
    float nearest = min(length(p - pen0), min(length(p - pen1), length(p - pen2)));
    ink = max(ink, smoothstep(size, size * 0.3, nearest) * 0.95);
    ink = clamp(ink, 0.0, 1.0);
    vec3 paper = texture2D(image, uv * vec2(timing.z, 1.0) * 1.5).rgb;
    vec3 colour = paper * (1.0 - 0.9 * smoothstep(0.0, 0.8, ink));
    colour *= 1.0 - 0.06 * vec3(1.0, 1.0, 0.6) * smoothstep(0.3, 1.0, ink);
    gl_FragColor = vec4(colour, ink);
}
