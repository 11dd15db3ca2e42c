// Image files: PNG and JPEG decoding from the virtual file system, PNG and
// TGA writing to disk, and the capture of the viewport into a file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "render/image.h"

// Decodes `path` by its ending (".png", ".jpg", ".jpeg", any case); null for
// a missing file, a decoding failure (after its message) or another ending.
std::unique_ptr<Image> imageLoad(const char* path);

// Images with more pixels than this are refused before their rows are
// allocated: a forged header of a few bytes could otherwise ask for gigabytes.
// Far above any texture that can be uploaded.
constexpr size_t kImageMaxPixels = size_t(1) << 26;

// Decoders of a whole file in memory; `name` is only for messages. An image
// of more than `maxPixels` pixels is refused like a damaged one (PNG with the
// header-error message, JPEG silently).
std::unique_ptr<Image> imageDecodePng(const uint8_t* data, size_t length, const char* name,
                                      size_t maxPixels = kImageMaxPixels);
std::unique_ptr<Image> imageDecodeJpeg(const uint8_t* data, size_t length,
                                       size_t maxPixels = kImageMaxPixels);

// Writes ".png" or ".tga" (any case) as 8-bit RGB; alpha is never written.
// Other endings and write failures write nothing, silently. True when written.
bool imageSave(const char* path, const Image& image);

// Saves the pixels of the current viewport's size read from the frame
// buffer's origin, bottom row last unless `flip` reverses them.
bool imageCapture(const char* path, bool flip);
