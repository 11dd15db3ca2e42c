// Arbitrary bytes as a PNG file for the image loader's decoder. Whatever it
// accepts must be a well-formed image within the size limit, and must survive
// the PNG and TGA writers: the PNG it writes decodes to the same RGB pixels.
// Any crash, sanitizer report, leak or failed check is a finding.
//
// Chunk checksums are mended before decoding: left as they are, almost every
// mutation would end at the first checksum error and never reach the chunk
// parsers or the pixel rows.
#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "fuzz/common/imageChecks.h"
#include "render/imageFile.h"

namespace {

// Small images reach every path of the decoder that large ones do; the limit
// keeps a forged header from costing more than a few microseconds.
constexpr size_t kMaxPixels = 64 * 64;

uint32_t readU32(const uint8_t* bytes) {
    return uint32_t(bytes[0]) << 24 | uint32_t(bytes[1]) << 16 | uint32_t(bytes[2]) << 8 | bytes[3];
}

// Rewrites the CRC of every complete chunk after the 8-byte signature.
void mendChecksums(std::vector<uint8_t>& file) {
    size_t at = 8;
    while (at + 12 <= file.size()) {
        uint32_t length = readU32(&file[at]);
        if (length > file.size() - at - 12) break;
        uint32_t sum = crc32(0, &file[at + 4], length + 4);
        uint8_t* out = &file[at + 8 + length];
        out[0] = uint8_t(sum >> 24);
        out[1] = uint8_t(sum >> 16);
        out[2] = uint8_t(sum >> 8);
        out[3] = uint8_t(sum);
        at += 12 + length;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<uint8_t> file(data, data + size);
    mendChecksums(file);
    std::unique_ptr<Image> image = imageDecodePng(file.data(), file.size(), "fuzz.png", kMaxPixels);
    if (!image) return 0;
    fuzzimage::checkShape(*image, kMaxPixels);
    fuzzimage::checkWriters(*image, kMaxPixels);
    return 0;
}
