// Arbitrary bytes as a scene image: loading, the setup run, and every
// registered function run under a small budget with a few resumptions must
// neither crash, nor touch memory outside the VM, nor hang.
#include <cstddef>
#include <cstdint>
#include <string>

#include "vm/vm.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static bool ready = [] {
        // The sink formats nothing further; vmLog's own formatting still runs.
        vmSystemCreate([](const char*) {});
        vmSetMemoryLimit(1u << 25);
        vmSetSetupBudget(20);
        return true;
    }();
    (void)ready;
    VMState* vm = vmCreateFromBytes(data, size);
    if (!vm) return 0;
    if (!vm->errorFlag) {
        for (const std::string& name : vmFunctionNames(vm)) {
            bool finished = vmExecuteFunction(vm, name.c_str(), nullptr, 0, 5);
            for (int i = 0; i < 3 && !finished; ++i)
                finished = vmResume(vm, 5);
            vmStackDump(vm);
            if (vm->errorFlag || !finished) break;
        }
    }
    vmDestroy(vm);
    return 0;
}
