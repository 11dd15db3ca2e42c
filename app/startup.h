// What the program does between parsing its command line and exiting.
#pragma once

#include <string>
#include <vector>

#include "app/commandLine.h"

// The start-up line's texts: the real pointer width and build date.
std::string versionLine();

// Runs the visualiser on the base directory until a click, sustained mouse
// movement, a closed window or the script's exit() ends it. Returns the exit
// code: 0, or 2 when there is no display to draw on.
int runVisualiser(const LaunchOptions& options, const std::string& baseDirectory);
