// Arbitrary text as an image tweak script, run on a small image the way the
// texture cache runs the text after the ";" of a texture name. No script may
// crash the run, make the sanitizers report anything, leave an image whose
// pixel array does not match its size and format.
//
// Input layout: byte 0 picks the image (bits 0-3: width - 1, bits 4-6:
// height - 1, bit 7: alpha), the rest is the script.
//
// The image operations are wrapped at link time (--wrap, see CMakeLists.txt):
// an image a script makes may be at most 64 x 64 pixels, and one run may
// touch at most a few hundred thousand pixels. Past either bound the wrapper
// throws the script error that an oversized image gets anyway. The script's
// start is wrapped too, to lower the engine's work budget from what a real
// texture gets to what a few loops need, so a run stays well under a
// millisecond whatever the script does.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "js/engine.h"
#include "js/value.h"
#include "render/cache/imageTweak.h"
#include "render/image.h"

namespace {

// Tweak scripts are a call or two; longer texts only repeat what short ones do.
constexpr size_t kMaxInput = 1024;
constexpr int64_t kMaxPixels = 64 * 64;
constexpr int64_t kPixelBudget = 64 * kMaxPixels;
// Loop passes and calls of one run.
constexpr int64_t kWorkBudget = 200;

int64_t pixelsTouched = 0;

void check(bool condition) {
    if (!condition) std::abort();
}

void charge(int64_t pixels) {
    pixelsTouched += pixels;
    if (pixelsTouched > kPixelBudget) throw CScriptException("fuzz pixel budget spent");
}

void chargeSize(int width, int height) {
    if (static_cast<int64_t>(width) * height > kMaxPixels)
        throw CScriptException("image larger than the fuzz limit");
    charge(static_cast<int64_t>(width) * height);
}

int64_t area(const Image* image) {
    return static_cast<int64_t>(image->width) * image->height;
}

Image makeImage(uint8_t shape) {
    Image image = imageMake((shape & 15) + 1, ((shape >> 4) & 7) + 1, (shape & 128) != 0);
    for (size_t i = 0; i < image.pixels.size(); i++)
        image.pixels[i] = static_cast<uint8_t>(i * 37 + 11);
    return image;
}

void checkShape(const Image& image) {
    check(image.width >= 1 && image.height >= 1 && area(&image) <= kMaxPixels);
    check(image.pixels.size() == static_cast<size_t>(area(&image)) * image.bytesPerPixel());
}

void runOnce(uint8_t shape, const std::string& script) {
    Image image = makeImage(shape);
    pixelsTouched = 0;
    imageTweakRun(&image, script);
    checkShape(image);
}

}  // namespace

// The link-time wrappers of the image operations that tweak scripts reach.
extern "C" {
void __real__Z10imageScaleP5Imageii(Image*, int, int);
void __real__Z17imageResizeCanvasP5Imageiij(Image*, int, int, uint32_t);
void __real__Z17imageColourMatrixP5ImagePKi(Image*, const int*);
void __real__Z12imageBoxBlurP5ImageiPKb(Image*, int, const bool*);
void __real__Z18imageAlphaToColourP5Image(Image*);
void __real__Z14imageDropAlphaP5Image(Image*);
void __real__Z9imageFlipP5Image(Image*);
void __real__ZN9CJsEngine9runScriptERKNSt7__cxx1112basic_stringIcSt11char_traitsIcESaIcEEE(
    CJsEngine*, const std::string&);

void __wrap__ZN9CJsEngine9runScriptERKNSt7__cxx1112basic_stringIcSt11char_traitsIcESaIcEEE(
    CJsEngine* engine, const std::string& code) {
    engine->setWorkBudget(kWorkBudget);
    __real__ZN9CJsEngine9runScriptERKNSt7__cxx1112basic_stringIcSt11char_traitsIcESaIcEEE(engine,
                                                                                          code);
}

void __wrap__Z10imageScaleP5Imageii(Image* image, int width, int height) {
    chargeSize(width, height);
    __real__Z10imageScaleP5Imageii(image, width, height);
}
void __wrap__Z17imageResizeCanvasP5Imageiij(Image* image, int width, int height, uint32_t colour) {
    chargeSize(width, height);
    __real__Z17imageResizeCanvasP5Imageiij(image, width, height, colour);
}
void __wrap__Z17imageColourMatrixP5ImagePKi(Image* image, const int* matrix) {
    charge(area(image));
    __real__Z17imageColourMatrixP5ImagePKi(image, matrix);
}
void __wrap__Z12imageBoxBlurP5ImageiPKb(Image* image, int radius, const bool* channels) {
    charge(2 * area(image));
    __real__Z12imageBoxBlurP5ImageiPKb(image, radius, channels);
}
void __wrap__Z18imageAlphaToColourP5Image(Image* image) {
    charge(area(image));
    __real__Z18imageAlphaToColourP5Image(image);
}
void __wrap__Z14imageDropAlphaP5Image(Image* image) {
    charge(area(image));
    __real__Z14imageDropAlphaP5Image(image);
}
void __wrap__Z9imageFlipP5Image(Image* image) {
    charge(area(image));
    __real__Z9imageFlipP5Image(image);
}
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1 || size > kMaxInput) return 0;
    const std::string script(reinterpret_cast<const char*>(data) + 1, size - 1);
    runOnce(data[0], script);
    return 0;
}
