#include "sound/captureSource.h"

#include <SDL.h>

#include <algorithm>
#include <cctype>
#include <cmath>

namespace {

// SDL's audio for as long as the object lives, with monitors of outputs listed
// among the capture devices (the hint must be set before SDL looks).
class AudioSubsystem {
public:
    AudioSubsystem() {
        SDL_SetHint(SDL_HINT_AUDIO_INCLUDE_MONITORS, "1");
        started_ = SDL_InitSubSystem(SDL_INIT_AUDIO) == 0;
        if (!started_) error_ = SDL_GetError();
    }
    ~AudioSubsystem() {
        if (started_) SDL_QuitSubSystem(SDL_INIT_AUDIO);
    }
    AudioSubsystem(const AudioSubsystem&) = delete;
    AudioSubsystem& operator=(const AudioSubsystem&) = delete;
    bool started() const { return started_; }
    const std::string& error() const { return error_; }
    // Keeps SDL's audio running after this object goes; the owner quits it.
    void keep() { started_ = false; }

private:
    bool started_;
    std::string error_;
};

void onCapture(void* userdata, Uint8* stream, int length) {
    static_cast<CaptureSource*>(userdata)->deliver(reinterpret_cast<const float*>(stream),
                                                   length / static_cast<int>(sizeof(float)));
}

std::string lowered(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

int16_t toSample(float value) {
    if (!(value > -1.0f)) return -32767;  // NaN too
    if (value >= 1.0f) return 32767;
    return static_cast<int16_t>(std::lround(value * 32767.0f));
}

}  // namespace

CaptureSource::CaptureSource() = default;

std::unique_ptr<CaptureSource> CaptureSource::open(const std::string& device, std::string* error) {
    AudioSubsystem audio;
    if (!audio.started()) {
        if (error) *error = audio.error();
        return nullptr;
    }
    std::unique_ptr<CaptureSource> source(new CaptureSource());
    SDL_AudioSpec wanted = {};
    wanted.freq = kSampleRate;
    wanted.format = AUDIO_F32SYS;
    wanted.channels = 1;
    wanted.samples = kCallbackFrames;
    wanted.callback = onCapture;
    wanted.userdata = source.get();
    SDL_AudioSpec obtained = {};
    // No changes allowed: SDL converts what the device gives to this format.
    const SDL_AudioDeviceID id =
        SDL_OpenAudioDevice(device.empty() ? nullptr : device.c_str(), 1, &wanted, &obtained, 0);
    if (id == 0) {
        if (error) *error = SDL_GetError();
        return nullptr;
    }
    audio.keep();
    source->deviceId_ = id;
    source->device_ = device;
    SDL_PauseAudioDevice(id, 0);
    return source;
}

CaptureSource::~CaptureSource() {
    if (deviceId_ != 0) {
        SDL_CloseAudioDevice(deviceId_);  // waits for the callback to finish
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
    }
}

bool CaptureSource::alive() const {
    return deviceId_ == 0 || SDL_GetAudioDeviceStatus(deviceId_) != SDL_AUDIO_STOPPED;
}

void CaptureSource::deliver(const float* samples, int count) {
    int used = 0;
    while (used < count) {
        if (!partial_) {
            partial_ = std::make_unique<SoundBlock>();
            partialFrames_ = 0;
        }
        const int take = std::min(count - used, kBlockFrames - partialFrames_);
        for (int i = 0; i < take; ++i) {
            const int16_t sample = toSample(samples[used + i]);
            partial_->left[partialFrames_ + i] = sample;
            partial_->right[partialFrames_ + i] = sample;
        }
        used += take;
        partialFrames_ += take;
        if (partialFrames_ == kBlockFrames) appendBlock(std::move(partial_));
    }
    delivered_ += static_cast<uint64_t>(std::max(count, 0));
}

CaptureDevices listCaptureDevices() {
    CaptureDevices devices;
    AudioSubsystem audio;
    if (!audio.started()) return devices;
    const int count = SDL_GetNumAudioDevices(1);
    for (int i = 0; i < count; ++i) {
        if (const char* name = SDL_GetAudioDeviceName(i, 1)) devices.names.push_back(name);
    }
    char* output = nullptr;
    SDL_AudioSpec spec;
    if (SDL_GetDefaultAudioInfo(&output, &spec, 0) == 0 && output) {
        devices.defaultOutput = output;
        SDL_free(output);
    }
    return devices;
}

std::string chooseMonitor(const CaptureDevices& devices) {
    if (!devices.defaultOutput.empty()) {
        const std::string wanted = lowered("Monitor of " + devices.defaultOutput);
        for (const std::string& name : devices.names) {
            if (lowered(name) == wanted) return name;
        }
    }
    for (const std::string& name : devices.names) {
        if (lowered(name).find("monitor") != std::string::npos) return name;
    }
    return std::string();
}

std::string findDevice(const std::vector<std::string>& names, const std::string& wanted) {
    if (wanted.empty()) return std::string();
    for (const std::string& name : names) {
        if (name == wanted) return name;
    }
    const std::string part = lowered(wanted);
    for (const std::string& name : names) {
        if (lowered(name).find(part) != std::string::npos) return name;
    }
    return std::string();
}
