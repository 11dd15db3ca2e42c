// Soft pastel blobs: wrapped diffuse light from a key and a fill of
// another hue, a specular glint, and a rim that flares on the beat.
uniform float pulse;  // 1 on the beat, 0 from half-way to the next
uniform float hue;    // drifts slowly through the palette
varying vec3 normal;
varying vec3 position;

vec3 palette(float t) {
    return 0.6 + 0.4 * cos(6.2831853 * (t + vec3(0.0, 0.33, 0.67)));
}

void main() {
    // A flat stretch of field has no gradient: face the viewer there.
    vec3 n = dot(normal, normal) > 1e-8 ? normalize(normal) : vec3(0.0, 0.0, 1.0);
    vec3 toEye = normalize(vec3(0.0, 0.0, 3.0) - position);
    vec3 key = normalize(vec3(-0.5, 0.8, 0.6));
    vec3 fill = normalize(vec3(0.7, -0.3, 0.5));
    vec3 base = palette(hue + 0.25 * position.y);
    float wrapKey = clamp((dot(n, key) + 0.4) / 1.4, 0.0, 1.0);
    float wrapFill = clamp((dot(n, fill) + 0.3) / 1.3, 0.0, 1.0);
    vec3 colour = base * (0.2 + 0.75 * wrapKey) + palette(hue + 0.5) * 0.3 * wrapFill;
    float glint = pow(max(dot(reflect(-key, n), toEye), 0.0), 24.0);
    float rim = pow(1.0 - max(dot(n, toEye), 0.0), 3.0);
    colour += vec3(0.6) * glint + vec3(1.0, 0.85, 0.95) * rim * (0.25 + 0.6 * pulse);
    gl_FragColor = vec4(colour, 1.0);
}
