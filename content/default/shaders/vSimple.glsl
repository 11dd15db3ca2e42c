// Positions through the fixed-function matrices; texture coordinate and
// vertex colour pass through unchanged.
void main() {
    gl_TexCoord[0] = gl_MultiTexCoord0;
    gl_FrontColor = gl_Color;
    gl_Position = gl_ModelViewProjectionMatrix * gl_Vertex;
}
