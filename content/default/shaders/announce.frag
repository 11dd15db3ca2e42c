// The font's glyph shape (its alpha) in one colour, faded by `alpha`.
uniform sampler2D font;
uniform vec3 tint;
uniform float alpha;
varying vec2 uv;

void main() {
    gl_FragColor = vec4(tint, texture2D(font, uv).a * alpha);
}
