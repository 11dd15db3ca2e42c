// PNG, JPEG and TGA files. See imageFile.h.
//
// Only 8-bit channels are accepted from PNG files: nothing is asked of
// libpng beyond interlace handling, so palettes come out as grey indices and
// 16-bit files are refused by their bytes per pixel.
#include "render/imageFile.h"

#include <cstdio>
#include <cstring>

#include <algorithm>
#include <cctype>
#include <vector>

#include "app/log.h"
#include "render/decoderSetup.h"
#include "render/renderFiles.h"

namespace {

std::string lowerEnding(const char* path) {
    std::string text(path ? path : "");
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

bool endsWith(const std::string& text, const char* ending) {
    size_t length = std::strlen(ending);
    return text.size() >= length && text.compare(text.size() - length, length, ending) == 0;
}

void pngWarning(png_structp, png_const_charp) {}

struct PngShape {
    int width = 0;
    int height = 0;
    size_t rowBytes = 0;
};

// Whole 8-bit pixels of 1 to 4 bytes per row entry, or 0 for any other layout.
int pngBytesPerPixel(const PngShape& shape) {
    if (shape.width <= 0) return 0;
    size_t bytes = shape.rowBytes / static_cast<size_t>(shape.width);
    if (bytes == 0 || bytes >= 5 || shape.rowBytes != static_cast<size_t>(shape.width) * bytes)
        return 0;
    return static_cast<int>(bytes);
}

// The rows of a PNG in one array; false after a libpng error. A file of the
// wrong type comes back true with no rows read, so that its rows are never
// allocated. Every object lives in the caller, so that a jump out of libpng
// skips no destructor.
bool pngReadRows(png_structp png, png_infop info, size_t maxPixels, PngShape* shape,
                 std::vector<uint8_t>* pixels, std::vector<png_bytep>* rows) {
    if (setjmp(png_jmpbuf(png))) {
        Log(LOG_WARNING, "[read_png_file] Error during init_io\n");
        return false;
    }
    png_set_sig_bytes(png, 8);
    png_read_info(png, info);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    shape->width = static_cast<int>(png_get_image_width(png, info));
    shape->height = static_cast<int>(png_get_image_height(png, info));
    shape->rowBytes = png_get_rowbytes(png, info);
    if (!imageWithin(shape->width, shape->height, maxPixels)) png_error(png, "image too large");
    if (pngBytesPerPixel(*shape) == 0) return true;
    pixels->resize(shape->rowBytes * static_cast<size_t>(shape->height));
    rows->resize(static_cast<size_t>(shape->height));
    for (int y = 0; y < shape->height; y++)
        (*rows)[y] = pixels->data() + shape->rowBytes * y;
    if (setjmp(png_jmpbuf(png))) {
        Log(LOG_WARNING, "[read_png_file] Error during read_image\n");
        return false;
    }
    png_read_image(png, rows->data());
    png_read_end(png, nullptr);
    return true;
}

std::unique_ptr<Image> imageFromRows(std::vector<uint8_t>* rows, const PngShape& shape) {
    int bytesPerPixel = pngBytesPerPixel(shape);
    if (bytesPerPixel == 0) {
        Log(LOG_WARNING, "PNG file wrong type (%d bpp)!\n",
            shape.width > 0 ? static_cast<int>(shape.rowBytes / shape.width) : 0);
        return nullptr;
    }
    auto image = std::make_unique<Image>();
    image->width = shape.width;
    image->height = shape.height;
    image->hasAlpha = bytesPerPixel % 2 == 0;
    if (bytesPerPixel >= 3) {
        // Already rows of RGB or RGBA: taken over as they are.
        image->pixels = std::move(*rows);
        return image;
    }
    *image = imageMake(shape.width, shape.height, image->hasAlpha);
    const uint8_t* source = rows->data();
    for (uint8_t* target = image->pixels.data();
         target < image->pixels.data() + image->pixels.size(); source += bytesPerPixel) {
        *target++ = source[0];
        *target++ = source[0];
        *target++ = source[0];
        if (bytesPerPixel == 2) *target++ = source[1];
    }
    return image;
}

// Decodes into `image`; false on any libjpeg error. Kept free of C++
// objects with destructors, since a failure jumps out of it.
bool jpegDecode(const uint8_t* data, size_t length, size_t maxPixels, Image* image) {
    jpeg_decompress_struct info;
    JpegError error;
    jpegSetErrors(&info, &error);
    if (setjmp(error.jump)) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    // Grey files are widened to RGB by the library, so every image has three bytes a pixel.
    if (!jpegStart(&info, data, length, JCS_RGB, 3, maxPixels)) return false;
    image->width = static_cast<int>(info.output_width);
    image->height = static_cast<int>(info.output_height);
    image->hasAlpha = false;
    image->pixels.resize(static_cast<size_t>(image->width) * image->height * 3);
    while (info.output_scanline < info.output_height) {
        JSAMPROW row =
            image->pixels.data() + static_cast<size_t>(info.output_scanline) * image->width * 3;
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return true;
}

std::vector<uint8_t> rgbBytes(const Image& image) {
    Image copy = image;
    imageDropAlpha(&copy);
    return std::move(copy.pixels);
}

bool writePng(FILE* file, const Image& image) {
    std::vector<uint8_t> rgb = rgbBytes(image);
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, pngWarning);
    if (!png) return false;
    png_infop info = png_create_info_struct(png);
    std::vector<png_bytep> rows(static_cast<size_t>(image.height));
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, info ? &info : nullptr);
        return false;
    }
    png_init_io(png, file);
    png_set_IHDR(png, info, image.width, image.height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < image.height; y++)
        rows[y] = rgb.data() + static_cast<size_t>(y) * image.width * 3;
    png_write_image(png, rows.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

bool writeTga(FILE* file, const Image& image) {
    uint8_t header[18] = {0};
    header[2] = 2;
    header[12] = static_cast<uint8_t>(image.width);
    header[13] = static_cast<uint8_t>(image.width >> 8);
    header[14] = static_cast<uint8_t>(image.height);
    header[15] = static_cast<uint8_t>(image.height >> 8);
    header[16] = 24;
    header[17] = 0x20;
    std::vector<uint8_t> pixels = rgbBytes(image);
    for (size_t i = 0; i + 2 < pixels.size(); i += 3)
        std::swap(pixels[i], pixels[i + 2]);
    return std::fwrite(header, 1, sizeof(header), file) == sizeof(header) &&
           std::fwrite(pixels.data(), 1, pixels.size(), file) == pixels.size();
}

}  // namespace

std::unique_ptr<Image> imageDecodePng(const uint8_t* data, size_t length, const char* name,
                                      size_t maxPixels) {
    if (!data || length < 8) return nullptr;
    if (png_sig_cmp(data, 0, 8) != 0) {
        Log(LOG_WARNING, "[read_png_file] File %s is not recognized as a PNG file\n", name);
        return nullptr;
    }
    PngSource source{data, length, 8};
    png_structp png = pngCreateReader(&source, nullptr, pngWarning);
    if (!png) {
        Log(LOG_WARNING, "[read_png_file] png_create_read_struct failed\n");
        return nullptr;
    }
    png_infop info = png_create_info_struct(png);
    if (!info) {
        Log(LOG_WARNING, "[read_png_file] png_create_info_struct failed\n");
        png_destroy_read_struct(&png, nullptr, nullptr);
        return nullptr;
    }
    std::vector<uint8_t> rows;
    std::vector<png_bytep> rowPointers;
    PngShape shape;
    bool read = pngReadRows(png, info, maxPixels, &shape, &rows, &rowPointers);
    png_destroy_read_struct(&png, &info, nullptr);
    if (!read) return nullptr;
    return imageFromRows(&rows, shape);
}

std::unique_ptr<Image> imageDecodeJpeg(const uint8_t* data, size_t length, size_t maxPixels) {
    if (!data || length == 0) return nullptr;
    auto image = std::make_unique<Image>();
    if (!jpegDecode(data, length, maxPixels, image.get())) return nullptr;
    return image;
}

std::unique_ptr<Image> imageLoad(const char* path) {
    std::string lower = lowerEnding(path);
    bool png = endsWith(lower, ".png");
    bool jpeg = endsWith(lower, ".jpg") || endsWith(lower, ".jpeg");
    if (!png && !jpeg) return nullptr;
    uint32_t length = 0;
    char* data = renderFileLoad(path, &length);
    if (!data) return nullptr;
    const auto* bytes = reinterpret_cast<const uint8_t*>(data);
    std::unique_ptr<Image> image =
        png ? imageDecodePng(bytes, length, path) : imageDecodeJpeg(bytes, length);
    renderFileFree(data);
    return image;
}

bool imageSave(const char* path, const Image& image) {
    std::string lower = lowerEnding(path);
    bool png = endsWith(lower, ".png");
    if (!png && !endsWith(lower, ".tga")) return false;
    FILE* file = std::fopen(path, "wb");
    if (!file) return false;
    bool written = png ? writePng(file, image) : writeTga(file, image);
    return std::fclose(file) == 0 && written;
}
