// Checks shared by the image decoder fuzz targets: what a decoder hands out
// must be a well-formed image of an accepted size, and the writers must turn
// it into files that read back as the same pixels.
#pragma once

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "render/image.h"
#include "render/imageFile.h"

namespace fuzzimage {

inline void check(bool condition) {
    if (!condition) std::abort();
}

inline std::string& directoryName() {
    static std::string directory;
    return directory;
}

inline void removeWorkDirectory() {
    const std::string& directory = directoryName();
    std::remove((directory + "image.png").c_str());
    std::remove((directory + "image.tga").c_str());
    rmdir(directory.c_str());
}

// A private directory in memory (when /dev/shm is there): every accepted
// image is written and read back. It goes when the process exits.
inline const std::string& workDirectory() {
    std::string& directory = directoryName();
    if (directory.empty()) {
        std::string base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : P_tmpdir;
        std::string pattern = base + "/vortalis-image-fuzz-XXXXXX";
        if (!mkdtemp(&pattern[0])) std::abort();
        directory = pattern + "/";
        std::atexit(removeWorkDirectory);
    }
    return directory;
}

inline std::vector<uint8_t> readFile(const std::string& path) {
    std::vector<uint8_t> bytes;
    if (FILE* file = std::fopen(path.c_str(), "rb")) {
        uint8_t buffer[4096];
        size_t got;
        while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0)
            bytes.insert(bytes.end(), buffer, buffer + got);
        std::fclose(file);
    }
    return bytes;
}

inline void checkShape(const Image& image, size_t maxPixels) {
    check(image.width > 0 && image.height > 0);
    size_t pixels = static_cast<size_t>(image.width) * static_cast<size_t>(image.height);
    check(pixels <= maxPixels);
    check(image.pixels.size() == pixels * static_cast<size_t>(image.bytesPerPixel()));
}

// Saves `image` as PNG and as TGA: the PNG must decode to its RGB pixels and
// the TGA must hold its header and every pixel as B, G, R.
inline void checkWriters(const Image& image, size_t maxPixels) {
    Image rgb = image;
    imageDropAlpha(&rgb);
    const std::string png = workDirectory() + "image.png";
    check(imageSave(png.c_str(), image));
    std::vector<uint8_t> bytes = readFile(png);
    std::unique_ptr<Image> back = imageDecodePng(bytes.data(), bytes.size(), "back", maxPixels);
    check(back && !back->hasAlpha && back->width == rgb.width && back->height == rgb.height &&
          back->pixels == rgb.pixels);

    const std::string tga = workDirectory() + "image.tga";
    check(imageSave(tga.c_str(), image));
    bytes = readFile(tga);
    check(bytes.size() == 18 + rgb.pixels.size());
    check(bytes[12] + bytes[13] * 256 == (rgb.width & 0xFFFF) &&
          bytes[14] + bytes[15] * 256 == (rgb.height & 0xFFFF));
    for (size_t i = 0; i < rgb.pixels.size(); i += 3)
        check(bytes[18 + i] == rgb.pixels[i + 2] && bytes[18 + i + 1] == rgb.pixels[i + 1] &&
              bytes[18 + i + 2] == rgb.pixels[i]);
}

}  // namespace fuzzimage
