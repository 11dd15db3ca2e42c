// Feeds arbitrary bytes to the HTTP client's response handling as a server
// might deliver them: in pieces of varying size, under a body limit, stopping
// when the client would stop. The result is checked against a plain one-shot
// split of the same bytes, so a blank line that straddles two reads, a limit
// hit in the middle of a piece or a response without a header must all come
// out exactly as if the whole response had arrived at once.
//
// Input layout: byte 0 picks the body limit, byte 1 seeds the piece sizes,
// the rest is the response.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "update/http.h"

namespace {

constexpr uint8_t kBlankLine[4] = {'\r', '\n', '\r', '\n'};

void check(bool condition) {
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    // Limits from 0 to a little over the longest useful input, in steps that
    // keep small limits likely.
    const size_t limit = static_cast<size_t>(data[0]) * data[0] / 8;
    uint32_t seed = data[1] * 2654435761u + 1;
    const uint8_t* bytes = data + 2;
    const size_t length = size - 2;

    CHttpResponse response;
    response.reset(limit);
    size_t fed = 0;
    bool stopped = false;
    while (fed < length && !stopped) {
        seed = seed * 1103515245u + 12345u;
        size_t piece = std::min<size_t>(length - fed, 1 + (seed >> 16) % 23);
        stopped = !response.append(bytes + fed, piece);
        fed += piece;
    }

    // The same bytes split at once.
    const uint8_t* end = bytes + fed;
    const uint8_t* blank = std::search(bytes, end, kBlankLine, kBlankLine + 4);
    std::string header;
    std::vector<uint8_t> body;
    if (blank == end) {
        body.assign(bytes, end);
    } else {
        header.assign(bytes, blank + 2);
        body.assign(blank + 4, end);
    }
    check(response.headerComplete() == (blank != end));
    check(response.header() == header);
    check(response.body() == body);
    check(response.overLimit() == (body.size() > limit));

    // Stopping means the body is over the limit (header bytes get an
    // allowance while they may still be header), and it happens in the very
    // piece that crossed: one piece less was still acceptable.
    if (stopped) {
        check(response.overLimit());
        if (!response.headerComplete())
            check(body.size() > limit + CHttpResponse::kHeaderAllowance);
    } else {
        check(fed == length);
        check(response.headerComplete() ? body.size() <= limit
                                        : body.size() <= limit + CHttpResponse::kHeaderAllowance);
    }
    return 0;
}
