// vortapack: create, list, print, extract and verify content archives.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/log.h"
#include "tools/vortapack/vortapack.h"

namespace {

const char* const kUsage =
    "usage: vortapack [-v] create [--store] OUT FILE_OR_DIR...\n"
    "       vortapack [-v] list ARCHIVE\n"
    "       vortapack [-v] cat ARCHIVE NAME\n"
    "       vortapack [-v] extract ARCHIVE DIR\n"
    "       vortapack [-v] verify ARCHIVE\n"
    "       vortapack --help\n"
    "\n"
    "create   packs files and directory trees into a new archive. Files below a\n"
    "         directory are named by their path relative to it ('/' separated),\n"
    "         a file given directly by its own name. Entries are compressed\n"
    "         unless --store is given.\n"
    "list     prints one line per entry: flags, stored size, size, checksum, name.\n"
    "cat      writes the content of the named entry to stdout.\n"
    "extract  writes every entry below DIR; refuses archives whose entry names\n"
    "         are absolute or contain a '..' component.\n"
    "verify   loads and checks every entry.\n"
    "-v       also shows informational messages.\n"
    "\n"
    "Exit status: 0 success, 1 failure (reason on stderr), 2 bad usage.\n";

int usageError(const std::string& problem) {
    std::fprintf(stderr, "vortapack: %s\n%s", problem.c_str(), kUsage);
    return kExitUsage;
}

int run(const std::string& command, const std::vector<std::string>& args, bool store) {
    if (store && command != "create") return usageError("--store applies to create only");
    if (command == "create") {
        if (args.size() < 2) return usageError("create needs OUT and at least one input");
        return packCreate(args[0], std::vector<std::string>(args.begin() + 1, args.end()), store);
    }
    if (command == "list" || command == "verify") {
        if (args.size() != 1) return usageError(command + " needs exactly one ARCHIVE");
        return command == "list" ? packList(args[0]) : packVerify(args[0]);
    }
    if (command == "cat" || command == "extract") {
        if (args.size() != 2) return usageError(command + " needs ARCHIVE and one more argument");
        return command == "cat" ? packCat(args[0], args[1]) : packExtract(args[0], args[1]);
    }
    return usageError("unknown command '" + command + "'");
}

}  // namespace

int main(int argc, char** argv) {
    bool verbose = false, store = false, optionsDone = false;
    std::string command;
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (!optionsDone && arg == "--help") {
            std::fputs(kUsage, stdout);
            return kExitOk;
        }
        if (!optionsDone && arg == "--") {
            optionsDone = true;
        } else if (!optionsDone && (arg == "-v" || arg == "--verbose")) {
            verbose = true;
        } else if (!optionsDone && arg == "--store") {
            store = true;
        } else if (!optionsDone && arg.size() > 1 && arg[0] == '-') {
            return usageError("unknown option '" + arg + "'");
        } else if (command.empty()) {
            command = arg;
        } else {
            args.push_back(arg);
        }
    }
    if (command.empty()) return usageError("no command given");
    logSetMirror([verbose](int level, const char*, const char* text) {
        packCountMessage(level);
        if (level == LOG_INFO && !verbose) return;
        std::fprintf(stderr, "vortapack: %s", text);
        size_t length = std::strlen(text);
        if (length == 0 || text[length - 1] != '\n') std::fputc('\n', stderr);
    });
    try {
        return run(command, args, store);
    } catch (const VisException& e) {
        return kExitFailure;  // already on stderr through the mirror
    }
}
