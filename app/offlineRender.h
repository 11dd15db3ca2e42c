// Offline rendering: the visualiser draws into an off-screen buffer behind a
// hidden window at a fixed time step, and every frame goes to a numbered PNG
// file, so that a video can be made from them with any encoder.
//
// Two runs with the same content, options and audio file write the same
// bytes: the time step is fixed, the random generator starts from a fixed
// seed, the sound (the WAV file, or the synthetic beat) advances by exactly
// one step per frame from the first frame on, texture loads and background
// initialisations finish before each frame, the updater stays off and
// nothing is saved at the end.
//
// Encoding PNG files takes longer than drawing at video sizes, so frames are
// read back on the main thread and written by threads of their own while
// the next frames are drawn.
#pragma once

#include <memory>
#include <string>

#include "app/commandLine.h"

class CGLWin;
class CVisMain;
class FrameWriter;
class SoundSource;

class OfflineRender {
public:
    OfflineRender(const RenderOptions& options, const std::string& baseDirectory);
    ~OfflineRender();
    OfflineRender(const OfflineRender&) = delete;
    OfflineRender& operator=(const OfflineRender&) = delete;

    // Opens the sound, the hidden window and the visualiser, reads the scene
    // lists and, with a scene id, puts that scene alone in play. Returns 0,
    // or the exit code after saying why on stderr: 2 for a WAV file that
    // cannot be played, an unknown scene or no display, 1 otherwise.
    int start();
    // Draws frame `index`; with `write` it is queued for its file. False
    // (with the reason on stderr) when it could not be read back or an
    // earlier frame could not be written.
    bool renderFrame(int index, bool write = true);
    // Waits until every queued frame is in its file; false (with the reason
    // on stderr) when one could not be written.
    bool waitForFiles();
    // The control script's exit() asked the run to end.
    bool quitRequested() const;
    // Waits for the files, then the orderly shutdown (nothing is saved); the
    // destructor calls it too. False when a frame could not be written.
    bool finish();

    // DIR/frame00012.png for index 12.
    std::string framePath(int index) const;

private:
    int useScene();
    // False, said once on stderr, when a frame could not be written.
    bool filesWritten();

    RenderOptions options_;
    std::string baseDirectory_;
    std::string directory_;  // ends in '/'
    std::unique_ptr<SoundSource> source_;
    std::unique_ptr<CGLWin> window_;
    std::unique_ptr<CVisMain> vis_;
    std::unique_ptr<FrameWriter> writer_;
    bool failureReported_ = false;
};

// The whole --render launch: start, every frame with progress on the
// terminal, finish. Returns the exit code: 0 when every frame was written, 1
// when writing failed or a signal stopped it early, 2 on misuse (see start).
int runOfflineRender(const LaunchOptions& options, const std::string& baseDirectory);
