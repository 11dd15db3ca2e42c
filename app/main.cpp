// The entry point: settles the base directory, then acts on the command line.
#include <cstdio>
#include <cstdlib>

#include "app/baseDirectory.h"
#include "app/commandLine.h"
#include "app/configDialogWindow.h"
#include "app/log.h"
#include "app/offlineRender.h"
#include "app/startup.h"

int main(int argc, char** argv) {
    LaunchOptions options = parseCommandLine(argc, argv);
    std::string warning = applyHostEnvironment(options, std::getenv("XSCREENSAVER_WINDOW"));
    if (!warning.empty()) std::fprintf(stderr, "vortalis: %s\n", warning.c_str());
    std::string baseDirectory = settleBaseDirectory(processBaseDirectoryInputs());
    logSetDirectory(baseDirectory);
    switch (options.mode) {
        case LaunchMode::Help:
            std::fputs(usageText(), stdout);
            return 0;
        case LaunchMode::Version:
            std::printf("%s\n", versionLine().c_str());
            return 0;
        case LaunchMode::Refuse:
            if (!options.error.empty())
                std::fprintf(stderr, "vortalis: %s\n", options.error.c_str());
            return launchExitCode(options);
        case LaunchMode::Configure:
            return runConfigDialog(baseDirectory);
        case LaunchMode::Visualiser:
        case LaunchMode::Render:
            break;
    }
    try {
        if (options.mode == LaunchMode::Render) return runOfflineRender(options, baseDirectory);
        return runVisualiser(options, baseDirectory);
    } catch (const VisException& fatal) {
        // The message is already in log.txt; say it where the user sees it too.
        std::fprintf(stderr, "vortalis: fatal error: %s", fatal.message.c_str());
        return 3;
    }
}
