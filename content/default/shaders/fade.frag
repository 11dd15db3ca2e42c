// The two children of a fade blended by its progress (0: only the outgoing
// picture, 1: only the incoming one), eased so that the change starts and
// ends gently. The style picks the blend: 0 dissolve, 1 wipe, 2 zoom.
uniform sampler2D outgoing;
uniform sampler2D incoming;
uniform float progress;
uniform float style;
uniform float aspect;
varying vec2 uv;

const float kWipeEdge = 0.06;   // width of the wipe's soft edge
const float kWipeSlant = 0.12;  // how far the edge leans across the height

// Texture lookups are clamped by hand: a zoomed picture reads outside 0..1.
vec3 before(vec2 at) {
    return texture2D(outgoing, clamp(at, 0.0, 1.0)).rgb;
}

vec3 after(vec2 at) {
    return texture2D(incoming, clamp(at, 0.0, 1.0)).rgb;
}

void main() {
    float p = smoothstep(0.0, 1.0, clamp(progress, 0.0, 1.0));
    vec3 from = before(uv);
    vec3 to = after(uv);
    float amount = p;
    if (style > 1.5) {
        // The incoming picture grows from the middle, whole but small; the
        // outgoing one zooms in behind it and darkens a little.
        vec2 centred = uv - 0.5;
        from = before(0.5 + centred / (1.0 + 1.5 * p)) * (1.0 - 0.35 * p);
        float size = max(p, 0.001);
        to = after(0.5 + centred / size);
        // The box runs a little past the picture, so that at the end its
        // soft edge lies outside the screen.
        vec2 edge = vec2(0.01 / aspect, 0.01);
        vec2 reach = vec2(p * 0.5) + 2.0 * p * edge;
        vec2 inside = 1.0 - smoothstep(reach - edge, reach + edge, abs(centred));
        amount = inside.x * inside.y * smoothstep(0.0, 0.25, p);
    } else if (style > 0.5) {
        // A soft, slightly slanted edge sweeps from left to right; at half
        // time it crosses the middle of the screen, and it starts and ends
        // wholly outside it.
        float lean = 0.5 * kWipeSlant / aspect;
        float x = uv.x + (uv.y - 0.5) * 2.0 * lean;
        float front = mix(-kWipeEdge - lean, 1.0 + lean + kWipeEdge, p);
        amount = 1.0 - smoothstep(front - kWipeEdge, front + kWipeEdge, x);
    }
    gl_FragColor = vec4(mix(from, to, amount), 1.0);
}
