// The preview's command line:
//   vortalis-preview [--base DIR] [--size WxH] [--frames N] [--shot FILE.png]
//                    [--bpm B | --silence] [--record FILE] SCENE_ID
#pragma once

#include <string>

struct PreviewOptions {
    std::string base;  // empty: the visualiser's base directory
    int width = 640;
    int height = 480;
    int frames = 0;  // 0: run until the window is closed
    std::string shot;
    double bpm = 140.0;  // 0: the synthetic beat makes silent blocks
    std::string record;  // every frame's pixels and sound values go here
    std::string sceneId;
    bool help = false;
};

// Fills `options`; false with the reason in `error` for a bad command line.
bool parsePreviewOptions(int argc, const char* const* argv, PreviewOptions& options,
                         std::string& error);

extern const char* const kPreviewUsage;
