// What the texture cache tests share: images turned into PNG files, a file
// reader for the rendering services that is safe to use from the loader
// thread and can hold a read back on demand, and an uploader that records
// what the cache asks of the GL side.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "render/cache/textureUploader.h"
#include "render/image.h"

// An RGB image of width x height whose every pixel is (r, g, b).
Image solidImage(int width, int height, uint8_t r, uint8_t g, uint8_t b);
// An image whose neighbouring pixels and channels all differ, so that a
// swapped row, column or channel shows.
Image gradientImage(int width, int height, bool hasAlpha);
// The bytes of `image` as a PNG file (alpha is not written).
std::string pngFile(const Image& image);
// A PNG of any colour type and bit depth from raw row bytes; palette files
// get a four-colour palette.
std::string pngOfType(int width, int height, int colourType, int bitDepth,
                      const std::vector<uint8_t>& rowBytes, bool interlaced = false);
// A PNG of an RGB or RGBA image, alpha included.
std::string pngWithAlpha(const Image& image, bool interlaced);
// A JPEG (quality 90) of an RGB image, or of its red channel as grey.
std::string jpegFile(const Image& image, bool grey = false);

// Files by virtual path, read through the rendering services' reader hook.
class CacheTestFiles {
public:
    // Installs the reader; the destructor restores the virtual file system.
    CacheTestFiles();
    ~CacheTestFiles();

    void put(const std::string& name, const std::string& bytes);
    // Reads of `name` block until open() (or the destructor).
    void hold(const std::string& name);
    void open();
    // Blocks until a read of a held name is waiting.
    void waitUntilHeld();
    int reads(const std::string& name);

    static char* read(const char* name, uint32_t* length);
    static void release(char* buffer);

private:
    char* readFile(const char* name, uint32_t* length);

    std::mutex mutex_;
    std::condition_variable changed_;
    std::map<std::string, std::string> files_;
    std::map<std::string, int> reads_;
    std::string held_;
    bool holding_ = false;
    bool waiting_ = false;
};

// Records uploads; ids are handed out like the texture id table's (lowest
// free from 1). Any call about an id that is not allocated is counted as a
// misuse. Main thread only, like the GL side it stands for.
class RecordingUploader : public TextureUploader {
public:
    struct Upload {
        int id;
        int width;
        int height;
        bool hasAlpha;
        uint8_t firstPixel[3];
        std::vector<uint8_t> pixels;
    };

    int allocateSlot() override;
    int maxTextureSize() override { return maxSize; }
    bool wantsFourChannels() override { return fourChannels; }
    void uploadImage(int id, const Image& image) override;
    int fromBytes(int width, int height, const uint8_t* rgba) override;
    int fromFloats(int width, int height, const float* rgba) override;
    int fromFloats3D(int width, int height, int depth, const float* rgba) override;
    void remove(int id) override;

    int maxSize = 4096;
    bool fourChannels = false;
    // Called with every image upload (for checks while the cache runs).
    std::function<void(const Upload&)> onUpload;
    std::vector<Upload> uploads;
    std::set<int> live;
    int misuses = 0;
    int arrays = 0;
};
