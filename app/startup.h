// What the program does between parsing its command line and exiting.
#pragma once

#include <string>
#include <vector>

#include "app/commandLine.h"

// Queues the names that end in ".xml" and are not queued yet; returns the new
// queue length (the total the loading phase counts down from).
int queueSceneLists(std::vector<std::string>& queue, const std::vector<std::string>& names);

// The start-up line's texts: the real pointer width and build date.
std::string versionLine();

// Runs the visualiser on the base directory: logs the start-up lines, mounts
// every archive there and queues the scene lists it finds. Returns the exit code.
int runVisualiser(const LaunchOptions& options, const std::string& baseDirectory);
