// Image tweak scripts: the JavaScript after the first ";" of a texture name,
// run on the decoded image before it is fitted and uploaded (for example
// "tex/sky.png;grey()" or "tex/ring.png;blur(2);hue(0.5)").
//
// Every run gets an interpreter of its own holding eleven natives bound to
// the image, so runs on the loader thread share nothing with the control
// script's interpreter on the main thread.
#pragma once

#include <cstdint>
#include <string>

struct Image;

// Pixels one run may read and write in all: about a second's work.
constexpr int64_t kImageTweakPixelAllowance = int64_t{1} << 28;

// Runs `script` on `image` (an empty script does nothing). A script error is
// logged as "ImageTweak JS Error: ..." at level 2; what the script did to the
// image before the error stays. Each operation is charged the pixels of the
// image it works on (and of the new size for resize and scale); one that
// would pass `pixelAllowance` ends the script with "image tweak work limit".
void imageTweakRun(Image* image, const std::string& script,
                   int64_t pixelAllowance = kImageTweakPixelAllowance);
