// Arbitrary bytes as a scene image: loading, the setup run, and every
// registered function run under a small budget with a few resumptions must
// neither crash, nor touch memory outside the VM, nor hang.
//
// The work one input can cause is bounded so that the fuzzer spends its time
// on many inputs rather than on a few long loops: images are short, every
// run stops after a few thousand branches (the same stop on any machine,
// unlike a time budget), and each VM gets a small heap and stack that is
// cheap to create, clear and release.
#include <cstddef>
#include <cstdint>
#include <string>

#include "vm/vm.h"

namespace {

constexpr size_t kMaxImageBytes = 16384;
constexpr int kMaxFunctions = 4;
constexpr int kResumptions = 2;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static bool ready = [] {
        // The sink formats nothing further; vmLog's own formatting still runs.
        vmSystemCreate([](const char*) {});
        vmSetHeapLayout(1 << 14, 1 << 11);
        vmSetMemoryLimit(1u << 20);
        vmSetWorkLimit(1000);
        vmSetSetupBudget(20);
        return true;
    }();
    (void)ready;
    if (size > kMaxImageBytes) return -1;
    VMState* vm = vmCreateFromBytes(data, size);
    if (!vm) return 0;
    if (!vm->errorFlag) {
        int runs = 0;
        for (const std::string& name : vmFunctionNames(vm)) {
            if (runs++ == kMaxFunctions) break;
            bool finished = vmExecuteFunction(vm, name.c_str(), nullptr, 0, 5);
            for (int i = 0; i < kResumptions && !finished; ++i)
                finished = vmResume(vm, 5);
            vmStackDump(vm);
            if (vm->errorFlag || !finished) break;
        }
    }
    vmDestroy(vm);
    return 0;
}
