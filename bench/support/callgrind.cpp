#include "bench/support/callgrind.h"

#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <map>

Share shareOf(const std::string& object, const std::string& executable) {
    if (object.empty() || object == executable) return OWN;
    for (const char* runtime :
         {"/libc.so", "/libm.so", "/libstdc++.so", "/libgcc_s.so", "/ld-linux"})
        if (object.find(runtime) != std::string::npos) return RUNTIME;
    return DRIVER;
}

// A cost line counts for the object of the function it follows, except the
// line right after "calls=", which is the inclusive cost of a call.
bool sumCallgrindFile(const std::string& path, const std::string& executable, double totals[3]) {
    FILE* file = std::fopen(path.c_str(), "r");
    if (!file) return false;
    std::map<std::string, std::string> objects;  // "(n)" -> name
    std::string object;                          // of the current "ob="
    Share share = OWN;                           // of the current function
    bool afterCalls = false;
    char line[16384];
    while (std::fgets(line, sizeof line, file)) {
        std::string text = line;
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
            text.pop_back();
        bool callee = text.rfind("cob=", 0) == 0;
        if (callee || text.rfind("ob=", 0) == 0) {
            // Names are compressed: "(n) name" the first time, "(n)" after,
            // in one numbering shared by ob= and cob=.
            std::string rest = text.substr(callee ? 4 : 3);
            std::string name = rest;
            size_t close = rest.find(')');
            if (!rest.empty() && rest[0] == '(' && close != std::string::npos) {
                std::string key = rest.substr(0, close + 1);
                if (close + 2 < rest.size()) objects[key] = rest.substr(close + 2);
                name = objects[key];
            }
            if (!callee) object = name;
        } else if (text.rfind("fn=", 0) == 0) {
            share = shareOf(object, executable);
        } else if (text.rfind("calls=", 0) == 0) {
            afterCalls = true;
        } else if (!text.empty() && (std::isdigit(static_cast<unsigned char>(text[0])) ||
                                     text[0] == '+' || text[0] == '-' || text[0] == '*')) {
            if (afterCalls) {
                afterCalls = false;
                continue;
            }
            size_t space = text.find_last_of(' ');
            if (space != std::string::npos) totals[share] += std::atof(text.c_str() + space + 1);
        }
    }
    std::fclose(file);
    return true;
}

std::string self() {
    char path[4096];
    ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) return "";
    path[n] = 0;
    return path;
}

double wallClockOf(const std::string& arguments) {
    std::string program = self();
    FILE* pipe = popen((program + " " + arguments + " 2>&1").c_str(), "r");
    if (!pipe) return 0;
    double milliseconds = 0;
    char line[1024];
    std::string output;
    while (std::fgets(line, sizeof line, pipe)) {
        output += line;
        std::sscanf(line, "wall clock: %lf ms per frame", &milliseconds);
    }
    if (pclose(pipe) != 0) {
        std::string name = program.substr(program.find_last_of('/') + 1);
        std::fprintf(stderr, "%s: '%s' failed:\n%s", name.c_str(), arguments.c_str(),
                     output.c_str());
        return 0;
    }
    return milliseconds;
}

bool haveTool(const char* name) {
    std::string command = std::string("command -v ") + name + " >/dev/null 2>&1";
    return std::system(command.c_str()) == 0;
}
