// The standard header of the scene language: every native of the system
// with its signature text, the records natives read, and the id numbers
// they take. Every program sees these declarations; only the natives a
// program calls are bound when its image loads.

// Records in VM memory that the metaball natives read and write.
struct MetaBallVolume { int sizeX; int sizeY; int sizeZ; int* grid; }
struct MetaBallLookup { int radius; int* table; }
struct N3V3 { vec3 normal; vec3 position; }

// Diagnostics.
native void assert(bool condition) = "V assert(I)";
native void print(int* text, float value) = "V print(*I,F)";
native void printv(int* text, vec3 value) = "V printv(*I,Vector3)";

// Scene parameters (the scene list's Data values) and the control script.
native int xmlInt(int* key, int fallback) = "I xmlInt(*I,I)";
native float xmlFloat(int* key, float fallback) = "F xmlFloat(*I,F)";
native void xmlString(int* destination, int capacity, int* key, int* fallback) = "V xmlString(*I,I,*I,*I)";
native int jsInt(int* expression) = "I jsInt(*I)";
native float jsFloat(int* expression) = "F jsFloat(*I)";
native void jsString(int* destination, int capacity, int* expression) = "V jsString(*I,I,*I)";
native void jsExec(int* statements) = "V jsExec(*I)";

// Data files under data/ (sizes and offsets in words).
native int fileSize(int* name) = "I fileSize(*I)";
native void fileRead(int* name, void* destination, int offset, int count) = "V fileRead(*I,*V,I,I)";

// Vertex buffers, GL state and matrices.
native int vbCreate(int format, int vertices) = "I vbCreate(I,I)";
native void vbDestroy(int buffer) = "V vbDestroy(I)";
native float* vbLock(int buffer) = "*F vbLock(I)";
native void vbUnLock(int buffer) = "V vbUnLock(I)";
native void vbRender(int buffer, int primitive, int first, int count) = "V vbRender(I,I,I,I)";
native void getMatrix(int kind, mat4* destination) = "V getMatrix(I,*F[16])";
native void setMatrix(int kind, mat4* source) = "V setMatrix(I,*F[16])";
native void glClear(float red, float green, float blue, float alpha, int flags) = "V glClear(F,F,F,F,I)";
native int glGetInt(int id) = "I glGetInt(I)";
native void glSetInt(int id, int value) = "V glSetInt(I,I)";

// Mathematics (radians) and random numbers.
native float sin(float x) = "F sin(F)";
native float cos(float x) = "F cos(F)";
native float tan(float x) = "F tan(F)";
native float atan(float x) = "F atan(F)";
native float atan2(float y, float x) = "F atan2(F,F)";
native float pow(float base, float power) = "F pow(F,F)";
native float rand() = "F rand()";
native int randint(int low, int high) = "I randint(I,I)";
native float cubicInterpFloat(float p0, float p1, float p2, float p3, float t) = "F cubicInterpFloat(F,F,F,F,F)";
native void qSort(int* indexes, float* keys, int count) = "V qSort(*I,*F,I)";

// The VM heap (new and delete use these too).
native void* malloc(int words) = "*V malloc(I)";
native void free(void* address) = "V free(*V)";

// Textures and render targets.
native int texLoad(int* name) = "I texLoad(*I)";
native int texFromArray(int width, int height, int* pixels) = "I texFromArray(I,I,*I)";
native int texFromFloatArray(int width, int height, float* rgba) = "I texFromFloatArray(I,I,*F)";
native int texFromFloatArray(int width, int height, int depth, float* rgba) = "I texFromFloatArray(I,I,I,*F)";
native void texBind(int unit, int texture) = "V texBind(I,I)";
native void texDestroy(int texture) = "V texDestroy(I)";
native void texRenderBegin(int width, int height) = "V texRenderBegin(I,I)";
native void texRenderBegin(int width, int height, int floatFormat) = "V texRenderBegin(I,I,I)";
native int texRenderEnd() = "I texRenderEnd()";
native void texRenderFinished(int texture) = "V texRenderFinished(I)";
native void sumViewport(float* destination) = "V sumViewport(*F)";
native void sumViewport(float* destination, int columns, int rows) = "V sumViewport(*F,I,I)";

// Shaders.
native int shaderLoad(int* vertexFile, int* fragmentFile) = "I shaderLoad(*I,*I)";
native void shaderBind(int shader) = "V shaderBind(I)";
native void shaderUniform1(int* name, float a) = "V shaderUniform1(*I,F)";
native void shaderUniform2(int* name, float a, float b) = "V shaderUniform2(*I,F,F)";
native void shaderUniform3(int* name, float a, float b, float c) = "V shaderUniform3(*I,F,F,F)";
native void shaderUniform4(int* name, float a, float b, float c, float d) = "V shaderUniform4(*I,F,F,F,F)";
native void shaderDestroy(int shader) = "V shaderDestroy(I)";

// The visualiser: sound, timing, shared registers, child scenes.
native float visGetFloat(int id) = "F visGetFloat(I)";
native void visGetFloatv(int id, float* destination) = "V visGetFloatv(I,*F)";
native void visSetFloat(int id, float value) = "V visSetFloat(I,F)";
native int visGetInt(int id) = "I visGetInt(I)";
native void visSetInt(int id, int value) = "V visSetInt(I,I)";
native void visRenderChildToScreen(int child, float timeStep) = "V visRenderChildToScreen(I,F)";
native void visRenderChildToTexture(int child, float timeStep, int width, int height) = "V visRenderChildToTexture(I,F,I,I)";
native int visGetRenderedTexture() = "I visGetRenderedTexture()";

// Metaballs.
native void mbClear(MetaBallVolume* volume, int value) = "V mbClear(*MetaBallVolume,I)";
native int mbTriangleCount(MetaBallVolume* volume) = "I mbTriangleCount(*MetaBallVolume)";
native int mbTriangulateN3V3(MetaBallVolume* volume, N3V3* output, int capacity) = "I mbTriangulateN3V3(*MetaBallVolume,*N3V3,I)";
native int mbValue(MetaBallVolume* volume, vec3* point) = "I mbValue(*MetaBallVolume,*Vector3)";
native void mbBall(MetaBallVolume* volume, vec3* centre, float strength, int border) = "V mbBall(*MetaBallVolume,*Vector3,F,I)";
native void mbLookupBall(MetaBallVolume* volume, MetaBallLookup* lookup, vec3* centre, float strength, int border) = "V mbLookupBall(*MetaBallVolume,*MetaBallLookup,*Vector3,F,I)";
native void mbDisc(MetaBallVolume* volume, vec3* centre, int slice, float strength, int border) = "V mbDisc(*MetaBallVolume,*Vector3,I,F,I)";
native void mbLookupCreate(MetaBallLookup* lookup, int radius) = "V mbLookupCreate(*MetaBallLookup,I)";
native void mbLookupDestroy(MetaBallLookup* lookup) = "V mbLookupDestroy(*MetaBallLookup)";

// visGetFloat ids.
const int VIS_TIME_STEP = 51;          // seconds since the last frame
const int VIS_ASPECT = 60;             // width / height
const int VIS_LEVEL = 100;             // sound level
const int VIS_LOW = 101;               // band levels
const int VIS_MID = 102;
const int VIS_HIGH = 103;
const int VIS_BEAT_STRENGTH = 104;
const int VIS_SMOOTHED_STRENGTH = 108;
const int VIS_BEAT_POSITION = 109;     // 0 on the beat, rising to 1
const int VIS_BEAT_PHASE = 110;
const int VIS_UPPER_ENVELOPE = 111;
const int VIS_LOWER_ENVELOPE = 112;
const int VIS_BEAT_RATE = 113;         // beats per second
const int VIS_REGISTER0 = 300;         // shared registers 300-363 (floats; visGetInt rounds)
// visGetFloatv ids.
const int VIS_WAVEFORM = 105;          // 512 floats
const int VIS_SPECTRUM = 106;          // 512 floats
const int VIS_HISTORY = 107;           // 4096 floats
// visGetInt / visSetInt: the scene's finished flag.
const int VIS_FINISHED = 200;

// Vertex formats and primitives.
const int FORMAT_POSITION = 0;         // x y z
const int FORMAT_TEXCOORD = 1;         // u v, x y z
const int FORMAT_NORMAL = 2;           // normal xyz, x y z
const int FORMAT_TEXCOORD_NORMAL = 3;  // u v, normal xyz, x y z
const int FORMAT_COLOUR = 4;           // u v, r g b a, normal xyz, x y z
const int FORMAT_THREE_UNITS = 5;      // three u v w, normal xyz, x y z
const int PRIM_POINTS = 0;
const int PRIM_LINES = 1;
const int PRIM_LINE_STRIP = 2;
const int PRIM_TRIANGLES = 3;
const int PRIM_QUADS = 4;

// glClear flags, matrix kinds.
const int CLEAR_COLOUR = 1;
const int CLEAR_DEPTH = 2;
const int MATRIX_MODELVIEW = 0;
const int MATRIX_PROJECTION = 1;
const int MATRIX_TEXTURE = 2;

// glSetInt / glGetInt ids and blend factors.
const int GL_DEPTH_TEST = 200;
const int GL_DEPTH_WRITE = 201;
const int GL_CULL = 202;               // 1 back faces, 2 front faces, 0 off
const int GL_BLEND_SOURCE = 203;
const int GL_BLEND_DESTINATION = 204;
const int GL_COLOUR = 205;             // red in the lowest byte, then green, blue, alpha
const int GL_TEXTURE_WRAP = 206;
const int GL_OUTPUT_WIDTH = 207;
const int GL_OUTPUT_HEIGHT = 208;
const int GL_TEXTURE_WIDTH = 209;
const int GL_TEXTURE_HEIGHT = 210;
const int GL_VIEWPORT_WIDTH = 211;
const int GL_VIEWPORT_HEIGHT = 212;
const int BLEND_ZERO = 0;
const int BLEND_ONE = 1;
const int BLEND_SRC_ALPHA = 100;
const int BLEND_ONE_MINUS_SRC_ALPHA = 101;
const int BLEND_SRC_COLOUR = 102;
const int BLEND_ONE_MINUS_SRC_COLOUR = 103;
const int BLEND_DST_COLOUR = 104;
const int BLEND_ONE_MINUS_DST_COLOUR = 105;
