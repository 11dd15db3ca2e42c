// vortapack: create, list, print, extract, verify and serve content archives.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
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
    "       vortapack [-v] serve [--port N] [--bind ADDR] [--requests N] DIR\n"
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
    "serve    answers the visualiser's update requests with the archives in DIR\n"
    "         and serves them, until SIGINT or SIGTERM (or N answered requests\n"
    "         with --requests). Listens on 127.0.0.1:8080 unless --bind and\n"
    "         --port say otherwise; --port 0 picks a free port. Prints the\n"
    "         address, then one line per request.\n"
    "-v       also shows informational messages.\n"
    "\n"
    "Exit status: 0 success, 1 failure (reason on stderr), 2 bad usage.\n";

int usageError(const std::string& problem) {
    std::fprintf(stderr, "vortapack: %s\n%s", problem.c_str(), kUsage);
    return kExitUsage;
}

struct Options {
    bool store = false;
    bool serveOptions = false;  // some option of serve was given
    ServeOptions serve;
};

// The number in `text`, when all of it is one within [low, high].
bool parseNumber(const std::string& text, long low, long high, long& value) {
    char* end = nullptr;
    errno = 0;
    value = std::strtol(text.c_str(), &end, 10);
    return !text.empty() && *end == '\0' && errno == 0 && value >= low && value <= high;
}

// Options that take a value: --port, --bind, --requests. Returns false for
// anything else; `problem` is set when the option is one of them but wrong.
bool valueOption(const std::string& arg, const char* value, Options& options,
                 std::string& problem) {
    if (arg != "--port" && arg != "--bind" && arg != "--requests") return false;
    options.serveOptions = true;
    long number = 0;
    if (!value) {
        problem = arg + " needs a value";
    } else if (arg == "--bind") {
        options.serve.bind = value;
    } else if (arg == "--port") {
        if (parseNumber(value, 0, 65535, number))
            options.serve.port = static_cast<int>(number);
        else
            problem = "--port needs a number from 0 to 65535";
    } else if (parseNumber(value, 1, 1L << 30, number)) {
        options.serve.requests = number;
    } else {
        problem = "--requests needs a positive number";
    }
    return true;
}

int run(const std::string& command, const std::vector<std::string>& args, const Options& options) {
    if (options.store && command != "create") return usageError("--store applies to create only");
    if (options.serveOptions && command != "serve")
        return usageError("--port, --bind and --requests apply to serve only");
    if (command == "create") {
        if (args.size() < 2) return usageError("create needs OUT and at least one input");
        return packCreate(args[0], std::vector<std::string>(args.begin() + 1, args.end()),
                          options.store);
    }
    if (command == "serve") {
        if (args.size() != 1) return usageError("serve needs exactly one DIR");
        return packServe(args[0], options.serve);
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
    bool verbose = false, optionsDone = false;
    Options options;
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
            options.store = true;
        } else if (std::string problem;
                   !optionsDone &&
                   valueOption(arg, i + 1 < argc ? argv[i + 1] : nullptr, options, problem)) {
            if (!problem.empty()) return usageError(problem);
            ++i;
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
        return run(command, args, options);
    } catch (const VisException& e) {
        return kExitFailure;  // already on stderr through the mirror
    }
}
