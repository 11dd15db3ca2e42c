// The on-screen display: what the program itself shows, apart from scenes.
// While scene lists load it draws the logo over a progress bar, which fades
// out during the first second of play; at any time it draws a column of
// coloured messages in the top-left corner (level-4 log lines and the script's
// printOSD), each for ten seconds of playing time. Messages do not age while
// no scene plays, so a message shown over the idle screen stays readable.
//
// Message bookkeeping (addMessage, advance) needs no GL; the drawing calls
// need a current context and initialise() first. Without its shaders (a base
// directory without content) it draws through the fixed-function pipeline
// instead, so the logo and the capability messages still show.
#pragma once

#include <string>
#include <vector>

class SceneTextures;

class COnScreenDisplay {
public:
    static constexpr float kMessageLife = 10.0f;
    static constexpr int kInitialVertices = 1024;

    struct Message {
        std::string text;  // without its colour prefixes
        float age = 0.0f;  // playing seconds since it arrived
        float red = 1.0f, green = 1.0f, blue = 1.0f;
    };

    COnScreenDisplay() = default;
    ~COnScreenDisplay();
    COnScreenDisplay(const COnScreenDisplay&) = delete;
    COnScreenDisplay& operator=(const COnScreenDisplay&) = delete;

    // Loads the logo and font (owner "__OSD__") through `textures`, which
    // must outlive the display, builds both shaders and the vertex buffer.
    void initialise(SceneTextures& textures);
    // Frees what initialise() made; safe when it was not called.
    void release();

    // Takes the colour prefixes off `text` and appends the message.
    void addMessage(const std::string& text);

    // Logo and progress bar at `fraction` (0 to 1) in a viewport of
    // width x height pixels.
    void drawProgress(float fraction, int width, int height);
    // The idle screen: the logo alone, centred.
    void drawLogo(int width, int height);
    // Every running frame: advance(), then the fading progress screen and the
    // messages that are left, one line each from the top-left corner.
    void drawMessages(float timePass, bool scenesPlaying, int width, int height);
    // The bookkeeping half of drawMessages, without GL: the progress screen
    // fades by `timePass`; messages age by it only when `scenesPlaying` and
    // are removed once kMessageLife old.
    void advance(float timePass, bool scenesPlaying);

    // The opacity a message of this age is drawn with: 1, falling to 0 over
    // its last second.
    static float messageAlpha(float age);

    const std::vector<Message>& messages() const { return messages_; }
    float progressOpacity() const { return progressOpacity_; }
    // Vertices the buffer holds now (grows for long lines).
    int vertexCapacity() const { return vertexCapacity_; }

    // The advance width of character `c` in 32nds of a glyph cell.
    static int characterWidth(unsigned char c);

private:
    void setScreenSpace(int width, int height);
    void drawProgressScreen(float fraction, float opacity);
    void drawText(const std::string& text, float x, float y);
    // Binds the textured or plain program (or none: fixed function) and texture.
    void useProgram(bool textured, int texture);
    void setColour(float red, float green, float blue, float alpha);
    void addQuad(float x0, float y0, float x1, float y1, float u0, float v0, float u1, float v1);
    void drawQuad(float x0, float y0, float x1, float y1);
    // Copies scratch_ into the vertex buffer, growing it when too small, and
    // returns the number of vertices.
    int upload();
    // Draws that many vertices as triangles: from the buffer through the
    // bound program, or straight from scratch_ without one.
    void render(int count);
    void finishDrawing();

    SceneTextures* textures_ = nullptr;
    int logoTexture_ = 0;
    int fontTexture_ = 0;
    unsigned texturedShader_ = 0;
    unsigned plainShader_ = 0;
    int vertexBuffer_ = -1;
    int vertexCapacity_ = 0;
    float progressOpacity_ = 1.0f;
    float verticalOffset_ = 0.0f;
    std::vector<Message> messages_;
    bool programBound_ = false;
    std::vector<float> scratch_;  // u, v, x, y, z per vertex
};
