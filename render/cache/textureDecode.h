// Decoding of a texture file straight into the layout the upload wants.
//
// The common files (8-bit RGB or RGBA PNG, colour JPEG) are decoded
// directly into four bytes a pixel, with alpha 255 where the file has none,
// into a buffer recycled from an earlier texture: no widening pass after
// the decode and no fresh pages to fault in. Every other file, and any file
// the direct path fails on, goes through the image file decoders, so that
// what comes out (and every message) is theirs; the caller widens that
// result itself if it needs four bytes a pixel.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "render/image.h"

// Loads `path` like imageLoad. With `fourChannels` the common files come out
// as RGBA, their pixels written into `spare` (taken over whatever its size);
// other files come out as imageLoad gives them. Null where imageLoad yields
// none, after the same message.
std::unique_ptr<Image> textureDecode(const std::string& path, bool fourChannels,
                                     std::vector<uint8_t> spare);

// The direct decoders alone: RGBA or null (then nothing was logged), so that
// the caller can fall back to the image file decoders.
std::unique_ptr<Image> textureDecodePngRgba(const uint8_t* data, size_t length,
                                            std::vector<uint8_t>* pixels);
std::unique_ptr<Image> textureDecodeJpegRgba(const uint8_t* data, size_t length,
                                             std::vector<uint8_t>* pixels);
