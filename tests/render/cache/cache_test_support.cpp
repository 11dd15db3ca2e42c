#include "tests/render/cache/cache_test_support.h"

#include <png.h>
// jpeglib.h needs FILE and size_t declared before it.
#include <jpeglib.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "render/imageFile.h"
#include "render/renderFiles.h"
#include "tests/support/temp_dir.h"

namespace {

CacheTestFiles* installed = nullptr;

}  // namespace

Image solidImage(int width, int height, uint8_t r, uint8_t g, uint8_t b) {
    Image image = imageMake(width, height, false);
    for (int y = 0; y < height; y++)
        for (int x = 0; x < width; x++) {
            uint8_t* p = image.pixel(x, y);
            p[0] = r;
            p[1] = g;
            p[2] = b;
        }
    return image;
}

Image gradientImage(int width, int height, bool hasAlpha) {
    Image image = imageMake(width, height, hasAlpha);
    for (int y = 0; y < height; y++)
        for (int x = 0; x < width; x++) {
            uint8_t* p = image.pixel(x, y);
            p[0] = static_cast<uint8_t>(x * 7 + y);
            p[1] = static_cast<uint8_t>(y * 11 + 3);
            p[2] = static_cast<uint8_t>((x ^ y) * 5 + 100);
            if (hasAlpha) p[3] = static_cast<uint8_t>(255 - x - y * 2);
        }
    return image;
}

namespace {

void appendBytes(png_structp png, png_bytep data, png_size_t length) {
    static_cast<std::string*>(png_get_io_ptr(png))->append(reinterpret_cast<char*>(data), length);
}

void flushNothing(png_structp) {}

}  // namespace

std::string pngOfType(int width, int height, int colourType, int bitDepth,
                      const std::vector<uint8_t>& rowBytes, bool interlaced) {
    std::string out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_set_write_fn(png, &out, appendBytes, flushNothing);
    png_set_IHDR(png, info, width, height, bitDepth, colourType,
                 interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_color palette[4] = {{0, 0, 0}, {255, 0, 0}, {0, 255, 0}, {0, 0, 255}};
    if (colourType == PNG_COLOR_TYPE_PALETTE) png_set_PLTE(png, info, palette, 4);
    png_write_info(png, info);
    std::vector<png_bytep> rows;
    size_t stride = rowBytes.size() / height;
    for (int y = 0; y < height; y++)
        rows.push_back(const_cast<png_bytep>(rowBytes.data() + stride * y));
    png_write_image(png, rows.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return out;
}

std::string pngWithAlpha(const Image& image, bool interlaced) {
    return pngOfType(image.width, image.height,
                     image.hasAlpha ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB, 8,
                     image.pixels, interlaced);
}

std::string jpegFile(const Image& image, bool grey) {
    std::vector<uint8_t> samples;
    for (int y = 0; y < image.height; y++)
        for (int x = 0; x < image.width; x++)
            samples.insert(samples.end(), image.pixel(x, y), image.pixel(x, y) + (grey ? 1 : 3));
    jpeg_compress_struct info;
    jpeg_error_mgr error;
    info.err = jpeg_std_error(&error);
    jpeg_create_compress(&info);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = image.width;
    info.image_height = image.height;
    info.input_components = grey ? 1 : 3;
    info.in_color_space = grey ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 90, TRUE);
    jpeg_start_compress(&info, TRUE);
    size_t stride = static_cast<size_t>(image.width) * info.input_components;
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = samples.data() + stride * info.next_scanline;
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    std::string out(reinterpret_cast<char*>(buffer), size);
    std::free(buffer);
    return out;
}

std::string pngFile(const Image& image) {
    TempDir dir;
    imageSave((dir.path() + "image.png").c_str(), image);
    return dir.read("image.png");
}

CacheTestFiles::CacheTestFiles() {
    installed = this;
    renderSetFileReader(read, release);
}

CacheTestFiles::~CacheTestFiles() {
    open();
    renderSetFileReader(nullptr, nullptr);
    installed = nullptr;
}

void CacheTestFiles::put(const std::string& name, const std::string& bytes) {
    std::lock_guard<std::mutex> lock(mutex_);
    files_[name] = bytes;
}

void CacheTestFiles::hold(const std::string& name) {
    std::lock_guard<std::mutex> lock(mutex_);
    held_ = name;
    holding_ = true;
}

void CacheTestFiles::open() {
    std::lock_guard<std::mutex> lock(mutex_);
    holding_ = false;
    changed_.notify_all();
}

void CacheTestFiles::waitUntilHeld() {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return waiting_; });
}

int CacheTestFiles::reads(const std::string& name) {
    std::lock_guard<std::mutex> lock(mutex_);
    return reads_[name];
}

char* CacheTestFiles::read(const char* name, uint32_t* length) {
    return installed->readFile(name, length);
}

void CacheTestFiles::release(char* buffer) {
    delete[] buffer;
}

char* CacheTestFiles::readFile(const char* name, uint32_t* length) {
    std::unique_lock<std::mutex> lock(mutex_);
    reads_[name]++;
    if (holding_ && held_ == name) {
        waiting_ = true;
        changed_.notify_all();
        changed_.wait(lock, [this] { return !holding_; });
        waiting_ = false;
    }
    auto found = files_.find(name);
    if (found == files_.end()) return nullptr;
    char* copy = new char[found->second.size()];
    std::memcpy(copy, found->second.data(), found->second.size());
    *length = static_cast<uint32_t>(found->second.size());
    return copy;
}

int RecordingUploader::allocateSlot() {
    int id = 1;
    while (live.count(id))
        id++;
    live.insert(id);
    return id;
}

void RecordingUploader::uploadImage(int id, const Image& image) {
    if (!live.count(id)) misuses++;
    Upload upload{id, image.width, image.height, image.hasAlpha, {}, image.pixels};
    std::memcpy(upload.firstPixel, image.pixels.data(), 3);
    uploads.push_back(upload);
    if (onUpload) onUpload(upload);
}

int RecordingUploader::fromBytes(int, int, const uint8_t*) {
    arrays++;
    return allocateSlot();
}

int RecordingUploader::fromFloats(int, int, const float*) {
    arrays++;
    return allocateSlot();
}

int RecordingUploader::fromFloats3D(int, int, int, const float*) {
    arrays++;
    return allocateSlot();
}

void RecordingUploader::remove(int id) {
    if (!live.erase(id)) misuses++;
}
