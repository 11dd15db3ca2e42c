// One point per spectrum bin (lower row) and waveform sample (upper row) of
// the shader scene's 512 x 2 sound texture; the value comes in as the first
// texture coordinate.
varying float value;
varying float row;

void main() {
    value = gl_MultiTexCoord0.x;
    row = gl_Vertex.y;
    gl_Position = vec4(gl_Vertex.xy, 0.0, 1.0);
}
