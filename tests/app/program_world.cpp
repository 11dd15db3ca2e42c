#include "tests/app/program_world.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

pid_t startProgram(const std::string& base, const std::vector<std::string>& arguments,
                   const std::vector<std::pair<std::string, std::string>>& environment) {
    pid_t child = fork();
    if (child == 0) {
        setenv("VORTALIS_BASE_DIR", base.c_str(), 1);
        unsetenv("XSCREENSAVER_WINDOW");
        for (const auto& [name, value] : environment)
            setenv(name.c_str(), value.c_str(), 1);
        std::string output = base + "output.txt";
        if (!freopen(output.c_str(), "w", stdout) || !freopen(output.c_str(), "a", stderr))
            _exit(126);
        std::vector<char*> argv{const_cast<char*>(VORTALIS_PROGRAM)};
        for (const std::string& argument : arguments)
            argv.push_back(const_cast<char*>(argument.c_str()));
        argv.push_back(nullptr);
        execv(VORTALIS_PROGRAM, argv.data());
        _exit(127);
    }
    return child;
}

int waitForExit(pid_t child, int seconds) {
    for (int i = 0; i < seconds * 20; i++) {
        int status = 0;
        if (waitpid(child, &status, WNOHANG) == child)
            return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    return -1;
}

bool stillRunning(pid_t child) {
    int status = 0;
    return waitpid(child, &status, WNOHANG) == 0;
}
