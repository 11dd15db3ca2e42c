// Metaball surface: grid coordinates (0..27) into a slowly turning view
// with a fixed tilt and a mild perspective.
uniform float angle;
uniform float aspect;
varying vec3 normal;
varying vec3 position;

void main() {
    vec3 p = (gl_Vertex.xyz - vec3(13.5)) / 12.0;
    float c = cos(angle);
    float s = sin(angle);
    mat3 turn = mat3(c, 0.0, -s, 0.0, 1.0, 0.0, s, 0.0, c);
    mat3 tilt = mat3(1.0, 0.0, 0.0, 0.0, 0.94, 0.34, 0.0, -0.34, 0.94);
    mat3 view = tilt * turn;
    p = view * p;
    // The stored normal is the field's negated gradient, which points into
    // the blobs (the field grows outwards); turn it out.
    normal = -(view * gl_Normal);
    position = p;
    float w = 3.0 - p.z;
    gl_Position = vec4(p.x * 2.2 / aspect, p.y * 2.2, -p.z * 0.3 * w, w);
}
