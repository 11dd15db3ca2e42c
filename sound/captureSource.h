// Sound from a capture device through SDL2: by default what the desktop
// plays, read from the monitor of an output, so that no microphone is needed.
//
// SDL converts whatever the device delivers to mono float samples at the
// analyser's rate and hands them to a callback on its own audio thread; the
// callback cuts them into blocks (left and right both the mono signal) and
// appends them to the source's queue, whose mutex makes that safe while the
// main thread drains it. produce() has nothing to do: the device keeps time.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "sound/soundSource.h"

class CaptureSource : public SoundSource {
public:
    // Samples per SDL callback: about 12 ms, the latency SDL may add.
    static constexpr int kCallbackFrames = 512;

    // Opens the capture device SDL calls `device`, or SDL's default capture
    // device when `device` is empty, and starts capturing. Null when SDL's
    // audio cannot start or the device cannot be opened; the reason is then
    // in *error when `error` is given.
    static std::unique_ptr<CaptureSource> open(const std::string& device, std::string* error);
    // Stops the callback and closes the device before the queue goes.
    ~CaptureSource() override;

    void produce(int) override {}

    // False once SDL reports that the device stopped (unplugged, sound server gone).
    virtual bool alive() const;
    // The name the device was opened by ("" for the default device).
    const std::string& device() const { return device_; }
    // Frames received since opening; any thread may ask.
    uint64_t deliveredFrames() const { return delivered_.load(); }

    // What the callback does with each buffer: `count` mono samples, nominally
    // in [-1, 1] (beyond is clipped). Blocks are made as they fill; a partial
    // block waits for the next call. Called from one thread at a time.
    void deliver(const float* samples, int count);

protected:
    // A source without a device, fed through deliver(): for tests and benchmarks.
    CaptureSource();

private:
    uint32_t deviceId_ = 0;  // SDL's; 0 without a device
    std::string device_;
    std::unique_ptr<SoundBlock> partial_;
    int partialFrames_ = 0;
    std::atomic<uint64_t> delivered_{0};
};

// The names of the capture devices SDL lists, monitors of outputs included,
// and the name of the default output ("" when SDL cannot tell). Starts SDL's
// audio for the question and stops it again; empty when it cannot start.
struct CaptureDevices {
    std::vector<std::string> names;
    std::string defaultOutput;
};
CaptureDevices listCaptureDevices();

// The device to capture the desktop's sound from: the monitor of the default
// output when the names show it, else the first monitor; "" when there is
// none. A monitor is a device whose name says so ("Monitor of …", any case).
std::string chooseMonitor(const CaptureDevices& devices);

// The listed device a user's `wanted` text names: the one with exactly that
// name, else the first whose name contains it (any case); "" when none does.
std::string findDevice(const std::vector<std::string>& names, const std::string& wanted);
