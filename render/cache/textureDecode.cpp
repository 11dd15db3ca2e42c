// Direct decoding of texture files into RGBA. See textureDecode.h.
//
// The direct decoders never log and never guess: a file they do not take as
// it is (other pixel layouts, damage of any kind) is left to the image file
// decoders, which decide what it yields and what is said about it.
#include "render/cache/textureDecode.h"

#include <cstring>

#include <algorithm>
#include <cctype>

#include "render/decoderSetup.h"
#include "render/imageFile.h"
#include "render/renderFiles.h"

namespace {

bool endsWith(const std::string& text, const char* ending) {
    size_t length = std::strlen(ending);
    if (text.size() < length) return false;
    for (size_t i = 0; i < length; i++)
        if (std::tolower(static_cast<unsigned char>(text[text.size() - length + i])) != ending[i])
            return false;
    return true;
}

// Silent: whatever fails here is decoded again, with messages, by the image
// file decoders.
void pngFail(png_structp png, png_const_charp) {
    png_longjmp(png, 1);
}

// Rows of an 8-bit RGB or RGBA file as RGBA into `pixels`; false for any
// other file or an error. Every object lives in the caller, so that a jump
// out of libpng skips no destructor.
bool pngRgbaRows(png_structp png, png_infop info, std::vector<uint8_t>* pixels,
                 std::vector<png_bytep>* rows, int* width, int* height) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_set_sig_bytes(png, 8);
    png_read_info(png, info);
    int type = png_get_color_type(png, info);
    if (png_get_bit_depth(png, info) != 8 ||
        (type != PNG_COLOR_TYPE_RGB && type != PNG_COLOR_TYPE_RGB_ALPHA))
        return false;
    if (type == PNG_COLOR_TYPE_RGB) png_set_filler(png, 0xff, PNG_FILLER_AFTER);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    *width = static_cast<int>(png_get_image_width(png, info));
    *height = static_cast<int>(png_get_image_height(png, info));
    size_t rowBytes = png_get_rowbytes(png, info);
    if (*width < 1 || *height < 1 || rowBytes != static_cast<size_t>(*width) * 4) return false;
    if (!imageWithin(*width, *height, kImageMaxPixels)) return false;
    pixels->resize(rowBytes * static_cast<size_t>(*height));
    rows->resize(static_cast<size_t>(*height));
    for (int y = 0; y < *height; y++)
        (*rows)[y] = pixels->data() + rowBytes * y;
    png_read_image(png, rows->data());
    png_read_end(png, nullptr);
    return true;
}

// Kept free of C++ objects with destructors, since a failure jumps out of it.
bool jpegRgbaRows(const uint8_t* data, size_t length, std::vector<uint8_t>* pixels,
                  std::vector<JSAMPROW>* rows, int* width, int* height) {
    jpeg_decompress_struct info;
    JpegError error;
    jpegSetErrors(&info, &error);
    if (setjmp(error.jump)) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    // The library writes the filler byte as 255 while converting the colours.
    if (!jpegStart(&info, data, length, JCS_EXT_RGBA, 4, kImageMaxPixels)) return false;
    *width = static_cast<int>(info.output_width);
    *height = static_cast<int>(info.output_height);
    size_t rowBytes = static_cast<size_t>(*width) * 4;
    pixels->resize(rowBytes * static_cast<size_t>(*height));
    rows->resize(static_cast<size_t>(*height));
    for (int y = 0; y < *height; y++)
        (*rows)[y] = pixels->data() + rowBytes * y;
    // As many rows a call as the library will give, not one.
    while (info.output_scanline < info.output_height)
        jpeg_read_scanlines(&info, rows->data() + info.output_scanline,
                            info.output_height - info.output_scanline);
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return true;
}

std::unique_ptr<Image> rgbaImage(std::vector<uint8_t>* pixels, int width, int height) {
    auto image = std::make_unique<Image>();
    image->pixels = std::move(*pixels);
    image->hasAlpha = true;
    image->width = width;
    image->height = height;
    return image;
}

}  // namespace

std::unique_ptr<Image> textureDecodePngRgba(const uint8_t* data, size_t length,
                                            std::vector<uint8_t>* pixels) {
    if (length < 8 || png_sig_cmp(data, 0, 8) != 0) return nullptr;
    PngSource source{data, length, 8};
    png_structp png = pngCreateReader(&source, pngFail, nullptr);
    if (!png) return nullptr;
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        return nullptr;
    }
    std::vector<png_bytep> rows;
    int width = 0;
    int height = 0;
    bool read = pngRgbaRows(png, info, pixels, &rows, &width, &height);
    png_destroy_read_struct(&png, &info, nullptr);
    return read ? rgbaImage(pixels, width, height) : nullptr;
}

std::unique_ptr<Image> textureDecodeJpegRgba(const uint8_t* data, size_t length,
                                             std::vector<uint8_t>* pixels) {
    if (length == 0) return nullptr;
    std::vector<JSAMPROW> rows;
    int width = 0;
    int height = 0;
    if (!jpegRgbaRows(data, length, pixels, &rows, &width, &height)) return nullptr;
    return rgbaImage(pixels, width, height);
}

std::unique_ptr<Image> textureDecode(const std::string& path, bool fourChannels,
                                     std::vector<uint8_t> spare) {
    bool png = endsWith(path, ".png");
    bool jpeg = endsWith(path, ".jpg") || endsWith(path, ".jpeg");
    if (!png && !jpeg) return nullptr;
    uint32_t length = 0;
    std::unique_ptr<char, void (*)(char*)> file(renderFileLoad(path.c_str(), &length),
                                                renderFileFree);
    if (!file) return nullptr;
    const auto* bytes = reinterpret_cast<const uint8_t*>(file.get());
    std::unique_ptr<Image> image;
    if (fourChannels)
        image = png ? textureDecodePngRgba(bytes, length, &spare)
                    : textureDecodeJpegRgba(bytes, length, &spare);
    if (!image)
        image = png ? imageDecodePng(bytes, length, path.c_str()) : imageDecodeJpeg(bytes, length);
    return image;
}
