// One child's picture with a uniform opacity; the blend state that the render
// wrapper sets (source alpha, one minus source alpha) lays it over what is
// already drawn.
uniform sampler2D image;
uniform float alpha;
varying vec2 uv;

void main() {
    gl_FragColor = vec4(texture2D(image, uv).rgb, alpha);
}
