// Image tweak scripts. See imageTweak.h.
#include "render/cache/imageTweak.h"

#include <cmath>
#include <cstdint>

#include "app/log.h"
#include "js/engine.h"
#include "render/image.h"

namespace {

// A tweak is a line or two of code; a script that loops for long would hold
// up the loader (and with it the shutdown of the cache), so its budget is far
// below the control script's.
constexpr int64_t kTweakWorkBudget = 1000000;
// Larger results could not be uploaded anyway and would exhaust memory first.
constexpr int64_t kMaxPixels = 1 << 26;

// What one run may still do: every operation is charged the pixels it reads
// and writes, so that a short loop of large operations cannot hold the
// loader for minutes either (a few seconds' work at most).
struct TweakRun {
    Image* image;
    int64_t pixelsLeft;
};

void charge(TweakRun& run, int64_t pixels) {
    if (pixels > run.pixelsLeft) throw CScriptException("image tweak work limit");
    run.pixelsLeft -= pixels;
}

int64_t area(const Image& image) {
    return static_cast<int64_t>(image.width) * image.height;
}

// The image of a run, after charging the run for one pass over it and
// `extraPixels` more.
Image& imageOf(void* data, int64_t extraPixels = 0) {
    TweakRun& run = *static_cast<TweakRun*>(data);
    charge(run, area(*run.image) + extraPixels);
    return *run.image;
}
int intArgument(CJsValue* scope, const char* name) {
    return scope->argument(name)->asInt();
}
// Script numbers become matrix coefficients in 1/256 units, truncated toward zero.
int coefficient(double value) {
    double scaled = std::trunc(value * 256.0);
    if (!(scaled == scaled)) return 0;
    if (scaled > 1e9) return 1000000000;
    if (scaled < -1e9) return -1000000000;
    return static_cast<int>(scaled);
}
void checkSize(int width, int height) {
    if (width < 1 || height < 1 || static_cast<int64_t>(width) * height > kMaxPixels)
        throw CScriptException("image size " + std::to_string(width) + "x" +
                               std::to_string(height) + " out of range");
}

// The colour matrix whose three colour rows are `rows` (m0..m2, m5..m7,
// m10..m12), alpha kept (m18 = 256).
void applyColourRows(Image& image, const int rows[9]) {
    int m[20] = {};
    for (int row = 0; row < 3; row++)
        for (int column = 0; column < 3; column++)
            m[row * 5 + column] = rows[row * 3 + column];
    m[18] = 256;
    imageColourMatrix(&image, m);
}

void resize(CJsValue* scope, void* data) {
    int width = intArgument(scope, "width");
    int height = intArgument(scope, "height");
    checkSize(width, height);
    imageResizeCanvas(&imageOf(data, static_cast<int64_t>(width) * height), width, height,
                      static_cast<uint32_t>(intArgument(scope, "col")));
}

void scale(CJsValue* scope, void* data) {
    int width = intArgument(scope, "width");
    int height = intArgument(scope, "height");
    checkSize(width, height);
    imageScale(&imageOf(data, static_cast<int64_t>(width) * height), width, height);
}

void matrix(CJsValue* scope, void* data) {
    static const char* const kNames[20] = {"a", "b", "c", "d", "e", "f", "g", "h", "i", "j",
                                           "k", "l", "m", "n", "o", "p", "q", "r", "s", "t"};
    int m[20];
    for (int i = 0; i < 20; i++)
        m[i] = coefficient(scope->argument(kNames[i])->asDouble());
    imageColourMatrix(&imageOf(data), m);
}

void hue(CJsValue* scope, void* data) {
    int v = coefficient(scope->argument("h")->asDouble());
    int a = v > 0 ? v : 0;
    int b = v > 0 ? 0 : -v;
    int c = v > 0 ? 256 - v : 256 + v;
    const int rows[9] = {c, a, b, b, c, a, a, b, c};
    applyColourRows(imageOf(data), rows);
}

void blurWith(Image& image, int radius, bool r, bool g, bool b, bool a) {
    const bool channels[4] = {r, g, b, a};
    imageBoxBlur(&image, radius, channels);
}

void blur(CJsValue* scope, void* data) {
    blurWith(imageOf(data), intArgument(scope, "radius"), true, true, true, true);
}

void blurCh(CJsValue* scope, void* data) {
    blurWith(imageOf(data), intArgument(scope, "radius"), intArgument(scope, "r") != 0,
             intArgument(scope, "g") != 0, intArgument(scope, "b") != 0,
             intArgument(scope, "a") != 0);
}

void atoc(CJsValue*, void* data) {
    imageAlphaToColour(&imageOf(data));
}

void grey(CJsValue*, void* data) {
    const int rows[9] = {85, 85, 85, 85, 85, 85, 85, 85, 85};
    applyColourRows(imageOf(data), rows);
}

void noalpha(CJsValue*, void* data) {
    imageDropAlpha(&imageOf(data));
}

int channel(int colour, int shift) {
    return (static_cast<uint32_t>(colour) >> shift) & 0xFF;
}

void remapRGB(CJsValue* scope, void* data) {
    int r = intArgument(scope, "r");
    int g = intArgument(scope, "g");
    int b = intArgument(scope, "b");
    const int rows[9] = {channel(r, 16), channel(g, 16), channel(b, 16),
                         channel(r, 8),  channel(g, 8),  channel(b, 8),
                         channel(r, 0),  channel(g, 0),  channel(b, 0)};
    applyColourRows(imageOf(data), rows);
}

void flip(CJsValue*, void* data) {
    imageFlip(&imageOf(data));
}

struct TweakNative {
    const char* signature;
    JsCallback callback;
};

const TweakNative kNatives[] = {
    {"function resize(width,height,col)", resize},
    {"function scale(width,height)", scale},
    {"function matrix(a,b,c,d,e,f,g,h,i,j,k,l,m,n,o,p,q,r,s,t)", matrix},
    {"function hue(h)", hue},
    {"function blur(radius)", blur},
    {"function blurCh(radius,r,g,b,a)", blurCh},
    {"function atoc()", atoc},
    {"function grey()", grey},
    {"function noalpha()", noalpha},
    {"function remapRGB(r,g,b)", remapRGB},
    {"function flip()", flip},
};

void runInEngine(Image* image, const std::string& script, int64_t pixelAllowance) {
    TweakRun run{image, pixelAllowance};
    CJsEngine engine;
    engine.setWorkBudget(kTweakWorkBudget);
    engine.setOutput([](const std::string& text) { Log(LOG_INFO, "%s", text.c_str()); });
    for (const TweakNative& native : kNatives)
        engine.registerNative(native.signature, native.callback, &run);
    engine.root()->setChild("width", new CJsValue(image->width));
    engine.root()->setChild("height", new CJsValue(image->height));
    engine.root()->setChild("bpp", new CJsValue(image->bytesPerPixel()));
    engine.runScript(script.back() == ';' ? script : script + ";");
}

}  // namespace

void imageTweakRun(Image* image, const std::string& script, int64_t pixelAllowance) {
    if (script.empty()) return;
    try {
        runInEngine(image, script, pixelAllowance);
    } catch (const CScriptException& error) {
        Log(LOG_WARNING, "ImageTweak JS Error: %s\n", error.text.c_str());
    }
}
