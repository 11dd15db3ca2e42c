// Build-time helper: writes a C++ source that holds the bytes of the built-in
// images. Run on every build; it rewrites its output only when the bytes
// changed, so an image that lands (or changes) is picked up without a
// reconfigure and an unchanged one costs no recompilation.
//
// Usage: vortalis_embed OUT.cpp STANDIN_DIR (SYMBOL PATH WIDTH HEIGHT)...
// When PATH does not exist, a plain WIDTH x HEIGHT 8-bit RGBA PNG is generated
// into STANDIN_DIR and embedded in its place.
#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

void putU32BigEndian(Bytes& out, uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back((value >> shift) & 0xFF);
}

void putChunk(Bytes& png, const char* type, const Bytes& data) {
    putU32BigEndian(png, static_cast<uint32_t>(data.size()));
    size_t start = png.size();
    png.insert(png.end(), type, type + 4);
    png.insert(png.end(), data.begin(), data.end());
    uLong check = crc32(0, png.data() + start, static_cast<uInt>(png.size() - start));
    putU32BigEndian(png, static_cast<uint32_t>(check));
}

// A checkerboard of 32-pixel cells; any valid image of the right shape serves.
Bytes standInPng(uint32_t width, uint32_t height) {
    Bytes raw;
    for (uint32_t y = 0; y < height; ++y) {
        raw.push_back(0);  // filter: none
        for (uint32_t x = 0; x < width; ++x) {
            unsigned char level = ((x / 32 + y / 32) % 2) ? 0xFF : 0x40;
            raw.insert(raw.end(), {level, level, level, 0xFF});
        }
    }
    uLongf packedSize = compressBound(raw.size());
    Bytes packed(packedSize);
    compress2(packed.data(), &packedSize, raw.data(), raw.size(), Z_BEST_COMPRESSION);
    packed.resize(packedSize);

    Bytes png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    Bytes header;
    putU32BigEndian(header, width);
    putU32BigEndian(header, height);
    header.insert(header.end(), {8, 6, 0, 0, 0});  // 8 bits, RGBA, deflate, no filter, no interlace
    putChunk(png, "IHDR", header);
    putChunk(png, "IDAT", packed);
    putChunk(png, "IEND", {});
    return png;
}

bool readFile(const std::string& path, Bytes& out) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return true;
}

std::string sourceFor(const std::string& symbol, const std::string& origin, const Bytes& bytes) {
    std::ostringstream out;
    out << "// " << symbol << ": embedded from " << origin << "\n";
    out << "extern const unsigned char " << symbol << "[] = {";
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (i % 16 == 0) out << "\n";
        out << unsigned(bytes[i]) << ",";
    }
    if (bytes.empty()) out << "0";  // an array may not be empty
    out << "\n};\n";
    out << "extern const uint32_t " << symbol << "Size = " << bytes.size() << "u;\n";
    return out.str();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3 || (argc - 3) % 4 != 0) {
        std::fprintf(stderr, "usage: %s OUT.cpp STANDIN_DIR (SYMBOL PATH WIDTH HEIGHT)...\n",
                     argv[0]);
        return 2;
    }
    std::string output = argv[1], standInDir = argv[2];
    std::string source =
        "// Generated at build time by vortalis_embed; do not edit.\n#include <cstdint>\n";
    for (int i = 3; i < argc; i += 4) {
        std::string symbol = argv[i], path = argv[i + 1];
        Bytes bytes;
        if (!readFile(path, bytes)) {
            bytes = standInPng(std::stoul(argv[i + 2]), std::stoul(argv[i + 3]));
            path = standInDir + "/" + symbol + ".png";
            std::ofstream(path, std::ios::binary)
                .write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
        }
        source += sourceFor(symbol, path, bytes);
    }
    Bytes previous;
    if (readFile(output, previous) && std::string(previous.begin(), previous.end()) == source)
        return 0;
    std::ofstream out(output, std::ios::binary);
    out << source;
    return out ? 0 : 1;
}
