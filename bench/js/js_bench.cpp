// Runs control-script workloads with our engine and with the duktape command
// (/usr/bin/duk) in the same run and prints the CPU-time ratio per workload.
// CPU time rather than wall time, because the machine is shared; duk's start-up
// cost (measured with an empty script) is subtracted from its times.
#include <dirent.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "js/engine.h"
#include "js/library.h"

namespace {

constexpr int kRepeats = 5;

double threadSeconds() {
    timespec now;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return now.tv_sec + now.tv_nsec * 1e-9;
}

void print(CJsValue* scope, void* data) {
    *static_cast<std::string*>(data) += scope->argument("text")->asString() + "\n";
}

// Our engine: CPU seconds of the best of kRepeats runs; `output` gets what it printed.
double runOurs(const std::string& code, std::string* output) {
    double best = 1e9;
    for (int i = 0; i < kRepeats; i++) {
        std::string printed;
        double start = threadSeconds();
        {
            CJsEngine engine;
            registerBaseLibrary(engine);
            engine.registerNative("function print(text)", print, &printed);
            try {
                engine.runScript(code);
            } catch (const CScriptException& error) {
                printed += "JS Error: " + error.text + "\n";
            }
        }
        best = std::min(best, threadSeconds() - start);
        *output = printed;
    }
    return best;
}

// One run of duk on `path`: its CPU seconds (user + system), output in `output`.
double runDukOnce(const std::string& path, std::string* output) {
    int pipeFds[2];
    if (pipe(pipeFds) != 0) return -1;
    pid_t child = fork();
    if (child == 0) {
        dup2(pipeFds[1], 1);
        close(pipeFds[0]);
        close(pipeFds[1]);
        execl("/usr/bin/duk", "duk", path.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    close(pipeFds[1]);
    output->clear();
    char buffer[4096];
    ssize_t got;
    while ((got = read(pipeFds[0], buffer, sizeof buffer)) > 0)
        output->append(buffer, got);
    close(pipeFds[0]);
    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);
    if (!WIFEXITED(status) || WEXITSTATUS(status) == 127) return -1;
    return usage.ru_utime.tv_sec + usage.ru_utime.tv_usec * 1e-6 + usage.ru_stime.tv_sec +
           usage.ru_stime.tv_usec * 1e-6;
}

double runDuk(const std::string& path, std::string* output) {
    double best = 1e9;
    for (int i = 0; i < kRepeats; i++) {
        double seconds = runDukOnce(path, output);
        if (seconds < 0) return -1;
        best = std::min(best, seconds);
    }
    return best;
}

std::string readText(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

}  // namespace

int main(int argc, char** argv) {
    std::string directory = argc > 1 ? argv[1] : JS_BENCH_WORKLOADS;
    std::vector<std::string> names;
    if (DIR* dir = opendir(directory.c_str())) {
        while (dirent* entry = readdir(dir)) {
            std::string name = entry->d_name;
            if (name.size() > 3 && name.compare(name.size() - 3, 3, ".js") == 0)
                names.push_back(name);
        }
        closedir(dir);
    }
    std::sort(names.begin(), names.end());

    std::string emptyPath = "/tmp/js_bench_empty_" + std::to_string(getpid()) + ".js";
    std::ofstream(emptyPath) << "\n";
    std::string ignored;
    double dukStartup = runDuk(emptyPath, &ignored);
    unlink(emptyPath.c_str());
    if (dukStartup < 0) {
        std::printf("duk not found at /usr/bin/duk (package duktape); nothing to compare\n");
        return 1;
    }
    std::printf("duk start-up %.2f ms (subtracted)\n", dukStartup * 1e3);
    std::printf("%-24s %12s %12s %8s  %s\n", "workload", "ours ms", "duk ms", "ratio", "outputs");
    for (const std::string& name : names) {
        std::string path = directory + "/" + name;
        std::string ourOutput;
        std::string dukOutput;
        double ours = runOurs(readText(path), &ourOutput);
        double duk = std::max(runDuk(path, &dukOutput) - dukStartup, 1e-6);
        std::printf("%-24s %12.2f %12.2f %8.2f  %s\n", name.c_str(), ours * 1e3, duk * 1e3,
                    ours / duk, ourOutput == dukOutput ? "same" : "DIFFER");
    }
    return 0;
}
