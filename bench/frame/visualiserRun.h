// The whole visualiser in the frame bench: a base directory made for the
// run, and CVisMain stepping through it as the program's own loop does.
#pragma once

#include <string>

// What the base directory holds besides a copy of the default archives.
enum class BenchBase {
    // The default content with its own control script.
    DEFAULT_CONTENT,
    // An extra archive with a second scene and a control script that plays
    // fade(pulse-b, pulse) and keeps three on-screen messages.
    CROSSFADE_TREE,
};

// Makes a fresh directory under /tmp holding every .vortapack of `content`,
// a settings.js with a width x height window (swap interval off) and, for
// CROSSFADE_TREE, the bench archive. Returns it with a final '/', or "" with
// the reason on stderr.
std::string makeBenchBase(const std::string& content, BenchBase kind, int width, int height);
// Deletes a directory made by makeBenchBase.
void removeBenchBase(const std::string& base);

// Runs the visualiser on `base` until scenes play and the loading screen has
// faded, then `frames` steps inside benchVisFrames, and prints the wall
// clock per measured frame. With `fixedSound` the beat is made for 1/60 s per
// frame whatever the real frame time was, so that the sound analysis per
// frame does not grow with a slow run (under callgrind). 0 on success.
int runVisualiserFrames(const std::string& base, int frames, bool fixedSound);
