#include "render/decoderSetup.h"

#include <cstdlib>
#include <cstring>

namespace {

// Larger than any text, profile or other chunk a texture carries, and than
// any row buffer libpng makes for an image within kImageMaxDimension.
constexpr png_alloc_size_t kMaxChunkBytes = 8000000;

void pngRead(png_structp png, png_bytep out, png_size_t count) {
    auto* source = static_cast<PngSource*>(png_get_io_ptr(png));
    if (source->length - source->position < count) png_error(png, "read past end of data");
    std::memcpy(out, source->data + source->position, count);
    source->position += count;
}

void pngSilent(png_structp, png_const_charp) {}

// libpng allocates a chunk's whole length before reading it, and its own
// size limits do not stop every chunk, so a few bytes claiming a 2 GB text
// chunk would cost 2 GB. Its allocations go through here instead: anything
// larger than a chunk of a real texture fails as if memory had run out, which
// libpng turns into an error or a skipped chunk.
png_voidp pngAllocate(png_structp, png_alloc_size_t size) {
    return size <= kMaxChunkBytes ? std::malloc(size) : nullptr;
}

void pngRelease(png_structp, png_voidp block) {
    std::free(block);
}

void jpegFail(j_common_ptr info) {
    std::longjmp(reinterpret_cast<JpegError*>(info->err)->jump, 1);
}

void jpegSilent(j_common_ptr, int) {}

}  // namespace

png_structp pngCreateReader(PngSource* source, png_error_ptr error, png_error_ptr warning) {
    // The library's own version: a fixed older one would be refused by it.
    png_structp png =
        png_create_read_struct_2(PNG_LIBPNG_VER_STRING, nullptr, error,
                                 warning ? warning : pngSilent, nullptr, pngAllocate, pngRelease);
    if (!png) return nullptr;
    png_set_user_limits(png, kImageMaxDimension, kImageMaxDimension);
    png_set_chunk_malloc_max(png, kMaxChunkBytes);
    png_set_read_fn(png, source, pngRead);
    return png;
}

void jpegSetErrors(jpeg_decompress_struct* info, JpegError* error) {
    info->err = jpeg_std_error(&error->manager);
    error->manager.error_exit = jpegFail;
    error->manager.emit_message = jpegSilent;
}

bool jpegStart(jpeg_decompress_struct* info, const uint8_t* data, size_t length,
               J_COLOR_SPACE space, int components, size_t maxPixels) {
    jpeg_create_decompress(info);
    jpeg_mem_src(info, data, static_cast<unsigned long>(length));
    jpeg_read_header(info, TRUE);
    info->out_color_space = space;
    if (info->image_width > kImageMaxDimension || info->image_height > kImageMaxDimension ||
        !imageWithin(info->image_width, info->image_height, maxPixels)) {
        jpeg_destroy_decompress(info);
        return false;
    }
    jpeg_start_decompress(info);
    if (info->output_components != components) {
        jpeg_destroy_decompress(info);
        return false;
    }
    return true;
}
