// The in-memory image of the rendering services (8-bit RGB or RGBA rows,
// first row first) and the operations that texture uploads and image tweak
// scripts apply to it. Every operation replaces the pixel array.
//
// Nothing here touches GL or files, so it runs on the texture loader thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

struct Image {
    std::vector<uint8_t> pixels;
    bool hasAlpha = false;
    int width = 0;
    int height = 0;

    int bytesPerPixel() const { return hasAlpha ? 4 : 3; }
    uint8_t* pixel(int x, int y) {
        return &pixels[(static_cast<size_t>(y) * width + x) * bytesPerPixel()];
    }
    const uint8_t* pixel(int x, int y) const {
        return &pixels[(static_cast<size_t>(y) * width + x) * bytesPerPixel()];
    }
};

// A zero-filled image of the size.
Image imageMake(int width, int height, bool hasAlpha);

// Reverses the order of the rows.
void imageFlip(Image* image);
// Nearest-sample scale to width x height (both above 0; otherwise unchanged).
void imageScale(Image* image, int width, int height);
// A width x height canvas of `colour` (0xAARRGGBB; alpha used only when the
// image has alpha) with the old image centred on it and cut at the edges.
void imageResizeCanvas(Image* image, int width, int height, uint32_t colour);
void imageAddAlpha(Image* image);
void imageDropAlpha(Image* image);
// Colour matrix of 20 integer coefficients in 1/256 units.
void imageColourMatrix(Image* image, const int matrix[20]);
// Two-pass box blur; channels[i] switches channel i (R, G, B, A) on.
void imageBoxBlur(Image* image, int radius, const bool channels[4]);
// R, G and B become the alpha (255 without alpha); alpha is kept.
void imageAlphaToColour(Image* image);
