// What every PNG and JPEG decoder of ours sets up the same way: reading from
// memory, errors that jump back instead of exiting, and the limits that keep
// a forged header of a few bytes from costing gigabytes.
#pragma once

#include <png.h>
// jpeglib.h needs FILE and size_t declared before it.
#include <jpeglib.h>
#include <csetjmp>
#include <cstddef>
#include <cstdint>
#include <cstdio>

// Neither side of a texture may be larger.
constexpr unsigned kImageMaxDimension = 32768;

// libpng reads from this after the signature.
struct PngSource {
    const uint8_t* data;
    size_t length;
    size_t position;
};

// A read struct reading from `source`, its allocations and dimensions bounded
// (see decoderSetup.cpp), or null. `error` null: libpng's own, which jumps
// back to png_jmpbuf after printing; `warning` null: silent.
png_structp pngCreateReader(PngSource* source, png_error_ptr error, png_error_ptr warning);

// Whether width x height is within `maxPixels`, in 64 bits.
inline bool imageWithin(uint64_t width, uint64_t height, size_t maxPixels) {
    return width * height <= maxPixels;
}

struct JpegError {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
};

// Errors jump to error->jump (the caller's setjmp); warnings are silent.
void jpegSetErrors(jpeg_decompress_struct* info, JpegError* error);

// Called after the caller's setjmp on the error's jump: creates the
// decompressor, reads the header from memory and starts decoding into
// `space`. False, with the decompressor destroyed, for an image larger than
// the limits or one that does not decode to `components` bytes a pixel.
bool jpegStart(jpeg_decompress_struct* info, const uint8_t* data, size_t length,
               J_COLOR_SPACE space, int components, size_t maxPixels);
