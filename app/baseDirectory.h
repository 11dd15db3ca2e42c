// Where the program finds its content archives and keeps settings.js and
// log.txt. In order: $VORTALIS_BASE_DIR; the per-user data folder
// ($XDG_DATA_HOME, or $HOME/.local/share) plus "VortalisScreensaver" when that
// folder exists; otherwise the installed data directory, or, for a program run
// from its build tree, the build tree's content directory.
#pragma once

#include <string>

struct BaseDirectoryInputs {
    const char* overrideDir = nullptr;  // $VORTALIS_BASE_DIR
    const char* xdgDataHome = nullptr;
    const char* home = nullptr;
    std::string executablePath;  // of the running program
    std::string buildDir;        // the build tree the program was built in
    std::string buildContentDir;
    std::string installedDataDir;
};

// Uses '/' separators and ends in '/'.
std::string normaliseDirectory(std::string path);

// The per-user data folder, created when missing; empty when neither
// variable is set.
std::string userDataFolder(const BaseDirectoryInputs& inputs);

std::string settleBaseDirectory(const BaseDirectoryInputs& inputs);

// The inputs of this process: its environment, /proc/self/exe and the
// directories configured at build time.
BaseDirectoryInputs processBaseDirectoryInputs();
