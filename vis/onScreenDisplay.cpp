// The on-screen display. See onScreenDisplay.h.
//
// Everything is drawn as textured or plain quads from one vertex buffer of
// format 1 (u, v, x, y, z), in a projection of its own: the shorter screen
// side spans 2 units for the logo and bar, and 60 glyph cells for text.
#include "vis/onScreenDisplay.h"

#include <GL/glew.h>

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "app/log.h"
#include "render/renderState.h"
#include "render/shader.h"
#include "render/texture.h"
#include "render/vertexBuffer.h"
#include "scene/sceneHost.h"

namespace {

const char* const kOwner = "__OSD__";
const char* const kLogoFile = "tex/UI/logo.png";
const char* const kFontFile = "tex/UI/font.png";
const char* const kVertexProgram = "shaders/vSimple.glsl";
const char* const kTexturedFragment = "shaders/fTexColor.glsl";
const char* const kPlainFragment = "shaders/fSimple.glsl";

constexpr int kVertexFormat = 1;  // texture u, v, then x, y, z
constexpr int kFloatsPerVertex = 5;
constexpr int kTriangles = 3;  // vbRender primitive id

// glSetInt ids and the blend factor ids they take.
constexpr int kDepthTest = 200;
constexpr int kCulling = 202;
constexpr int kBlendSource = 203;
constexpr int kBlendDestination = 204;
constexpr int kColour = 205;
constexpr int kBlendZero = 0;
constexpr int kBlendOne = 1;
constexpr int kBlendSourceAlpha = 100;
constexpr int kBlendOneMinusSourceAlpha = 101;

constexpr float kTextCells = 30.0f;  // glyph cells in half the shorter side

struct ColourPrefix {
    char character;
    float red, green, blue;
};

// Tried in this order, each at most once: "!?" is red with both removed.
const ColourPrefix kPrefixes[] = {
    {'!', 1.0f, 1.0f, 0.0f}, {'?', 1.0f, 0.0f, 0.0f}, {':', 0.0f, 0.0f, 1.0f},
    {'^', 0.0f, 1.0f, 1.0f}, {'&', 0.0f, 1.0f, 0.0f}, {'*', 0.0f, 1.0f, 0.0f},
    {'#', 0.5f, 0.5f, 0.5f},
};

// Advance widths of the font sheet's glyphs in 32nds of a cell, one row of
// the sheet per line. Tab, line feed and carriage return take no room.
// clang-format off
const uint8_t kCharacterWidths[256] = {
    18, 18, 18, 18, 18, 18, 18, 18, 18,  0,  0, 18, 18,  0, 18, 18,  // 0-15
    18, 18, 18, 18, 18, 18, 18, 18, 18, 18, 18, 18, 18, 18, 18, 18,  // 16-31
     7,  7, 11, 13, 13, 18, 17,  6,  8,  8,  9, 14,  7,  8,  7,  7,  // 32-47
    13, 13, 13, 13, 13, 13, 13, 13, 13, 13,  7,  7, 14, 14, 14, 15,  // 48-63
    23, 17, 17, 17, 17, 16, 15, 19, 17,  7, 13, 17, 15, 21, 17, 18,  // 64-79
    16, 18, 17, 16, 15, 17, 16, 23, 16, 15, 14,  8,  7,  8, 14, 13,  // 80-95
     8, 13, 15, 13, 15, 13,  8, 15, 15,  7,  7, 13,  7, 21, 15, 15,  // 96-111
    15, 15,  9, 13,  8, 15, 13, 19, 13, 13, 12,  9,  7,  9, 14, 18,  // 112-127
    18, 18, 18, 18, 18, 18, 18, 18, 18, 18, 18, 18, 18, 18, 18, 18,  // 128-143
    18, 18, 18, 18, 18, 18, 18, 18, 18, 18, 18, 18, 18, 18, 18, 18,  // 144-159
     7,  7, 13, 13, 13, 13,  7, 13,  8, 18,  9, 13, 14,  8, 18, 13,  // 160-175
    10, 13,  8,  8,  8, 14, 13,  7,  7,  8,  9, 13, 20, 20, 20, 15,  // 176-191
    17, 17, 17, 17, 17, 17, 24, 17, 16, 16, 16, 16,  7,  7,  7,  7,  // 192-207
    17, 17, 18, 18, 18, 18, 18, 14, 19, 17, 17, 17, 17, 15, 16, 15,  // 208-223
    13, 13, 13, 13, 13, 13, 21, 13, 13, 13, 13, 13,  7,  7,  7,  7,  // 224-239
    15, 15, 15, 15, 15, 15, 15, 13, 15, 15, 15, 15, 15, 13, 15, 13,  // 240-255
};
// clang-format on

void setScale(float x, float y) {
    const float projection[16] = {x, 0, 0, 0, 0, y, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    const float identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    setMatrix(MATRIX_PROJECTION, projection);
    setMatrix(MATRIX_MODELVIEW, identity);
}

void setBlend(int source, int destination) {
    glSetInt(kBlendSource, source);
    glSetInt(kBlendDestination, destination);
}

// The x and y scales that keep the picture's aspect with the shorter side
// spanning 2 units.
void aspectScales(int width, int height, float* x, float* y) {
    float aspect = height > 0 ? static_cast<float>(width) / static_cast<float>(height) : 1.0f;
    *x = aspect > 1.0f ? 1.0f / aspect : 1.0f;
    *y = aspect > 1.0f ? 1.0f : aspect;
}

}  // namespace

COnScreenDisplay::~COnScreenDisplay() = default;

int COnScreenDisplay::characterWidth(unsigned char c) {
    return kCharacterWidths[c];
}

float COnScreenDisplay::messageAlpha(float age) {
    return std::clamp(kMessageLife - age, 0.0f, 1.0f);
}

void COnScreenDisplay::initialise(SceneTextures& textures) {
    VIS_ASSERT(vbFloatsPerVertex(kVertexFormat) == kFloatsPerVertex);
    textures_ = &textures;
    logoTexture_ = textures.load(kLogoFile, kOwner);
    fontTexture_ = textures.load(kFontFile, kOwner);
    texturedShader_ = shaderLoad(kVertexProgram, kTexturedFragment);
    plainShader_ = shaderLoad(kVertexProgram, kPlainFragment);
    if (!texturedShader_ || !plainShader_)
        Log(LOG_WARNING, "On-screen display draws without its shaders\n");
    vertexBuffer_ = vbCreate(nullptr, kVertexFormat, kInitialVertices);
    vertexCapacity_ = vertexBuffer_ >= 0 ? kInitialVertices : 0;
}

void COnScreenDisplay::release() {
    if (vertexBuffer_ >= 0) vbDestroy(vertexBuffer_);
    vertexBuffer_ = -1;
    vertexCapacity_ = 0;
    if (texturedShader_) shaderDestroy(texturedShader_);
    if (plainShader_) shaderDestroy(plainShader_);
    texturedShader_ = plainShader_ = 0;
    if (textures_) {
        if (logoTexture_) textures_->release(logoTexture_, kOwner, true);
        if (fontTexture_) textures_->release(fontTexture_, kOwner, true);
    }
    logoTexture_ = fontTexture_ = 0;
    textures_ = nullptr;
}

void COnScreenDisplay::addMessage(const std::string& text) {
    Message message;
    size_t start = 0;
    for (const ColourPrefix& prefix : kPrefixes) {
        if (start >= text.size() || text[start] != prefix.character) continue;
        message.red = prefix.red;
        message.green = prefix.green;
        message.blue = prefix.blue;
        start++;
    }
    // Log lines end with a line feed, which is no glyph.
    size_t end = text.size();
    while (end > start && (text[end - 1] == '\n' || text[end - 1] == '\r'))
        end--;
    message.text = text.substr(start, end - start);
    messages_.push_back(std::move(message));
}

void COnScreenDisplay::advance(float timePass, bool scenesPlaying) {
    progressOpacity_ = std::clamp(progressOpacity_ - timePass, 0.0f, 1.0f);
    if (scenesPlaying)
        for (Message& message : messages_)
            message.age += timePass;
    messages_.erase(std::remove_if(messages_.begin(), messages_.end(),
                                   [](const Message& m) { return m.age >= kMessageLife; }),
                    messages_.end());
}

void COnScreenDisplay::drawProgress(float fraction, int width, int height) {
    setScreenSpace(width, height);
    drawProgressScreen(fraction, progressOpacity_);
    finishDrawing();
}

void COnScreenDisplay::drawLogo(int width, int height) {
    setScreenSpace(width, height);
    useProgram(true, logoTexture_);
    setColour(1.0f, 1.0f, 1.0f, 1.0f);
    drawQuad(-0.3f, 0.3f, 0.3f, -0.3f);
    finishDrawing();
}

void COnScreenDisplay::drawMessages(float timePass, bool scenesPlaying, int width, int height) {
    advance(timePass, scenesPlaying);
    if (width <= 0 || height <= 0) return;  // a minimised window: nothing to place text in
    setScreenSpace(width, height);
    if (progressOpacity_ > 0.0f) drawProgressScreen(1.0f, progressOpacity_);
    if (!messages_.empty()) {
        float scaleX, scaleY;
        aspectScales(width, height, &scaleX, &scaleY);
        scaleX /= kTextCells;
        scaleY /= kTextCells;
        setScale(scaleX, scaleY);
        float x = -1.0f / scaleX + 0.5f;
        float y =
            1.0f / scaleY - (2.0f * verticalOffset_ / (scaleY * static_cast<float>(height)) + 1.5f);
        useProgram(true, fontTexture_);
        for (const Message& message : messages_) {
            // The additive pass ignores alpha, so the colour carries it too.
            float alpha = messageAlpha(message.age);
            setColour(message.red * alpha, message.green * alpha, message.blue * alpha, alpha);
            drawText(message.text, x, y);
            y -= 1.0f;
        }
    }
    finishDrawing();
}

void COnScreenDisplay::setScreenSpace(int width, int height) {
    float scaleX, scaleY;
    aspectScales(width, height, &scaleX, &scaleY);
    setScale(scaleX, scaleY);
    glSetInt(kDepthTest, 0);
    glSetInt(kCulling, 0);  // the quads' winding differs; a scene may have left culling on
    glDisable(GL_LIGHTING);
    setBlend(kBlendSourceAlpha, kBlendOneMinusSourceAlpha);
}

void COnScreenDisplay::drawProgressScreen(float fraction, float opacity) {
    useProgram(true, logoTexture_);
    setColour(1.0f, 1.0f, 1.0f, opacity);
    drawQuad(-0.3f, 0.5f, 0.3f, -0.1f);
    useProgram(false, 0);
    setColour(0.1f, 0.1f, 1.0f, 0.2f * opacity);
    drawQuad(-0.51f, -0.35f, 0.51f, -0.25f);
    setColour(1.0f, 1.0f, 1.0f, opacity);
    drawQuad(-0.5f, -0.34f, fraction - 0.5f, -0.26f);
}

void COnScreenDisplay::drawText(const std::string& text, float x, float y) {
    scratch_.clear();
    const float cell = 1.0f / 16.0f;
    float advance = 0.0f;
    for (unsigned char c : text) {
        // Half the advance before the glyph and half after centres it on its width.
        float half = static_cast<float>(characterWidth(c)) / 32.0f * 0.75f;
        advance += half;
        float u = static_cast<float>(c % 16) * cell;
        float v = static_cast<float>(c / 16) * cell;
        addQuad(x + advance - 0.1f, y - 0.1f, x + advance + 1.1f, y + 1.1f, u, v + cell, u + cell,
                v);
        advance += half;
    }
    int count = upload();
    // The glyph first darkens what lies behind it, then adds its colour, so
    // text stays readable over bright and dark scenes alike.
    setBlend(kBlendZero, kBlendOneMinusSourceAlpha);
    render(count);
    setBlend(kBlendOne, kBlendOne);
    render(count);
    setBlend(kBlendSourceAlpha, kBlendOneMinusSourceAlpha);
}

void COnScreenDisplay::useProgram(bool textured, int texture) {
    GLuint program = textured ? texturedShader_ : plainShader_;
    shaderBind(program);
    programBound_ = program != 0;
    texBind(0, textured ? texture : 0);
    if (!programBound_ && textured) glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
}

void COnScreenDisplay::setColour(float red, float green, float blue, float alpha) {
    uint32_t packed = static_cast<uint32_t>(texFloatToByte(red)) |
                      static_cast<uint32_t>(texFloatToByte(green)) << 8 |
                      static_cast<uint32_t>(texFloatToByte(blue)) << 16 |
                      static_cast<uint32_t>(texFloatToByte(alpha)) << 24;
    glSetInt(kColour, static_cast<int>(packed));
}

void COnScreenDisplay::addQuad(float x0, float y0, float x1, float y1, float u0, float v0, float u1,
                               float v1) {
    const float corners[6][4] = {
        {x0, y0, u0, v0}, {x1, y0, u1, v0}, {x1, y1, u1, v1},
        {x0, y0, u0, v0}, {x1, y1, u1, v1}, {x0, y1, u0, v1},
    };
    for (const auto& corner : corners) {
        const float vertex[kFloatsPerVertex] = {corner[2], corner[3], corner[0], corner[1], 0.0f};
        scratch_.insert(scratch_.end(), vertex, vertex + kFloatsPerVertex);
    }
}

void COnScreenDisplay::drawQuad(float x0, float y0, float x1, float y1) {
    scratch_.clear();
    addQuad(x0, y0, x1, y1, 0.0f, 0.0f, 1.0f, 1.0f);
    render(upload());
}

int COnScreenDisplay::upload() {
    int count = static_cast<int>(scratch_.size()) / kFloatsPerVertex;
    if (count > vertexCapacity_) {
        // Long lines get a bigger buffer rather than being cut short.
        if (vertexBuffer_ >= 0) vbDestroy(vertexBuffer_);
        vertexBuffer_ = vbCreate(nullptr, kVertexFormat, count);
        vertexCapacity_ = vertexBuffer_ >= 0 ? count : 0;
    }
    if (vertexBuffer_ < 0 || count == 0) return count;
    if (float* memory = vbLock(vertexBuffer_))
        std::memcpy(memory, scratch_.data(), scratch_.size() * sizeof(float));
    vbUnLock(vertexBuffer_);
    return count;
}

void COnScreenDisplay::render(int count) {
    if (count == 0) return;
    if (programBound_) {
        if (vertexBuffer_ >= 0) vbRender(vertexBuffer_, kTriangles, 0, count);
        return;
    }
    // The vertex buffers draw only through a program; without one the
    // fixed-function pipeline takes the same vertices directly.
    glBegin(GL_TRIANGLES);
    for (int i = 0; i < count; i++) {
        const float* vertex = &scratch_[static_cast<size_t>(i) * kFloatsPerVertex];
        glTexCoord2f(vertex[0], vertex[1]);
        glVertex3f(vertex[2], vertex[3], vertex[4]);
    }
    glEnd();
}

void COnScreenDisplay::finishDrawing() {
    shaderBind(0);
    texBind(0, 0);
    glSetInt(kDepthTest, 1);
}
