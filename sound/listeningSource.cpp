#include "sound/listeningSource.h"

#include <algorithm>
#include <cstdlib>

#include "app/log.h"

namespace {

// Samples within this distance of zero count as silence (about −80 dB).
constexpr int kSilentSample = 3;
constexpr float kBlockSeconds = static_cast<float>(kBlockFrames) / kSampleRate;

bool silent(const SoundBlock& block) {
    for (int i = 0; i < kBlockFrames; ++i) {
        if (std::abs(block.left[i]) > kSilentSample || std::abs(block.right[i]) > kSilentSample)
            return false;
    }
    return true;
}

}  // namespace

ListeningSource::ListeningSource(Opener open, SoundSource& fallback, Options options)
    : open_(std::move(open)), fallback_(fallback), options_(options) {
    capture_ = open_ ? open_() : nullptr;
    listening_ = capture_ && captureOnly();
}

void ListeningSource::produce(int milliseconds) {
    const float seconds = milliseconds > 0 ? milliseconds / 1000.0f : 0.0f;
    fallback_.produce(milliseconds);
    if (capture_ && !capture_->alive()) {
        capture_.reset();
        sinceRetry_ = 0.0f;
        if (listening_) {
            fallBack("!Sound capture stopped: following the built-in beat\n");
        } else {
            Log(LOG_INFO, "Sound capture stopped\n");
        }
    }
    if (capture_) {
        readCapture(seconds);
    } else {
        retry(seconds);
    }
    while (std::unique_ptr<SoundBlock> block = fallback_.takeBlock()) {
        if (!listening_) appendBlock(std::move(block));
    }
}

void ListeningSource::readCapture(float seconds) {
    bool arrived = false;
    while (std::unique_ptr<SoundBlock> block = capture_->takeBlock()) {
        arrived = true;
        if (silent(*block)) {
            silentSeconds_ += kBlockSeconds;
        } else {
            silentSeconds_ = 0.0f;
            if (!listening_) {
                listening_ = true;
                Log(LOG_INFO, "Sound heard again: following it\n");
            }
        }
        if (listening_) appendBlock(std::move(block));
    }
    // A device that delivers nothing is as quiet as one that delivers zeros.
    if (!arrived) silentSeconds_ += seconds;
    if (listening_ && !captureOnly() && silentSeconds_ >= options_.silenceSeconds) {
        fallBack("No sound heard: following the built-in beat until there is\n");
    }
}

void ListeningSource::fallBack(const char* message) {
    listening_ = false;
    Log(LOG_OSD, "%s", message);
}

void ListeningSource::retry(float seconds) {
    sinceRetry_ += seconds;
    if (!open_ || sinceRetry_ < options_.retrySeconds) return;
    sinceRetry_ = 0.0f;
    capture_ = open_();
    if (capture_) {
        silentSeconds_ = 0.0f;
        listening_ = captureOnly();
        Log(LOG_INFO, "Sound capture open again\n");
    }
}

std::unique_ptr<ListeningSource> openListeningSource(SettingsAccess& settings,
                                                     SoundSource& fallback) {
    std::string mode = settings.getString("sound.source", "auto");
    const std::string wanted = settings.getString("sound.device", "");
    if (mode == "synthetic") return nullptr;
    if (mode != "auto" && mode != "capture") {
        Log(LOG_WARNING, "sound.source '%s' is none of auto, capture or synthetic; using auto\n",
            mode.c_str());
        mode = "auto";
    }
    const bool asked = mode == "capture" || !wanted.empty();

    // Which device: the one named, else a monitor of an output, else (only
    // when capture was asked for) the default capture device, a microphone.
    const CaptureDevices devices = listCaptureDevices();
    std::string device;
    if (!wanted.empty()) {
        device = findDevice(devices.names, wanted);
        if (device.empty()) {
            Log(LOG_OSD, "!No sound capture device is called '%s': following the built-in beat\n",
                wanted.c_str());
            return nullptr;
        }
    } else {
        device = chooseMonitor(devices);
        if (device.empty() && mode == "auto") {
            Log(LOG_INFO, "No monitor of a sound output to capture: following the built-in beat\n");
            return nullptr;
        }
    }
    std::string error;
    std::unique_ptr<CaptureSource> first = CaptureSource::open(device, &error);
    if (!first) {
        if (asked) {
            Log(LOG_OSD, "!Cannot capture sound (%s): following the built-in beat\n",
                error.c_str());
        } else {
            Log(LOG_INFO, "Cannot capture sound (%s): following the built-in beat\n",
                error.c_str());
        }
        return nullptr;
    }
    Log(LOG_INFO, "Capturing sound from '%s'\n",
        device.empty() ? "the default capture device" : device.c_str());

    ListeningSource::Options options;
    if (mode == "capture") options.silenceSeconds = 0.0f;
    // The first call hands over the capture opened above; later ones reopen.
    auto pending = std::make_shared<std::unique_ptr<CaptureSource>>(std::move(first));
    auto opener = [device, pending]() -> std::unique_ptr<CaptureSource> {
        if (*pending) return std::move(*pending);
        return CaptureSource::open(device, nullptr);
    };
    return std::make_unique<ListeningSource>(opener, fallback, options);
}
