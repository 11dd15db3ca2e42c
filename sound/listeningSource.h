// What the visualiser hears: captured sound while there is some, else the
// synthetic beat, so that scenes always have a beat to move to.
//
// The synthetic beat plays until the capture carries sound (any sample more
// than 3 away from zero); from that block on the captured blocks play. When
// the capture has then been silent for `silenceSeconds` (silent blocks, or no
// blocks arriving at all) or the device stops, the synthetic beat takes over
// again with one on-screen message, and the next sound hands back at once. A
// device that stopped is opened again every `retrySeconds`.
//
// With `silenceSeconds` 0 (the `capture` setting) the capture plays from the
// start and through silence; only a stopped device brings the beat back.
//
// The synthetic beat is produced every frame whichever plays, so its clock
// never falls behind, and its blocks are dropped while the capture plays.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "app/settingsAccess.h"
#include "sound/captureSource.h"
#include "sound/soundSource.h"

class ListeningSource : public SoundSource {
public:
    using Opener = std::function<std::unique_ptr<CaptureSource>()>;

    struct Options {
        // Silence for this long hands over to the synthetic beat; 0 or less:
        // the capture always plays while it runs.
        float silenceSeconds = 20.0f;
        float retrySeconds = 30.0f;
    };

    // `open` gives a started capture, or null; it is called now and again
    // after the device stops. `fallback` must outlive this source.
    ListeningSource(Opener open, SoundSource& fallback, Options options);

    void produce(int milliseconds) override;
    // The synthetic beat's tempo, kept for when it plays.
    void setTempo(double beatsPerMinute) override { fallback_.setTempo(beatsPerMinute); }
    KnownBeat knownBeat() const override {
        return listening_ ? KnownBeat() : fallback_.knownBeat();
    }

    // True while the captured sound is what plays.
    bool listening() const { return listening_; }
    bool capturing() const { return capture_ != nullptr; }
    // Seconds of silence (or of no blocks) the capture has had in a row.
    float silentSeconds() const { return silentSeconds_; }

private:
    bool captureOnly() const { return !(options_.silenceSeconds > 0.0f); }
    void readCapture(float seconds);
    void fallBack(const char* message);
    void retry(float seconds);

    Opener open_;
    SoundSource& fallback_;
    Options options_;
    std::unique_ptr<CaptureSource> capture_;
    bool listening_ = false;
    float silentSeconds_ = 0.0f;
    float sinceRetry_ = 0.0f;
};

// Reads `sound.source` (auto, capture or synthetic) and `sound.device` and
// returns what to play instead of `fallback`, or null when the fallback
// should simply play: the setting says synthetic, or no device could be
// opened (logged; on screen when the user asked for capture or named a device).
std::unique_ptr<ListeningSource> openListeningSource(SettingsAccess& settings,
                                                     SoundSource& fallback);
