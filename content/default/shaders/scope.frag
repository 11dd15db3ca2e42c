// Scope, the screen: the glow of the frame before fades like phosphor over a
// faint graticule. The traces are particles (scope.vert, scope-trace.frag).
uniform vec4 timing;
uniform vec4 beat;
uniform sampler2D previous;
varying vec2 uv;
varying vec2 p;

void main() {
    vec3 glow = texture2D(previous, uv).rgb * 0.82 - 0.004;
    vec2 grid = abs(fract(p * 4.0) - 0.5);
    float lines = smoothstep(0.485, 0.5, max(grid.x, grid.y));
    vec3 colour = max(glow, vec3(0.08) * lines + vec3(0.015));
    gl_FragColor = vec4(colour, 1.0);
}
