// The sound texture's values, in 0 to 1 for an 8-bit target: the spectrum
// compressed by a square root so that quiet bins still show, the waveform
// with 0.5 for silence.
varying float value;
varying float row;

void main() {
    float v = row < 0.0 ? sqrt(clamp(value * 5.0, 0.0, 1.0)) : clamp(0.5 + 0.5 * value, 0.0, 1.0);
    gl_FragColor = vec4(v, v, v, 1.0);
}
