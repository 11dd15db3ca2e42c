// Capture through SDL's disk audio driver, which reads samples in the format
// the device was opened with (mono 32-bit floats at 44 100 Hz) from a file as
// if it were a microphone. The tests give it a named pipe and write the sound
// into it a frame at a time, so the capture keeps pace with the test however
// slowly the test runs (sanitizer builds); the frames last as long as the
// sound that arrived, so the visual clock is the capture's, as it is live.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <thread>

#include "app/log.h"
#include "app/settingsAccess.h"
#include "sound/captureSource.h"
#include "sound/listeningSource.h"
#include "sound/soundAnalyser.h"
#include "sound/syntheticBeatSource.h"
#include "tests/sound/test_music.h"
#include "tests/support/log_capture.h"
#include "tests/support/temp_dir.h"

namespace {

constexpr double kFps = 60.0;

class DiskCapture : public ::testing::Test {
protected:
    void SetUp() override { setenv("SDL_AUDIODRIVER", "disk", 1); }
    void TearDown() override {
        unsetenv("SDL_AUDIODRIVER");
        unsetenv("SDL_DISKAUDIODELAY");
        unsetenv("SDL_DISKAUDIOFILEIN");
    }
    // The capture device reads `samples` from a file, then silence.
    void feed(const std::vector<double>& samples) {
        const std::string path = dir.path() + "capture.raw";
        ASSERT_TRUE(music::writeRawFloats(path, samples));
        setenv("SDL_DISKAUDIOFILEIN", path.c_str(), 1);
        // ms per 512-frame buffer: after the file the driver makes silence
        // about ten times faster than real time.
        setenv("SDL_DISKAUDIODELAY", "1", 1);
    }

    TempDir dir;
};

// The capture device's input as a named pipe that the test fills a frame at a
// time. Opened for reading and writing, so that SDL's open for reading does
// not wait; closing it ends the input, which must happen before the capture
// closes (SDL's thread may be waiting for data). Declare it after the capture.
class SoundPipe {
public:
    SoundPipe(const TempDir& dir, const std::vector<double>& samples) : samples_(samples) {
        const std::string path = dir.path() + "capture.fifo";
        if (mkfifo(path.c_str(), 0600) == 0) fd_ = open(path.c_str(), O_RDWR);
        setenv("SDL_DISKAUDIOFILEIN", path.c_str(), 1);
        setenv("SDL_DISKAUDIODELAY", "0", 1);  // the pipe sets the pace
    }
    ~SoundPipe() {
        if (fd_ >= 0) close(fd_);
    }
    SoundPipe(const SoundPipe&) = delete;
    SoundPipe& operator=(const SoundPipe&) = delete;
    bool ready() const { return fd_ >= 0; }

    // Writes the next sixtieth of a second (silence after the samples) and
    // waits for the capture to take what makes whole buffers of it. Returns
    // the time the sound that arrived stands for, or a negative number when
    // the capture stalled.
    float next(const CaptureSource& capture) {
        const size_t end = written_ + static_cast<size_t>(kSampleRate / kFps);
        std::vector<float> chunk;
        for (; written_ < end; ++written_)
            chunk.push_back(written_ < samples_.size() ? static_cast<float>(samples_[written_])
                                                       : 0.0f);
        const char* bytes = reinterpret_cast<const char*>(chunk.data());
        size_t left = chunk.size() * sizeof(float);
        while (left > 0) {
            const ssize_t n = write(fd_, bytes, left);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return -1.0f;
            bytes += n;
            left -= static_cast<size_t>(n);
        }
        const uint64_t whole =
            written_ / CaptureSource::kCallbackFrames * CaptureSource::kCallbackFrames;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        uint64_t now;
        while ((now = capture.deliveredFrames()) < whole) {
            if (std::chrono::steady_clock::now() > deadline) return -1.0f;
            std::this_thread::sleep_for(std::chrono::microseconds(100));
        }
        const float seconds = static_cast<float>(now - seen_) / kSampleRate;
        seen_ = now;
        return seconds;
    }
    // Seconds of sound the capture has delivered.
    double seconds() const { return static_cast<double>(seen_) / kSampleRate; }

private:
    std::vector<double> samples_;
    int fd_ = -1;
    size_t written_ = 0;
    uint64_t seen_ = 0;
};

class CaptureTempo : public DiskCapture, public ::testing::WithParamInterface<double> {};

TEST_P(CaptureTempo, ConvergesWithinTwoPercent) {
    const double bpm = GetParam();
    std::string error;
    std::unique_ptr<CaptureSource> capture;
    SoundPipe pipe(dir, music::clickTrack(bpm, 12.0, 0.0, kSampleRate));
    ASSERT_TRUE(pipe.ready());
    capture = CaptureSource::open("", &error);
    ASSERT_NE(capture, nullptr) << error;
    SoundAnalyser analyser;
    while (pipe.seconds() < 11.0) {
        const float frame = pipe.next(*capture);
        ASSERT_GT(frame, 0.0f) << "the capture stalled";
        capture->produce(static_cast<int>(frame * 1000));
        analyser.analyse(*capture, frame, frame);
        // Converged: from the sixth second on it stays within 2 %.
        if (pipe.seconds() > 6.0) {
            ASSERT_NEAR(analyser.beat().tempo(), bpm, 0.02 * bpm);
        }
    }
    EXPECT_EQ(capture->droppedBlocks(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Clicks, CaptureTempo, ::testing::Values(90.0, 120.0, 174.0));

// Clicks, silence, clicks again: the synthetic beat takes over in the silence
// with one on-screen message and hands back when the clicks return.
TEST_F(DiskCapture, SilenceHandsOverToTheSyntheticBeatAndSoundTakesBack) {
    std::vector<double> sound = music::clickTrack(120.0, 3.0, 3.0, kSampleRate);
    const std::vector<double> more = music::clickTrack(120.0, 3.0, 0.0, kSampleRate);
    sound.insert(sound.end(), more.begin(), more.end());
    LogCapture log;
    SyntheticBeatSource beat(97.0);
    CaptureSource* capture = nullptr;
    ListeningSource::Options options;
    options.silenceSeconds = 1.5f;
    std::unique_ptr<ListeningSource> listening;
    SoundPipe pipe(dir, sound);
    ASSERT_TRUE(pipe.ready());
    listening = std::make_unique<ListeningSource>(
        [&capture]() {
            std::string error;
            std::unique_ptr<CaptureSource> opened = CaptureSource::open("", &error);
            EXPECT_NE(opened, nullptr) << error;
            capture = opened.get();
            return opened;
        },
        beat, options);
    ASSERT_NE(capture, nullptr);
    SoundAnalyser analyser;
    MillisecondCarry carry;
    // What plays at these moments of the capture: clicks, the beat, clicks.
    const double checks[] = {2.5, 5.5, 8.5};
    bool listened[3] = {};
    float tempo[3] = {};
    float loudest[3] = {};  // the level over the half second before
    size_t messages[3] = {};
    int next = 0;
    while (next < 3) {
        const float frame = pipe.next(*capture);
        ASSERT_GT(frame, 0.0f) << "the capture stalled";
        listening->produce(carry.take(frame));
        analyser.analyse(*listening, frame, frame);
        if (pipe.seconds() >= checks[next] - 0.5) {
            loudest[next] = std::max(loudest[next], analyser.value(100));
        }
        if (pipe.seconds() >= checks[next]) {
            listened[next] = listening->listening();
            tempo[next] = analyser.beat().tempo();
            messages[next] = log.count("No sound heard");
            ++next;
        }
    }
    EXPECT_TRUE(listened[0]);
    EXPECT_EQ(messages[0], 0u);
    EXPECT_FALSE(listened[1]);
    EXPECT_FLOAT_EQ(tempo[1], 97.0f);  // the synthetic beat's, known
    EXPECT_GT(loudest[1], 0.1f);       // and its thump is heard
    EXPECT_EQ(messages[1], 1u);
    EXPECT_TRUE(log.contains(LOG_OSD, "No sound heard: following the built-in beat"));
    EXPECT_TRUE(listened[2]);
    EXPECT_NE(tempo[2], 97.0f);
    EXPECT_EQ(messages[2], 1u);
    EXPECT_TRUE(log.contains(LOG_INFO, "Sound heard again"));
}

// The settings choose the source; SDL's disk driver offers one capture
// device, "System audio capture device", which is no monitor.
TEST_F(DiskCapture, SettingsChooseTheSource) {
    feed(std::vector<double>(4096, 0.25));
    SyntheticBeatSource beat(131.0);
    {
        LogCapture log;
        MemorySettings settings;
        settings.setString("sound.source", "synthetic");
        EXPECT_EQ(openListeningSource(settings, beat), nullptr);
        EXPECT_TRUE(log.lines().empty()) << log.all();
    }
    {
        LogCapture log;
        MemorySettings settings;  // auto: only a monitor would be opened unasked
        EXPECT_EQ(openListeningSource(settings, beat), nullptr);
        EXPECT_EQ(settings.getString("sound.source", "?"), "auto");
        EXPECT_EQ(settings.getString("sound.device", "?"), "");
        EXPECT_TRUE(log.contains(LOG_INFO, "No monitor of a sound output")) << log.all();
    }
    {
        LogCapture log;
        MemorySettings settings;
        settings.setString("sound.source", "sometimes");
        EXPECT_EQ(openListeningSource(settings, beat), nullptr);
        EXPECT_TRUE(log.contains(LOG_WARNING, "sound.source 'sometimes'")) << log.all();
    }
    {
        MemorySettings settings;  // capture: the default device, even silent
        settings.setString("sound.source", "capture");
        std::unique_ptr<ListeningSource> source = openListeningSource(settings, beat);
        ASSERT_NE(source, nullptr);
        EXPECT_TRUE(source->listening());
        EXPECT_EQ(source->knownBeat().tempo, 0.0f);
    }
    {
        MemorySettings settings;  // a named device, in any case and in part
        settings.setString("sound.device", "AUDIO CAPTURE");
        std::unique_ptr<ListeningSource> source = openListeningSource(settings, beat);
        ASSERT_NE(source, nullptr);
        EXPECT_FALSE(source->listening());  // until it hears something
        EXPECT_EQ(source->knownBeat().tempo, 131.0f);
    }
    {
        LogCapture log;
        MemorySettings settings;
        settings.setString("sound.device", "Studio Mic 7");
        EXPECT_EQ(openListeningSource(settings, beat), nullptr);
        EXPECT_TRUE(log.contains(LOG_OSD, "No sound capture device is called 'Studio Mic 7'"))
            << log.all();
    }
}

// A capture the test feeds and can unplug.
class FakeCapture : public CaptureSource {
public:
    explicit FakeCapture(bool* alive) : alive_(alive) {}
    bool alive() const override { return *alive_; }

private:
    bool* alive_;
};

std::vector<float> level(float value, int count) {
    return std::vector<float>(size_t(count), value);
}

TEST(ListeningSource, FollowsTheCaptureOnlyWhileItLivesAndReopensIt) {
    LogCapture log;
    SyntheticBeatSource beat(88.0);
    bool alive = true;
    int opened = 0;
    FakeCapture* capture = nullptr;
    ListeningSource::Options options;
    options.silenceSeconds = 2.0f;
    options.retrySeconds = 3.0f;
    ListeningSource listening(
        [&]() {
            ++opened;
            auto fake = std::make_unique<FakeCapture>(&alive);
            capture = fake.get();
            return fake;
        },
        beat, options);
    EXPECT_EQ(opened, 1);

    // Silence from the capture: the beat plays (88 bpm: its blocks are not silent).
    capture->deliver(level(0.0f, 256 * 20).data(), 256 * 20);
    listening.produce(100);
    EXPECT_FALSE(listening.listening());
    EXPECT_EQ(listening.knownBeat().tempo, 88.0f);
    EXPECT_EQ(listening.queuedBlocks(), 17u);  // the beat's 100 ms
    while (listening.takeBlock()) {
    }

    // Sound: from the first block with sound on, the captured blocks play.
    capture->deliver(level(0.0f, 256).data(), 256);
    capture->deliver(level(0.5f, 256 * 3).data(), 256 * 3);
    listening.produce(20);
    EXPECT_TRUE(listening.listening());
    EXPECT_EQ(listening.knownBeat().tempo, 0.0f);
    ASSERT_EQ(listening.queuedBlocks(), 3u);
    EXPECT_EQ(listening.takeBlock()->left[0], 16384);

    // Unplugged: the beat takes over with a message, and the device is
    // opened again once the retry time has passed.
    alive = false;
    listening.produce(16);
    EXPECT_FALSE(listening.listening());
    EXPECT_FALSE(listening.capturing());
    EXPECT_TRUE(log.contains(LOG_OSD, "Sound capture stopped"));
    alive = true;
    for (int i = 0; i < 180; ++i)
        listening.produce(16);  // 2.9 s
    EXPECT_EQ(opened, 1);
    listening.produce(200);
    EXPECT_EQ(opened, 2);
    EXPECT_TRUE(listening.capturing());
    EXPECT_FALSE(listening.listening());

    // A capture that delivers nothing at all is silent too.
    capture->deliver(level(-0.25f, 256).data(), 256);
    listening.produce(16);
    ASSERT_TRUE(listening.listening());
    for (int i = 0; i < 124; ++i)
        listening.produce(16);  // 1.98 s
    EXPECT_TRUE(listening.listening());
    listening.produce(16);
    EXPECT_FALSE(listening.listening());
    EXPECT_EQ(log.count("No sound heard"), 1u);
}

TEST(ListeningSource, CaptureOnlyPlaysThroughSilence) {
    SyntheticBeatSource beat(120.0);
    bool alive = true;
    FakeCapture* capture = nullptr;
    ListeningSource::Options options;
    options.silenceSeconds = 0.0f;
    ListeningSource listening(
        [&]() {
            auto fake = std::make_unique<FakeCapture>(&alive);
            capture = fake.get();
            return fake;
        },
        beat, options);
    EXPECT_TRUE(listening.listening());
    for (int i = 0; i < 100; ++i) {
        capture->deliver(level(0.0f, 700).data(), 700);
        listening.produce(16);
    }
    EXPECT_TRUE(listening.listening());
    EXPECT_EQ(listening.queuedBlocks(), 273u);  // 70 000 frames of silence
}

TEST(ListeningSource, WithoutACaptureTheBeatPlays) {
    SyntheticBeatSource beat(75.0);
    ListeningSource listening([]() { return std::unique_ptr<CaptureSource>(); }, beat, {});
    listening.produce(1000);
    EXPECT_FALSE(listening.capturing());
    EXPECT_EQ(listening.queuedBlocks(), 172u);
    listening.setTempo(150.0);
    EXPECT_EQ(beat.tempo(), 150.0f);
    EXPECT_EQ(listening.knownBeat().tempo, 150.0f);
}

TEST(CaptureSource, CutsAnyBufferSizesIntoBlocksAndClips) {
    bool alive = true;
    FakeCapture capture(&alive);
    std::vector<float> ramp(620);
    for (size_t i = 0; i < ramp.size(); ++i)
        ramp[i] = static_cast<float>(i) / 1000.0f - 0.3f;
    ramp[5] = 1.5f;
    ramp[300] = -2.0f;
    ramp[301] = std::nanf("");
    capture.deliver(ramp.data(), 100);
    EXPECT_EQ(capture.queuedBlocks(), 0u);
    capture.deliver(ramp.data() + 100, 500);
    capture.deliver(ramp.data() + 600, 20);
    EXPECT_EQ(capture.deliveredFrames(), 620u);
    ASSERT_EQ(capture.queuedBlocks(), 2u);  // 108 frames wait for more
    auto first = capture.takeBlock();
    auto second = capture.takeBlock();
    EXPECT_EQ(first->left[5], 32767);
    EXPECT_EQ(second->left[300 - 256], -32767);
    EXPECT_EQ(second->left[301 - 256], -32767);
    for (int i : {0, 99, 100, 255}) {
        EXPECT_EQ(first->left[i], std::lround(ramp[size_t(i)] * 32767)) << i;
        EXPECT_EQ(first->right[i], first->left[i]) << i;
    }
    EXPECT_EQ(second->left[255], std::lround(ramp[511] * 32767));
    capture.deliver(ramp.data(), 148);
    ASSERT_EQ(capture.queuedBlocks(), 1u);
    EXPECT_EQ(capture.takeBlock()->left[108], std::lround(ramp[0] * 32767));
}

TEST(CaptureDevices, MonitorOfTheDefaultOutputFirst) {
    CaptureDevices devices;
    devices.names = {"Webcam Mic", "Monitor of HDMI Out", "Monitor of Built-in Audio", "Line In"};
    devices.defaultOutput = "Built-in Audio";
    EXPECT_EQ(chooseMonitor(devices), "Monitor of Built-in Audio");
    devices.defaultOutput = "USB Headset";
    EXPECT_EQ(chooseMonitor(devices), "Monitor of HDMI Out");
    devices.defaultOutput.clear();
    devices.names = {"Webcam Mic", "line in (MONITOR mix)"};
    EXPECT_EQ(chooseMonitor(devices), "line in (MONITOR mix)");
    devices.names = {"Webcam Mic", "Line In"};
    EXPECT_EQ(chooseMonitor(devices), "");
}

TEST(CaptureDevices, FindByExactNameThenByPart) {
    const std::vector<std::string> names = {"Line In 2", "Line In", "USB Mic (Line)"};
    EXPECT_EQ(findDevice(names, "Line In"), "Line In");
    EXPECT_EQ(findDevice(names, "usb"), "USB Mic (Line)");
    EXPECT_EQ(findDevice(names, "line"), "Line In 2");
    EXPECT_EQ(findDevice(names, "Speaker"), "");
    EXPECT_EQ(findDevice(names, ""), "");
}

}  // namespace
