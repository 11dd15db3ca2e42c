// Draws the picture that a shader scene rendered into a texture (Feedback,
// Downscale) to the screen as it is.
uniform sampler2D frame;
varying vec2 uv;

void main() {
    gl_FragColor = vec4(texture2D(frame, uv).rgb, 1.0);
}
