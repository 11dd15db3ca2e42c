#include "tests/render/cache/cache_test_support.h"

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
    Upload upload{id, image.width, image.height, image.hasAlpha, {}};
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
