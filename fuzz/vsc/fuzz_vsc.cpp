// Arbitrary text as a scene-language program: the compiler must answer with
// an image or one positioned message, never crash or hang. Every image it
// emits must load (its natives exist, its setup succeeds unless its static
// data is larger than the memory this target allows a VM), and each
// registered function runs for about a thousand branches with zero arguments;
// the VM may report an error (a failed assert, a bad pointer), but nothing
// may touch memory outside the VM.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "vm/native.h"
#include "vm/vm.h"
#include "vsc/compiler.h"

namespace {

// Set when the VM's memory manager refuses an image's memory: a program may
// declare more static data than the small memory limit below allows.
bool memoryRefused = false;

void noteRefusals(const char* message) {
    if (std::strstr(message, "CVMMemMgr::CVMMemMgr MALLOC RETURNED 0")) memoryRefused = true;
}

// True when every native the image binds is in the table, so that its
// setup must succeed.
bool nativesKnown(const std::string& assembly) {
    size_t at = 0;
    while ((at = assembly.find("\n.native ", at)) != std::string::npos) {
        size_t open = assembly.find('"', at);
        size_t close = assembly.find('"', open + 1);
        if (vmFindNative(assembly.substr(open + 1, close - open - 1).c_str()) < 0) return false;
        at = close;
    }
    return true;
}

// Words of arguments a signature takes: Vector3 is three, the rest one.
int argumentWords(const std::string& signature) {
    size_t open = signature.find('(');
    if (open == std::string::npos || signature.compare(open, 2, "()") == 0) return 0;
    int words = 1;
    for (size_t i = open; i < signature.size(); ++i)
        if (signature[i] == ',') ++words;
    for (size_t at = signature.find("Vector3"); at != std::string::npos;
         at = signature.find("Vector3", at + 1))
        words += 2;
    return words;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static bool ready = [] {
        vmSystemCreate(noteRefusals);
        // A small heap and a branch budget rather than a time budget: every
        // input then costs about the same, on a fast machine or a loaded one.
        vmSetHeapLayout(1 << 14, 1 << 11);
        vmSetMemoryLimit(1u << 20);
        vmSetWorkLimit(1000);
        vmSetSetupBudget(20);
        return true;
    }();
    (void)ready;
    // Longer texts only repeat what shorter ones reach, at the compiler's cost.
    if (size > 4096) return -1;
    VscResult result =
        vscCompile({{"fuzz.vsl", std::string(reinterpret_cast<const char*>(data), size)}});
    if (!result.ok) {
        if (result.error.compare(0, 9, "fuzz.vsl:") != 0 &&
            result.error.compare(0, 12, "natives.vsh:") != 0)
            std::abort();  // every message names a position in a file
        return 0;
    }
    memoryRefused = false;
    VMState* vm = vmCreate(result.words.data(), static_cast<int>(result.words.size()));
    if (!vm) return 0;
    // A setup fails only for a native the system does not have, or for more
    // memory than the limit.
    if (vm->errorFlag) {
        if (nativesKnown(result.assembly) && !memoryRefused) std::abort();
        vmDestroy(vm);
        return 0;
    }
    uint32_t args[64] = {};
    for (const std::string& name : vmFunctionNames(vm)) {
        int words = argumentWords(name);
        if (words > 64) continue;
        vmExecuteFunction(vm, name.c_str(), args, words, 1);
        if (vmIsStopped(vm)) break;
        if (vm->errorFlag) break;
    }
    vmDestroy(vm);
    return 0;
}
