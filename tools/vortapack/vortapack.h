// The commands of the archive tool. Each returns the process exit code:
// 0 success, 1 failure (reasons on stderr). Reading goes through the same
// CVFileArchive and CVFile code that the visualiser uses.
#pragma once

#include <string>
#include <vector>

constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

// Packs files and directory trees into `output`. A directory contributes every
// file below it under its path relative to that directory ('/'-separated); a
// file contributes itself under its own name. Entries are sorted by name.
int packCreate(const std::string& output, const std::vector<std::string>& inputs, bool store);
// One line per entry: flags, stored size, size, checksum, name.
int packList(const std::string& archive);
// The content of the first entry called `name`, to stdout.
int packCat(const std::string& archive, const std::string& name);
// Writes every entry below `directory`; refuses archives with unsafe names.
int packExtract(const std::string& archive, const std::string& directory);
// Loads every entry; fails if any entry or header is damaged.
int packVerify(const std::string& archive);

struct ServeOptions {
    std::string bind = "127.0.0.1";
    int port = 8080;    // 0 picks a free port (shown in the first line)
    long requests = 0;  // stop after this many answered requests; 0 never
};
// Serves the archives in `directory` to the visualiser's updater over HTTP/1.0
// until SIGINT or SIGTERM (or the request limit): an update list naming every
// archive with its size and checksum, and the archives themselves. Prints the
// address, then one line per request, to stdout.
int packServe(const std::string& directory, const ServeOptions& options);

// Counts logged warnings and errors (damaged headers are dropped by the
// reader with a message only, so verify counts messages to notice them).
void packCountMessage(int level);
int packProblemsLogged();
