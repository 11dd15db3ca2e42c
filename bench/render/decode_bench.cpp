// Images per second of PNG and JPEG decoding through the image files code
// beside libpng and libjpeg decoding the same files directly (libpng's
// simplified reader, libjpeg with a memory source). Files are made here.
//
// Usage: render_decode_bench [seconds per case]
#include <png.h>
// jpeglib.h needs FILE and size_t declared first.
#include <jpeglib.h>
#include <cstdio>
#include <cstdlib>

#include <algorithm>
#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "bench/support/imageEncode.h"
#include "render/imageFile.h"

namespace {

constexpr int kSize = 512;

std::vector<uint8_t> picture() {
    std::vector<uint8_t> rgb(kSize * kSize * 3);
    for (int y = 0; y < kSize; y++)
        for (int x = 0; x < kSize; x++) {
            uint8_t* p = &rgb[(y * kSize + x) * 3];
            p[0] = static_cast<uint8_t>(x ^ y);
            p[1] = static_cast<uint8_t>(x * 3 + y);
            p[2] = static_cast<uint8_t>((x * y) >> 6);
        }
    return rgb;
}

// Each peer decode makes a new pixel array, as every decode through the
// image files code does.
bool libpngDecode(const std::string& file, std::vector<uint8_t>* out) {
    out->clear();
    out->shrink_to_fit();
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, file.data(), file.size())) return false;
    image.format = PNG_FORMAT_RGB;
    out->resize(PNG_IMAGE_SIZE(image));
    return png_image_finish_read(&image, nullptr, out->data(), 0, nullptr) != 0;
}

bool libjpegDecode(const std::string& file, std::vector<uint8_t>* out) {
    out->clear();
    out->shrink_to_fit();
    jpeg_decompress_struct info;
    jpeg_error_mgr error;
    info.err = jpeg_std_error(&error);
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, reinterpret_cast<const unsigned char*>(file.data()), file.size());
    jpeg_read_header(&info, TRUE);
    jpeg_start_decompress(&info);
    out->resize(static_cast<size_t>(info.output_width) * info.output_height * 3);
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = &(*out)[static_cast<size_t>(info.output_scanline) * info.output_width * 3];
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return true;
}

double perSecond(double seconds, const std::function<bool()>& decode) {
    auto start = std::chrono::steady_clock::now();
    int count = 0;
    double elapsed = 0;
    do {
        if (!decode()) {
            std::fprintf(stderr, "decode failed\n");
            std::exit(1);
        }
        count++;
        elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    } while (elapsed < seconds);
    return count / elapsed;
}

// Alternates short runs of the two decoders and keeps the best rate of
// each, so that load from other processes hits both alike.
void compare(double seconds, const std::function<bool()>& ours, const std::function<bool()>& peer,
             double* oursRate, double* peerRate) {
    constexpr int kRounds = 6;
    *oursRate = *peerRate = 0;
    for (int round = 0; round < kRounds; round++) {
        *oursRate = std::max(*oursRate, perSecond(seconds / kRounds, ours));
        *peerRate = std::max(*peerRate, perSecond(seconds / kRounds, peer));
    }
}

const uint8_t* bytes(const std::string& text) {
    return reinterpret_cast<const uint8_t*>(text.data());
}

}  // namespace

int main(int argc, char** argv) {
    double seconds = argc > 1 ? std::atof(argv[1]) : 2.0;
    std::vector<uint8_t> rgb = picture();
    std::string png = encodePng(rgb, kSize, kSize);
    std::string jpeg = encodeJpeg(rgb, kSize, kSize);
    std::vector<uint8_t> scratch;
    double oursPng, peerPng, oursJpeg, peerJpeg;
    compare(
        seconds, [&] { return imageDecodePng(bytes(png), png.size(), "b") != nullptr; },
        [&] { return libpngDecode(png, &scratch); }, &oursPng, &peerPng);
    compare(
        seconds, [&] { return imageDecodeJpeg(bytes(jpeg), jpeg.size()) != nullptr; },
        [&] { return libjpegDecode(jpeg, &scratch); }, &oursJpeg, &peerJpeg);
    std::printf("%dx%d PNG (%zu bytes)   ours %8.1f/s   libpng  %8.1f/s   ratio %.3f\n", kSize,
                kSize, png.size(), oursPng, peerPng, oursPng / peerPng);
    std::printf("%dx%d JPEG (%zu bytes)  ours %8.1f/s   libjpeg %8.1f/s   ratio %.3f\n", kSize,
                kSize, jpeg.size(), oursJpeg, peerJpeg, oursJpeg / peerJpeg);
    return 0;
}
