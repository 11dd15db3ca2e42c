// What the program does between parsing its command line and exiting.
#pragma once

#include <string>
#include <vector>

#include "app/commandLine.h"

class CVisMain;

// The start-up line's texts: the real pointer width and build date.
std::string versionLine();

// Runs the visualiser on the base directory until a click, sustained mouse
// movement, a closed window, the script's exit() or a signal ends it; in a
// screensaver host's window only the last three do. Returns the exit code:
// 0, or 2 when there is no display to draw on.
int runVisualiser(const LaunchOptions& options, const std::string& baseDirectory);

// --verbose: every log line is echoed to standard error as well.
void mirrorLogToStderr();

// SIGTERM, SIGINT and SIGHUP (how screensaver hosts and terminals end a
// program) only set a flag that the frame loops read, so that the run ends
// in its normal shutdown order and saves what it keeps. SDL's own handlers
// are turned off, so that there is one way a signal ends the run.
void installQuitSignals();
// The signal that asked the program to end, or 0.
int quitSignalReceived();

// Steps the visualiser until it asks to quit or a quit signal arrives.
void runFrameLoop(CVisMain& vis);
