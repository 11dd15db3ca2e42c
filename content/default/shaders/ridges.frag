// Ridges: lit by one low light, coloured by height, with the grid of the
// mesh drawn as thin lines that brighten with the kick, fading into the
// dark with distance.
uniform vec3 grid;
uniform float kick;
uniform float hue;
varying vec3 normal;
varying vec3 world;
varying float depth;

vec3 palette(float t) {
    return 0.55 + 0.45 * cos(6.2831853 * (t + vec3(0.0, 0.33, 0.67)));
}

void main() {
    vec3 n = normalize(normal);
    float light = clamp(dot(n, normalize(vec3(-0.4, 0.8, 0.45))), 0.0, 1.0);
    vec3 colour = palette(hue + world.y * 0.9) * (0.12 + 0.6 * light) * (0.45 + world.y);
    // Distance to the nearest grid line, in pixels.
    vec2 cell = vec2(world.x / grid.x, -world.z / grid.y - grid.z);  // whole at the lines
    vec2 along = abs(fract(cell + 0.5) - 0.5) / max(fwidth(cell), vec2(1e-4));
    float line = 1.0 - clamp(min(along.x, along.y), 0.0, 1.0);
    colour += line * palette(hue + 0.5) * (0.18 + 0.3 * kick);
    float fog = exp(-max(depth - 1.0, 0.0) * 0.35);
    vec3 sky = vec3(0.02, 0.02, 0.06);
    gl_FragColor = vec4(mix(sky, colour, fog), 1.0);
}
