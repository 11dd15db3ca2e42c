#include "sound/wavFileSource.h"

#include <SDL.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <utility>

namespace {

bool fail(std::string* error, const std::string& reason) {
    if (error) *error = reason;
    return false;
}

// Converts SDL's decoded buffer to interleaved 16-bit stereo at our rate in
// one pass over the whole file (SDL's streaming converter loses the last
// thousand frames or so when resampling).
bool convert(const SDL_AudioSpec& spec, const Uint8* data, Uint32 length, std::vector<int16_t>& out,
             std::string* error) {
    SDL_AudioCVT cvt;
    if (SDL_BuildAudioCVT(&cvt, spec.format, spec.channels, spec.freq, AUDIO_S16SYS, 2,
                          kSampleRate) < 0)
        return fail(error, SDL_GetError());
    const int frameBytes = SDL_AUDIO_BITSIZE(spec.format) / 8 * spec.channels;
    const Uint32 whole = frameBytes > 0 ? length / frameBytes * frameBytes : 0;
    if (whole > static_cast<Uint32>(INT32_MAX / std::max(cvt.len_mult, 1)))
        return fail(error, "the file is too long");
    cvt.len = static_cast<int>(whole);
    std::vector<Uint8> buffer(static_cast<size_t>(cvt.len) * cvt.len_mult);
    std::copy(data, data + whole, buffer.begin());
    cvt.buf = buffer.data();
    if (SDL_ConvertAudio(&cvt) != 0) return fail(error, SDL_GetError());
    const size_t samples = static_cast<size_t>(cvt.len_cvt) / sizeof(int16_t) / 2 * 2;
    out.resize(samples);
    std::memcpy(out.data(), buffer.data(), samples * sizeof(int16_t));
    return true;
}

}  // namespace

std::unique_ptr<WavFileSource> WavFileSource::open(const std::string& path, std::string* error) {
    SDL_RWops* file = SDL_RWFromFile(path.c_str(), "rb");
    if (!file) {
        fail(error, SDL_GetError());
        return nullptr;
    }
    SDL_AudioSpec spec;
    Uint8* data = nullptr;
    Uint32 length = 0;
    if (!SDL_LoadWAV_RW(file, 1, &spec, &data, &length)) {
        fail(error, SDL_GetError());
        return nullptr;
    }
    std::vector<int16_t> samples;
    const bool converted = convert(spec, data, length, samples, error);
    SDL_FreeWAV(data);
    if (!converted) return nullptr;
    return std::unique_ptr<WavFileSource>(new WavFileSource(std::move(samples)));
}

WavFileSource::WavFileSource(std::vector<int16_t> samples) : samples_(std::move(samples)) {}

void WavFileSource::produce(int milliseconds) {
    if (milliseconds > 0) targetMicroseconds_ += static_cast<int64_t>(milliseconds) * 1000;
    // 44 100 frames per 10^6 µs, kept exact as 441 per 10^4.
    const int64_t targetFrames = targetMicroseconds_ * 441 / 10000;
    const int64_t total = frames();
    while (producedFrames_ + kBlockFrames <= targetFrames) {
        auto block = std::make_unique<SoundBlock>();  // value-initialised: silent
        for (int i = 0; i < kBlockFrames && producedFrames_ + i < total; ++i) {
            const size_t at = static_cast<size_t>(producedFrames_ + i) * 2;
            block->left[i] = samples_[at];
            block->right[i] = samples_[at + 1];
        }
        appendBlock(std::move(block));
        producedFrames_ += kBlockFrames;
    }
}
