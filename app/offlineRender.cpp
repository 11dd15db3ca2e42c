#include "app/offlineRender.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "app/glWin.h"
#include "app/startup.h"
#include "render/image.h"
#include "render/imageFile.h"
#include "script/script.h"
#include "sound/syntheticBeatSource.h"
#include "sound/wavFileSource.h"
#include "vis/visMain.h"

namespace {

constexpr double kStartTempo = 140.0;

std::string withSlash(std::string directory) {
    if (directory.empty() || directory.back() != '/') directory += '/';
    return directory;
}

std::string quotedForScript(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    return out + "\"";
}

bool makeDirectory(const std::string& path, std::string* error) {
    std::error_code code;
    std::filesystem::create_directories(path, code);
    if (!code && std::filesystem::is_directory(path, code)) return true;
    *error = code ? code.message() : "not a directory";
    return false;
}

// One line on the terminal that counts the frames; nothing when stderr is
// not a terminal (a log file would fill with carriage returns).
class Progress {
public:
    explicit Progress(int total) : total_(total), shown_(isatty(fileno(stderr)) != 0) {}

    void show(int done, double seconds) {
        if (!shown_) return;
        std::fprintf(stderr, "\rRendering frame %d of %d (%.1f frames per second)  ", done, total_,
                     seconds > 0 ? done / seconds : 0.0);
        std::fflush(stderr);
    }
    void end() {
        if (shown_) std::fputc('\n', stderr);
    }

private:
    int total_;
    bool shown_;
};

}  // namespace

// Frames waiting for their files and the threads that write them. The queue
// holds a few frames per thread, so that drawing never runs far ahead of
// writing and memory stays bounded.
class FrameWriter {
public:
    FrameWriter() {
        unsigned cores = std::max(2u, std::thread::hardware_concurrency());
        int threads = static_cast<int>(std::min(cores - 1, 8u));
        capacity_ = static_cast<size_t>(threads) * 2;
        for (int i = 0; i < threads; i++)
            threads_.emplace_back([this] { run(); });
    }
    ~FrameWriter() { finish(); }

    // Queues a frame; waits while the queue is full.
    void write(std::string path, Image image) {
        std::unique_lock<std::mutex> lock(mutex_);
        room_.wait(lock, [this] { return queue_.size() < capacity_; });
        queue_.emplace_back(std::move(path), std::move(image));
        ready_.notify_one();
    }
    // Waits until the queue is empty and no frame is being written.
    void drain() {
        std::unique_lock<std::mutex> lock(mutex_);
        room_.wait(lock, [this] { return queue_.empty() && busy_ == 0; });
    }
    // Writes what is queued and stops the threads.
    void finish() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            closing_ = true;
        }
        ready_.notify_all();
        for (std::thread& thread : threads_)
            thread.join();
        threads_.clear();
    }
    // The first file that could not be written, or "".
    std::string failedPath() {
        std::lock_guard<std::mutex> lock(mutex_);
        return failed_;
    }

private:
    void run() {
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            ready_.wait(lock, [this] { return closing_ || !queue_.empty(); });
            if (queue_.empty()) return;
            auto [path, image] = std::move(queue_.front());
            queue_.pop_front();
            busy_++;
            room_.notify_all();
            lock.unlock();
            bool written = imageSave(path.c_str(), image);
            lock.lock();
            busy_--;
            if (!written && failed_.empty()) failed_ = path;
            room_.notify_all();
        }
    }

    std::mutex mutex_;
    std::condition_variable ready_;  // a frame was queued, or closing
    std::condition_variable room_;   // a frame left the queue or was written
    std::deque<std::pair<std::string, Image>> queue_;
    std::vector<std::thread> threads_;
    size_t capacity_ = 2;
    int busy_ = 0;
    bool closing_ = false;
    std::string failed_;
};

OfflineRender::OfflineRender(const RenderOptions& options, const std::string& baseDirectory)
    : options_(options), baseDirectory_(baseDirectory), directory_(withSlash(options.directory)) {}

OfflineRender::~OfflineRender() {
    finish();
}

std::string OfflineRender::framePath(int index) const {
    char name[32];
    std::snprintf(name, sizeof name, "frame%05d.png", index);
    return directory_ + name;
}

int OfflineRender::start() {
    std::string error;
    if (options_.audioFile.empty()) {
        source_ = std::make_unique<SyntheticBeatSource>(kStartTempo);
    } else if (!(source_ = WavFileSource::open(options_.audioFile, &error))) {
        std::fprintf(stderr, "vortalis: cannot play %s: %s\n", options_.audioFile.c_str(),
                     error.c_str());
        return 2;
    }
    if (!makeDirectory(directory_, &error)) {
        std::fprintf(stderr, "vortalis: cannot make %s: %s\n", directory_.c_str(), error.c_str());
        return 1;
    }
    window_ = std::make_unique<CGLWin>();
    window_->useHiddenWindow();
    if (!window_->displayAvailable()) {
        std::fprintf(stderr,
                     "vortalis: no display: offline rendering needs an X server for its OpenGL "
                     "context (run it under xvfb-run where there is none)\n");
        return 2;
    }
    vis_ = std::make_unique<CVisMain>(baseDirectory_, window_.get(), source_.get(),
                                      VIS_DEVICE_MODE | VIS_OFFLINE);
    if (!vis_->hasGraphics() || (vis_->optionFlags() & VIS_NO_OPENGL)) {
        std::fprintf(stderr, "vortalis: OpenGL cannot render here (log.txt says why)\n");
        return 1;
    }
    vis_->renderOffline(static_cast<float>(1.0 / options_.framesPerSecond), options_.width,
                        options_.height);
    // The control script has run onInit; from here on it only lets the one
    // scene in once the lists are read, and leaves it alone.
    if (!options_.sceneId.empty())
        vis_->script().runCode("function onScenesLoaded() { renderSceneInsert(" +
                               quotedForScript(options_.sceneId) +
                               ", -1); }\nfunction onFrame() {}\n");
    writer_ = std::make_unique<FrameWriter>();
    vis_->queueSceneLists();
    while (vis_->loading() && !vis_->quitRequested() && !quitSignalReceived())
        vis_->step();
    return options_.sceneId.empty() ? 0 : useScene();
}

int OfflineRender::useScene() {
    const std::string& id = options_.sceneId;
    if (!vis_->registry().find(id)) {
        std::fprintf(stderr, "vortalis: there is no scene '%s' in the content of %s\n", id.c_str(),
                     baseDirectory_.c_str());
        return 2;
    }
    if (vis_->renderList().find(id) < 0) {
        std::fprintf(stderr, "vortalis: scene '%s' did not start (log.txt says why)\n", id.c_str());
        return 1;
    }
    return 0;
}

bool OfflineRender::renderFrame(int index, bool write) {
    Image image;
    if (write) vis_->captureNextFrame(&image);
    vis_->step();
    if (!write) return true;
    if (!vis_->frameCaptured()) {
        std::fprintf(stderr, "\nvortalis: frame %d could not be read back\n", index);
        return false;
    }
    writer_->write(framePath(index), std::move(image));
    return filesWritten();
}

bool OfflineRender::waitForFiles() {
    if (!writer_) return true;
    writer_->drain();
    return filesWritten();
}

bool OfflineRender::filesWritten() {
    std::string failed = writer_->failedPath();
    if (failed.empty()) return true;
    if (!failureReported_) std::fprintf(stderr, "\nvortalis: cannot write %s\n", failed.c_str());
    failureReported_ = true;
    return false;
}

bool OfflineRender::quitRequested() const {
    return vis_ && vis_->quitRequested();
}

bool OfflineRender::finish() {
    bool written = waitForFiles();
    writer_.reset();
    if (vis_) vis_->kill();
    vis_.reset();
    window_.reset();
    source_.reset();
    return written;
}

int runOfflineRender(const LaunchOptions& options, const std::string& baseDirectory) {
    if (options.verbose) mirrorLogToStderr();
    installQuitSignals();
    const RenderOptions& render = options.render;
    OfflineRender renderer(render, baseDirectory);
    int code = renderer.start();
    if (code != 0) return code;

    Progress progress(render.frames);
    auto begin = std::chrono::steady_clock::now();
    double seconds = 0;
    int written = 0;
    while (written < render.frames && !renderer.quitRequested() && !quitSignalReceived()) {
        if (!renderer.renderFrame(written)) return 1;
        ++written;
        seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
        progress.show(written, seconds);
    }
    bool filesWritten = renderer.waitForFiles();
    seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    progress.end();
    renderer.finish();
    if (!filesWritten) return 1;
    if (written < render.frames) {
        std::fprintf(stderr, "vortalis: stopped after %d of %d frames\n", written, render.frames);
        return 1;
    }
    std::printf(
        "Wrote %d frames of %d x %d at %g frames per second to %s in %.1f s (%.1f frames "
        "per second)\n",
        written, render.width, render.height, render.framesPerSecond, render.directory.c_str(),
        seconds, seconds > 0 ? written / seconds : 0.0);
    return 0;
}
