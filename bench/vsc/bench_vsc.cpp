// Runs each kernel of bench/vm three ways in the same process: compiled
// from the scene language (kernels/NAME.vsl, built by vsc), assembled from
// its hand-written assembler (bench/vm/kernels/NAME.vsa) and as Lua 5.4
// (NAME.lua). The runs are interleaved, the best of nine of each is taken,
// the three results must agree, and the ratios compiled / assembler and
// compiled / Lua are printed, with the ratio of the instructions the VM
// dispatched for each image, which no load on the machine moves. A kernel of bench/vm without a
// port is listed so that it is not forgotten.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/support/vmKernels.h"
#include "vm/assembler.h"

namespace {

constexpr int kRepeats = 9;
constexpr double kGoal = 1.1;  // compiled against hand-written

struct Side {
    std::vector<uint32_t> image;
    double best = 1e30;
    double result = 0;
    uint64_t dispatches = 0;
};

// Kernel names: every NAME.vsa of bench/vm, sorted.
std::vector<std::string> kernelNames() {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(BENCH_VM_KERNELS))
        if (entry.path().extension() == ".vsa") names.push_back(entry.path().stem().string());
    std::sort(names.begin(), names.end());
    return names;
}

// One timed VM run; keeps the best time and the printed result.
bool timeVm(Side& side) {
    double t = runKernelVm(side.image);
    if (t < 0) return false;
    side.best = std::min(side.best, t);
    side.result = lastKernelResult();
    return true;
}

// 0: timed, 1: failed, 2: no port.
int timeKernel(const std::string& name, Side& compiled, Side& assembled, Side& lua) {
    std::string base = std::string(BENCH_VM_KERNELS) + "/" + name;
    std::string imagePath = std::string(BENCH_VSC_IMAGES) + "/" + name + ".vsi";
    if (!std::filesystem::exists(imagePath)) return 2;
    compiled.image = vmImageWords([&] {
        std::string bytes = readKernelFile(imagePath);
        return std::vector<uint8_t>(bytes.begin(), bytes.end());
    }());
    AsmResult source = vmAssemble(readKernelFile(base + ".vsa"), base + ".vsa");
    for (const std::string& e : source.errors)
        std::fprintf(stderr, "%s\n", e.c_str());
    assembled.image = source.words;
    LuaKernel kernel(base + ".lua");
    bool ok = source.ok && !compiled.image.empty() && kernel.loaded();
    if (ok) {
        compiled.dispatches = countKernelDispatches(compiled.image);
        assembled.dispatches = countKernelDispatches(assembled.image);
        ok = compiled.dispatches > 0 && assembled.dispatches > 0;
    }
    for (int i = 0; ok && i < kRepeats; ++i) {
        double luaTime = 0;
        ok = timeVm(compiled) && timeVm(assembled) && (luaTime = kernel.run(lua.result)) >= 0;
        lua.best = std::min(lua.best, luaTime);
    }
    return ok ? 0 : 1;
}

}  // namespace

int main() {
    kernelVmSystemCreate();
    std::printf("%-12s %10s %10s %10s %9s %9s %9s   %s\n", "kernel", "vsc ms", "vsa ms", "lua ms",
                "vsc/vsa", "vsc/lua", "dispatch", "results (vsc | vsa | lua)");
    int status = 0;
    for (const std::string& name : kernelNames()) {
        Side compiled, assembled, lua;
        int outcome = timeKernel(name, compiled, assembled, lua);
        if (outcome == 2) {
            std::printf("%-12s no port in kernels/%s.vsl\n", name.c_str(), name.c_str());
            continue;
        }
        if (outcome == 1) {
            std::printf("%-12s failed\n", name.c_str());
            status = 1;
            continue;
        }
        bool agree = kernelResultsAgree(compiled.result, lua.result) &&
                     kernelResultsAgree(assembled.result, lua.result);
        if (!agree) status = 1;
        double ratio = compiled.best / assembled.best;
        double dispatchRatio = static_cast<double>(compiled.dispatches) / assembled.dispatches;
        std::printf("%-12s %10.2f %10.2f %10.2f %9.2f %9.2f %9.3f   %g | %g | %g%s%s\n",
                    name.c_str(), compiled.best * 1000, assembled.best * 1000, lua.best * 1000,
                    ratio, compiled.best / lua.best, dispatchRatio, compiled.result,
                    assembled.result, lua.result, agree ? "" : "  RESULTS DIFFER",
                    ratio > kGoal ? "  above the goal" : "");
    }
    kernelVmSystemDestroy();
    return status;
}
