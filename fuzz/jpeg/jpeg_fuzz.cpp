// Arbitrary bytes as a JPEG file for the image loader's decoder. Whatever it
// accepts must be a well-formed RGB image within the size limit, and must
// survive the PNG and TGA writers: the PNG it writes decodes to the same
// pixels. Any crash, sanitizer report, leak or failed check is a finding.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "fuzz/common/imageChecks.h"
#include "render/imageFile.h"

namespace {

// Small images reach every path of the decoder that large ones do; the limit
// keeps a forged header from costing more than a few microseconds.
constexpr size_t kMaxPixels = 64 * 64;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::unique_ptr<Image> image = imageDecodeJpeg(data, size, kMaxPixels);
    if (!image) return 0;
    fuzzimage::checkShape(*image, kMaxPixels);
    fuzzimage::check(!image->hasAlpha);
    fuzzimage::checkWriters(*image, kMaxPixels);
    return 0;
}
