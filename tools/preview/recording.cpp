#include "tools/preview/recording.h"

#include <cstring>

namespace {

const char kMagic[4] = {'V', 'R', 'E', 'C'};

void putInt(uint8_t* at, uint32_t value) {
    for (int i = 0; i < 4; ++i)
        at[i] = static_cast<uint8_t>(value >> (8 * i));
}

uint32_t getInt(const uint8_t* at) {
    return at[0] | at[1] << 8 | at[2] << 16 | static_cast<uint32_t>(at[3]) << 24;
}

uint32_t floatBits(float value) {
    uint32_t bits;
    std::memcpy(&bits, &value, 4);
    return bits;
}

float bitsFloat(uint32_t bits) {
    float value;
    std::memcpy(&value, &bits, 4);
    return value;
}

}  // namespace

bool writeRecordingHeader(FILE* file, int width, int height) {
    uint8_t header[12];
    std::memcpy(header, kMagic, 4);
    putInt(header + 4, static_cast<uint32_t>(width));
    putInt(header + 8, static_cast<uint32_t>(height));
    return std::fwrite(header, 1, sizeof header, file) == sizeof header;
}

bool writeRecordedFrame(FILE* file, const RecordedFrame& frame) {
    uint8_t values[16];
    putInt(values, floatBits(frame.level));
    putInt(values + 4, floatBits(frame.low));
    putInt(values + 8, floatBits(frame.position));
    putInt(values + 12, floatBits(frame.strength));
    return std::fwrite(values, 1, sizeof values, file) == sizeof values &&
           std::fwrite(frame.rgb.data(), 1, frame.rgb.size(), file) == frame.rgb.size();
}

bool readRecording(const std::string& path, Recording& recording) {
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return false;
    uint8_t header[12];
    bool ok = std::fread(header, 1, sizeof header, file) == sizeof header &&
              std::memcmp(header, kMagic, 4) == 0;
    if (ok) {
        recording.width = static_cast<int>(getInt(header + 4));
        recording.height = static_cast<int>(getInt(header + 8));
        ok = recording.width > 0 && recording.height > 0;
    }
    size_t pixels = ok ? static_cast<size_t>(recording.width) * recording.height * 3 : 0;
    uint8_t values[16];
    while (ok && std::fread(values, 1, sizeof values, file) == sizeof values) {
        RecordedFrame frame;
        frame.level = bitsFloat(getInt(values));
        frame.low = bitsFloat(getInt(values + 4));
        frame.position = bitsFloat(getInt(values + 8));
        frame.strength = bitsFloat(getInt(values + 12));
        frame.rgb.resize(pixels);
        if (std::fread(frame.rgb.data(), 1, pixels, file) != pixels) break;
        recording.frames.push_back(std::move(frame));
    }
    std::fclose(file);
    return ok;
}
