// Ridges: the landscape through the scene's camera (the model-view and
// projection matrices it sets).
uniform vec3 grid;   // column spacing, row spacing, rows scrolled
uniform float kick;  // 0 to 1, up on the beat
uniform float hue;   // drifts through the palette
varying vec3 normal;
varying vec3 world;
varying float depth;

void main() {
    normal = gl_Normal;
    world = gl_Vertex.xyz;
    vec4 eye = gl_ModelViewMatrix * gl_Vertex;
    depth = -eye.z;
    // Every uniform is read here, so that none is inactive.
    float used = abs(grid.x) + abs(grid.y) + abs(grid.z) + abs(kick) + abs(hue);
    gl_Position = gl_ProjectionMatrix * eye + vec4(0.0, 0.0, 1e-20 * used, 0.0);
}
