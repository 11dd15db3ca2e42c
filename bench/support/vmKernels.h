// Kernels of the VM benchmarks: one timed run of a VM image's "V main()"
// in a fresh VM, one timed call of a Lua 5.4 chunk's main(), and the result
// each printed, so that bench/vm and bench/vsc time their peers the same way.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct lua_State;

// Creates the VM registry with a log sink that keeps what the kernels print.
bool kernelVmSystemCreate();
void kernelVmSystemDestroy();

// One timed run of "V main()" in a fresh VM (so that heap kernels start from
// the same memory each time); seconds, or -1 on failure.
double runKernelVm(const std::vector<uint32_t>& image);
// Instructions the VM dispatches in one run of "V main()" (a superinstruction
// counts once): a measure of the code that no load on the machine moves.
// 0 on failure.
uint64_t countKernelDispatches(const std::vector<uint32_t>& image);
// The text of the last "VM PRINT" line and the number at its end.
std::string lastKernelPrint();
double lastKernelResult();

// A Lua 5.4 state with one kernel file loaded.
class LuaKernel {
public:
    explicit LuaKernel(const std::string& path);
    ~LuaKernel();
    LuaKernel(const LuaKernel&) = delete;
    LuaKernel& operator=(const LuaKernel&) = delete;

    bool loaded() const { return loaded_; }
    // One timed call of main(); seconds, or -1 on failure. `result` gets
    // what main returned.
    double run(double& result);

private:
    lua_State* state_;
    bool loaded_ = false;
};

// The VM computes in single precision, Lua in double: results agree when
// within 0.1%.
bool kernelResultsAgree(double a, double b);

std::string readKernelFile(const std::string& path);
