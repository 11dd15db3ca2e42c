#include "bench/support/vmKernels.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include <lua.hpp>

#include "vm/vm.h"

namespace {

std::string lastPrint;

double seconds(std::chrono::steady_clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

}  // namespace

bool kernelVmSystemCreate() {
    return vmSystemCreate([](const char* text) {
        std::string line = text + 1;
        if (line.compare(0, 10, "VM PRINT: ") == 0) {
            lastPrint = line.substr(10);
            if (!lastPrint.empty() && lastPrint.back() == '\n') lastPrint.pop_back();
        }
    });
}

void kernelVmSystemDestroy() {
    vmSystemDestroy();
}

double runKernelVm(const std::vector<uint32_t>& image) {
    VMState* vm = vmCreate(image.data(), static_cast<int>(image.size()));
    if (!vm) return -1;
    auto start = std::chrono::steady_clock::now();
    vmExecuteFunction(vm, "V main()", nullptr, 0, 0);
    double elapsed = seconds(std::chrono::steady_clock::now() - start);
    bool failed = vm->errorFlag;
    vmDestroy(vm);
    return failed ? -1 : elapsed;
}

uint64_t countKernelDispatches(const std::vector<uint32_t>& image) {
    VMState* vm = vmCreate(image.data(), static_cast<int>(image.size()));
    if (!vm) return 0;
    vmEnableProfile(vm, true);
    vmExecuteFunction(vm, "V main()", nullptr, 0, 0);
    uint64_t total = 0;
    for (uint64_t count : vmProfileCounts(vm))
        total += count;
    bool failed = vm->errorFlag;
    vmDestroy(vm);
    return failed ? 0 : total;
}

std::string lastKernelPrint() {
    return lastPrint;
}

double lastKernelResult() {
    // "'label' value": the number after the closing quote.
    size_t quote = lastPrint.rfind('\'');
    return quote == std::string::npos ? 0 : std::atof(lastPrint.c_str() + quote + 1);
}

LuaKernel::LuaKernel(const std::string& path) : state_(luaL_newstate()) {
    luaL_openlibs(state_);
    loaded_ = luaL_dofile(state_, path.c_str()) == LUA_OK;
    if (!loaded_) std::fprintf(stderr, "%s\n", lua_tostring(state_, -1));
}

LuaKernel::~LuaKernel() {
    lua_close(state_);
}

double LuaKernel::run(double& result) {
    lua_getglobal(state_, "main");
    auto start = std::chrono::steady_clock::now();
    int status = lua_pcall(state_, 0, 1, 0);
    double elapsed = seconds(std::chrono::steady_clock::now() - start);
    if (status != LUA_OK) {
        std::fprintf(stderr, "%s\n", lua_tostring(state_, -1));
        lua_pop(state_, 1);
        return -1;
    }
    result = lua_tonumber(state_, -1);
    lua_pop(state_, 1);
    return elapsed;
}

bool kernelResultsAgree(double a, double b) {
    return std::fabs(a - b) <= 1e-3 * std::max(1.0, std::fabs(b));
}

std::string readKernelFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}
