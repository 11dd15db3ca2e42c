// jsrun: runs control scripts outside the visualiser, for script authors.
#include <cstdio>

#include "tools/jsrun/jsRunner.h"

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    auto write = [](FILE* stream) {
        return [stream](const std::string& text) {
            std::fwrite(text.data(), 1, text.size(), stream);
            std::fflush(stream);
        };
    };
    return jsRun(args, write(stdout), write(stderr));
}
