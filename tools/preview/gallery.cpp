// vortalis-gallery: one thumbnail of every scene of a content folder, each
// written by vortalis-preview (so it shows exactly what the preview shows),
// laid out on one contact sheet with the scene's name and themes under it.
//
//     vortalis-gallery --preview EXE --base DIR --lists DIR --font FONT.png
//                      --out SHEET.png [--size WxH] [--frames N] [--columns C]
//
// --lists is the folder of scene-list sources (content/default/scenes); the
// scenes are played from the archives in --base. Scenes that compose
// children are left out. The names are drawn with the program's own font
// sheet (16 x 16 glyph cells, the glyph in the alpha channel). Exit status 0
// when every thumbnail was made, 1 when one failed (its place on the sheet
// says so and the sheet is still written), 2 for a bad command line.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "render/imageFile.h"
#include "tools/preview/sceneCatalogue.h"

namespace {

struct Options {
    std::string preview;
    std::string base;
    std::string lists;
    std::string font;
    std::string out;
    int width = 256;
    int height = 144;
    int frames = 240;
    int columns = 5;
};

constexpr int kPadding = 6;
constexpr int kLabelHeight = 20;
constexpr uint8_t kBackground[3] = {16, 16, 20};

std::unique_ptr<Image> readPng(const std::string& path) {
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return nullptr;
    std::vector<uint8_t> bytes;
    uint8_t buffer[65536];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0)
        bytes.insert(bytes.end(), buffer, buffer + n);
    std::fclose(file);
    return imageDecodePng(bytes.data(), bytes.size(), path.c_str());
}

// Single quotes for the shell, so that any path survives.
std::string quoted(const std::string& text) {
    std::string out = "'";
    for (char c : text)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

// Writes text at half the font's size with its top-left corner at (x, y),
// blending `colour` by the glyphs' alpha; returns the x after the text.
int drawText(Image& sheet, const Image& font, const std::string& text, int x, int y,
             const uint8_t colour[3]) {
    const int cell = font.width / 16;
    for (unsigned char c : text) {
        int cx = (c % 16) * cell;
        int cy = (c / 16) * cell;
        int left = cell;
        int right = -1;
        for (int gy = 0; gy < cell; ++gy)
            for (int gx = 0; gx < cell; ++gx)
                if (font.pixel(cx + gx, cy + gy)[3] > 32) {
                    left = std::min(left, gx);
                    right = std::max(right, gx);
                }
        if (right < left) {  // a blank glyph: a space
            x += cell / 4;
            continue;
        }
        for (int gy = 0; gy + 1 < cell; gy += 2)
            for (int gx = left; gx <= right; gx += 2) {
                int alpha = 0;
                for (int k = 0; k < 4; ++k)
                    alpha += font.pixel(cx + gx + k % 2, cy + gy + k / 2)[3];
                int px = x + (gx - left) / 2;
                int py = y + gy / 2;
                if (px < 0 || py < 0 || px >= sheet.width || py >= sheet.height) continue;
                uint8_t* p = sheet.pixel(px, py);
                for (int i = 0; i < 3; ++i)
                    p[i] = static_cast<uint8_t>((p[i] * (1020 - alpha) + colour[i] * alpha) / 1020);
            }
        x += (right - left) / 2 + 2;
    }
    return x;
}

bool parse(int argc, char** argv, Options& options) {
    for (int i = 1; i + 1 < argc; i += 2) {
        std::string key = argv[i];
        std::string value = argv[i + 1];
        if (key == "--preview")
            options.preview = value;
        else if (key == "--base")
            options.base = value;
        else if (key == "--lists")
            options.lists = value;
        else if (key == "--font")
            options.font = value;
        else if (key == "--out")
            options.out = value;
        else if (key == "--size") {
            if (std::sscanf(value.c_str(), "%dx%d", &options.width, &options.height) != 2)
                return false;
        } else if (key == "--frames")
            options.frames = std::atoi(value.c_str());
        else if (key == "--columns")
            options.columns = std::atoi(value.c_str());
        else
            return false;
    }
    return argc % 2 == 1 && !options.preview.empty() && !options.base.empty() &&
           !options.lists.empty() && !options.out.empty() && options.width > 0 &&
           options.height > 0 && options.frames > 0 && options.columns > 0;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!parse(argc, argv, options)) {
        std::fprintf(
            stderr,
            "usage: vortalis-gallery --preview EXE --base DIR --lists DIR --font FONT.png\n"
            "                        --out SHEET.png [--size WxH] [--frames N] "
            "[--columns C]\n");
        return 2;
    }
    std::vector<CatalogueScene> scenes = scenesWithPictures(readSceneCatalogue(options.lists));
    if (scenes.empty()) {
        std::fprintf(stderr, "vortalis-gallery: no scenes in '%s'\n", options.lists.c_str());
        return 1;
    }
    std::unique_ptr<Image> font = options.font.empty() ? nullptr : readPng(options.font);
    if (font && (!font->hasAlpha || font->width != font->height)) font.reset();

    char scratch[] = "/tmp/vortalis-gallery-XXXXXX";
    if (!mkdtemp(scratch)) {
        std::perror("vortalis-gallery");
        return 1;
    }
    int columns = std::min(options.columns, static_cast<int>(scenes.size()));
    int rows = (static_cast<int>(scenes.size()) + columns - 1) / columns;
    int cellWidth = options.width + kPadding;
    int cellHeight = options.height + kLabelHeight + kPadding;
    Image sheet = imageMake(columns * cellWidth + kPadding, rows * cellHeight + kPadding, false);
    for (size_t i = 0; i < sheet.pixels.size(); ++i)
        sheet.pixels[i] = kBackground[i % 3];

    int failures = 0;
    for (size_t n = 0; n < scenes.size(); ++n) {
        const CatalogueScene& scene = scenes[n];
        std::string shot = std::string(scratch) + "/" + std::to_string(n) + ".png";
        std::string command = quoted(options.preview) + " --base " + quoted(options.base) +
                              " --size " + std::to_string(options.width) + "x" +
                              std::to_string(options.height) + " --frames " +
                              std::to_string(options.frames) + " --shot " + quoted(shot) + " " +
                              quoted(scene.id) + " > /dev/null";
        std::unique_ptr<Image> thumb = std::system(command.c_str()) == 0 ? readPng(shot) : nullptr;
        std::remove(shot.c_str());
        int x0 = kPadding + static_cast<int>(n % columns) * cellWidth;
        int y0 = kPadding + static_cast<int>(n / columns) * cellHeight;
        bool fits = thumb && thumb->width == options.width && thumb->height == options.height;
        if (!fits) {
            std::fprintf(stderr, "vortalis-gallery: no thumbnail of '%s'\n", scene.id.c_str());
            ++failures;
        }
        for (int y = 0; y < options.height; ++y)
            for (int x = 0; x < options.width; ++x) {
                uint8_t* to = sheet.pixel(x0 + x, y0 + y);
                const uint8_t* from = fits ? thumb->pixel(x, y) : nullptr;
                for (int i = 0; i < 3; ++i)
                    to[i] = from ? from[i] : 60;
            }
        if (font) {
            static const uint8_t name[3] = {235, 235, 240};
            static const uint8_t themes[3] = {130, 130, 150};
            int x = drawText(sheet, *font, fits ? scene.id : scene.id + " (failed)", x0 + 2,
                             y0 + options.height + 2, name);
            drawText(sheet, *font, scene.styles, x + 8, y0 + options.height + 2, themes);
        }
    }
    rmdir(scratch);
    if (!imageSave(options.out.c_str(), sheet)) {
        std::fprintf(stderr, "vortalis-gallery: cannot write '%s'\n", options.out.c_str());
        return 1;
    }
    std::printf("%zu scenes on %s\n", scenes.size(), options.out.c_str());
    return failures ? 1 : 0;
}
