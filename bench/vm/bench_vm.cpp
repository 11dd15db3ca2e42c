// Runs each kernel in kernels/ as a VM image (NAME.vsa) and as Lua 5.4
// (NAME.lua, function main) in the same process, takes the best of a few
// runs of each, and prints both results and the time ratio VM / Lua.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include <lua.hpp>

#include "vm/assembler.h"
#include "vm/vm.h"

namespace {

constexpr int kRepeats = 9;
const char* const kKernels[] = {"int_loop", "float_loop", "calls", "transform", "heap_churn"};

std::string readText(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string lastPrint;

double seconds(std::chrono::steady_clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

// One timed run of the kernel's "V main()" in a fresh VM (so that the heap
// kernel starts from the same memory each time); -1 on failure.
double runVm(const AsmResult& image) {
    VMState* vm = vmCreate(image.words.data(), static_cast<int>(image.words.size()));
    auto start = std::chrono::steady_clock::now();
    vmExecuteFunction(vm, "V main()", nullptr, 0, 0);
    double elapsed = seconds(std::chrono::steady_clock::now() - start);
    bool failed = vm->errorFlag;
    vmDestroy(vm);
    return failed ? -1 : elapsed;
}

// One timed call of the Lua kernel's main(); -1 on failure.
double runLua(lua_State* L, double& result) {
    lua_getglobal(L, "main");
    auto start = std::chrono::steady_clock::now();
    int status = lua_pcall(L, 0, 1, 0);
    double elapsed = seconds(std::chrono::steady_clock::now() - start);
    if (status != LUA_OK) {
        std::fprintf(stderr, "%s\n", lua_tostring(L, -1));
        return -1;
    }
    result = lua_tonumber(L, -1);
    lua_pop(L, 1);
    return elapsed;
}

// Best times of both, the runs interleaved so that a busy machine slows
// both alike. False when either side fails.
bool timeKernel(const std::string& name, double& vmBest, double& luaBest, double& luaResult) {
    std::string base = std::string(BENCH_VM_KERNELS) + "/" + name;
    AsmResult image = vmAssemble(readText(base + ".vsa"), base + ".vsa");
    for (const std::string& e : image.errors)
        std::fprintf(stderr, "%s\n", e.c_str());
    lua_State* L = luaL_newstate();
    luaL_openlibs(L);
    bool ok = image.ok;
    if (luaL_dofile(L, (base + ".lua").c_str()) != LUA_OK) {
        std::fprintf(stderr, "%s\n", lua_tostring(L, -1));
        ok = false;
    }
    vmBest = luaBest = 1e30;
    for (int i = 0; ok && i < kRepeats; ++i) {
        double vm = runVm(image), lua = runLua(L, luaResult);
        ok = vm >= 0 && lua >= 0;
        vmBest = std::min(vmBest, vm);
        luaBest = std::min(luaBest, lua);
    }
    lua_close(L);
    return ok;
}

}  // namespace

int main() {
    vmSystemCreate([](const char* text) {
        std::string line = text + 1;
        if (line.compare(0, 10, "VM PRINT: ") == 0) lastPrint = line.substr(10);
    });
    std::printf("%-12s %12s %12s %10s   %s\n", "kernel", "vm ms", "lua ms", "vm/lua",
                "results (vm | lua)");
    int status = 0;
    for (const char* name : kKernels) {
        lastPrint.clear();
        double vm = 0, lua = 0, luaResult = 0;
        if (!timeKernel(name, vm, lua, luaResult)) {
            std::printf("%-12s failed\n", name);
            status = 1;
            continue;
        }
        if (!lastPrint.empty() && lastPrint.back() == '\n') lastPrint.pop_back();
        // The VM computes in single precision, Lua in double: agree to 0.1%.
        size_t quote = lastPrint.rfind('\'');
        double vmResult = quote == std::string::npos ? 0 : std::atof(lastPrint.c_str() + quote + 1);
        bool agree = std::fabs(vmResult - luaResult) <= 1e-3 * std::max(1.0, std::fabs(luaResult));
        if (!agree) status = 1;
        std::printf("%-12s %12.2f %12.2f %10.2f   %s | %.6f%s\n", name, vm * 1000, lua * 1000,
                    vm / lua, lastPrint.c_str(), luaResult, agree ? "" : "  RESULTS DIFFER");
    }
    vmSystemDestroy();
    return status;
}
