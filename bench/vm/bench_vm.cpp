// Runs each kernel in kernels/ as a VM image (NAME.vsa) and as Lua 5.4
// (NAME.lua, function main) in the same process, takes the best of a few
// runs of each, and prints both results and the time ratio VM / Lua.
// Kernel names on the command line choose some of them.
#include <algorithm>
#include <cstdio>
#include <string>

#include "bench/support/vmKernels.h"
#include "vm/assembler.h"

namespace {

constexpr int kRepeats = 9;
const char* const kKernels[] = {"int_loop",   "float_loop", "calls",      "transform", "heap_churn",
                                "int_shapes", "collatz",    "array_walk", "tak"};

// Best times of both, the runs interleaved so that a busy machine slows
// both alike. False when either side fails.
bool timeKernel(const std::string& name, double& vmBest, double& luaBest, double& luaResult) {
    std::string base = std::string(BENCH_VM_KERNELS) + "/" + name;
    AsmResult image = vmAssemble(readKernelFile(base + ".vsa"), base + ".vsa");
    for (const std::string& e : image.errors)
        std::fprintf(stderr, "%s\n", e.c_str());
    LuaKernel kernel(base + ".lua");
    bool ok = image.ok && kernel.loaded();
    vmBest = luaBest = 1e30;
    for (int i = 0; ok && i < kRepeats; ++i) {
        double vm = runKernelVm(image.words), lua = kernel.run(luaResult);
        ok = vm >= 0 && lua >= 0;
        vmBest = std::min(vmBest, vm);
        luaBest = std::min(luaBest, lua);
    }
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    kernelVmSystemCreate();
    std::printf("%-12s %12s %12s %10s   %s\n", "kernel", "vm ms", "lua ms", "vm/lua",
                "results (vm | lua)");
    int status = 0;
    for (const char* name : kKernels) {
        bool chosen = argc < 2;
        for (int i = 1; i < argc; ++i)
            chosen = chosen || std::string(argv[i]) == name;
        if (!chosen) continue;
        double vm = 0, lua = 0, luaResult = 0;
        if (!timeKernel(name, vm, lua, luaResult)) {
            std::printf("%-12s failed\n", name);
            status = 1;
            continue;
        }
        bool agree = kernelResultsAgree(lastKernelResult(), luaResult);
        if (!agree) status = 1;
        std::printf("%-12s %12.2f %12.2f %10.2f   %s | %.6f%s\n", name, vm * 1000, lua * 1000,
                    vm / lua, lastKernelPrint().c_str(), luaResult,
                    agree ? "" : "  RESULTS DIFFER");
    }
    kernelVmSystemDestroy();
    return status;
}
