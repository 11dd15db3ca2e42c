// Image operations. See image.h.
#include "render/image.h"

#include <algorithm>

namespace {

uint8_t clampByte(int value) {
    return static_cast<uint8_t>(std::clamp(value, 0, 255));
}

// Division by 256 rounding toward minus infinity, whatever the compiler does
// with a right shift of a negative number.
int shiftDown(int64_t value) {
    return static_cast<int>(value >= 0 ? value / 256 : -((-value + 255) / 256));
}

// Running-window averages of one line of `count` values spaced `stride`
// bytes apart: position j averages j - radius + 1 .. j + radius inside the line.
void blurLine(const uint8_t* source, uint8_t* destination, int count, size_t stride, int radius,
              std::vector<int64_t>* prefix) {
    prefix->assign(static_cast<size_t>(count) + 1, 0);
    for (int i = 0; i < count; i++)
        (*prefix)[i + 1] = (*prefix)[i] + source[i * stride];
    // In 64 bits: a script may ask for any radius, and j + radius must not wrap.
    for (int j = 0; j < count; j++) {
        int64_t low = std::max<int64_t>(0, int64_t(j) - radius + 1);
        int64_t high = std::min<int64_t>(count - 1, int64_t(j) + radius);
        int64_t sum = (*prefix)[high + 1] - (*prefix)[low];
        destination[j * stride] = static_cast<uint8_t>(sum / (high - low + 1));
    }
}

}  // namespace

Image imageMake(int width, int height, bool hasAlpha) {
    Image image;
    image.width = std::max(width, 0);
    image.height = std::max(height, 0);
    image.hasAlpha = hasAlpha;
    image.pixels.assign(static_cast<size_t>(image.width) * image.height * image.bytesPerPixel(), 0);
    return image;
}

void imageFlip(Image* image) {
    size_t rowBytes = static_cast<size_t>(image->width) * image->bytesPerPixel();
    std::vector<uint8_t> flipped(image->pixels.size());
    for (int y = 0; y < image->height; y++)
        std::copy_n(&image->pixels[y * rowBytes], rowBytes,
                    &flipped[(image->height - 1 - y) * rowBytes]);
    image->pixels.swap(flipped);
}

void imageScale(Image* image, int width, int height) {
    if (width <= 0 || height <= 0) return;
    Image scaled = imageMake(width, height, image->hasAlpha);
    int bytes = image->bytesPerPixel();
    for (int y = 0; y < height; y++) {
        int sourceY = static_cast<int>(static_cast<int64_t>(y) * image->height / height);
        for (int x = 0; x < width; x++) {
            int sourceX = static_cast<int>(static_cast<int64_t>(x) * image->width / width);
            std::copy_n(image->pixel(sourceX, sourceY), bytes, scaled.pixel(x, y));
        }
    }
    *image = std::move(scaled);
}

void imageResizeCanvas(Image* image, int width, int height, uint32_t colour) {
    Image canvas = imageMake(width, height, image->hasAlpha);
    int bytes = image->bytesPerPixel();
    const uint8_t fill[4] = {static_cast<uint8_t>(colour >> 16), static_cast<uint8_t>(colour >> 8),
                             static_cast<uint8_t>(colour), static_cast<uint8_t>(colour >> 24)};
    for (int y = 0; y < canvas.height; y++)
        for (int x = 0; x < canvas.width; x++)
            std::copy_n(fill, bytes, canvas.pixel(x, y));
    int left = (canvas.width - image->width) / 2;
    int top = (canvas.height - image->height) / 2;
    for (int y = 0; y < image->height; y++) {
        int targetY = y + top;
        if (targetY < 0 || targetY >= canvas.height) continue;
        for (int x = 0; x < image->width; x++) {
            int targetX = x + left;
            if (targetX < 0 || targetX >= canvas.width) continue;
            std::copy_n(image->pixel(x, y), bytes, canvas.pixel(targetX, targetY));
        }
    }
    *image = std::move(canvas);
}

void imageAddAlpha(Image* image) {
    if (image->hasAlpha) return;
    Image result = imageMake(image->width, image->height, true);
    size_t count = static_cast<size_t>(image->width) * image->height;
    for (size_t i = 0; i < count; i++) {
        std::copy_n(&image->pixels[i * 3], 3, &result.pixels[i * 4]);
        result.pixels[i * 4 + 3] = 255;
    }
    *image = std::move(result);
}

void imageDropAlpha(Image* image) {
    if (!image->hasAlpha) return;
    Image result = imageMake(image->width, image->height, false);
    size_t count = static_cast<size_t>(image->width) * image->height;
    for (size_t i = 0; i < count; i++)
        std::copy_n(&image->pixels[i * 4], 3, &result.pixels[i * 3]);
    *image = std::move(result);
}

void imageColourMatrix(Image* image, const int m[20]) {
    bool alphaChanges = m[15] || m[16] || m[17] || (m[18] != 256 && m[19] != 256);
    if (!image->hasAlpha && alphaChanges) imageAddAlpha(image);
    size_t count = static_cast<size_t>(image->width) * image->height;
    int bytes = image->bytesPerPixel();
    for (size_t i = 0; i < count; i++) {
        uint8_t* p = &image->pixels[i * bytes];
        int64_t r = p[0], g = p[1], b = p[2];
        if (image->hasAlpha) {
            int64_t a = p[3];
            p[0] = clampByte(shiftDown(r * m[0] + g * m[1] + b * m[2] + a * m[3]) + m[4]);
            p[1] = clampByte(shiftDown(r * m[5] + g * m[6] + b * m[7] + a * m[8]) + m[9]);
            p[2] = clampByte(shiftDown(r * m[10] + g * m[11] + b * m[12] + a * m[13]) + m[14]);
            p[3] = clampByte(shiftDown(r * m[15] + g * m[16] + b * m[17] + a * m[18]) + m[19]);
        } else {
            p[0] = clampByte(shiftDown(r * m[0] + g * m[1] + b * m[2]) + m[3] + m[4]);
            p[1] = clampByte(shiftDown(r * m[5] + g * m[6] + b * m[7]) + m[8] + m[9]);
            p[2] = clampByte(shiftDown(r * m[10] + g * m[11] + b * m[12]) + m[13] + m[14]);
        }
    }
}

void imageBoxBlur(Image* image, int radius, const bool channels[4]) {
    // A radius below 1 leaves an empty window: nothing to average.
    if (radius < 1 || image->width <= 0 || image->height <= 0) return;
    int bytes = image->bytesPerPixel();
    size_t rowBytes = static_cast<size_t>(image->width) * bytes;
    std::vector<uint8_t> temporary = image->pixels;
    std::vector<int64_t> prefix;
    for (int c = 0; c < bytes; c++) {
        if (!channels[c]) continue;
        for (int y = 0; y < image->height; y++)
            blurLine(&image->pixels[y * rowBytes + c], &temporary[y * rowBytes + c], image->width,
                     bytes, radius, &prefix);
    }
    for (int c = 0; c < bytes; c++) {
        if (!channels[c]) {
            for (size_t i = c; i < temporary.size(); i += bytes)
                image->pixels[i] = temporary[i];
            continue;
        }
        for (int x = 0; x < image->width; x++)
            blurLine(&temporary[x * bytes + c], &image->pixels[x * bytes + c], image->height,
                     rowBytes, radius, &prefix);
    }
}

void imageAlphaToColour(Image* image) {
    int bytes = image->bytesPerPixel();
    for (size_t i = 0; i < image->pixels.size(); i += bytes) {
        uint8_t alpha = image->hasAlpha ? image->pixels[i + 3] : 255;
        image->pixels[i] = image->pixels[i + 1] = image->pixels[i + 2] = alpha;
    }
}
