// CVMSystem: the process-wide registry of VMs, the log sink, the native table
// and the machine identifier; and the C-style entry points of vm.h.
#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "vfs/crc.h"
#include "vm/native.h"
#include "vm/vmExec.h"

void vmRegisterDefaultNatives();

namespace {

struct CVMSystem {
    VMLogSink sink;
    std::vector<NativeEntry> natives;
    std::vector<CVMExec*> vms;
    uint32_t machineId = 0;
};

CVMSystem* vmSystem = nullptr;
uint32_t memoryLimit = 1u << 28;
uint32_t setupBudget = 10000;
int32_t heapWords = CVMMemMgr::kHeapWords;
int32_t stackWords = CVMMemMgr::kStackWords;
uint32_t workLimit = 0;

// The machine identifier file's text, up to 254 characters, without the
// line end that the file carries (the registry value had none).
uint32_t readMachineId() {
    for (const char* path : {"/etc/machine-id", "/var/lib/dbus/machine-id"}) {
        FILE* file = std::fopen(path, "rb");
        if (!file) continue;
        char text[256];
        size_t length = std::fread(text, 1, 254, file);
        std::fclose(file);
        while (length > 0 && (text[length - 1] == '\n' || text[length - 1] == '\r'))
            --length;
        return crc(text, static_cast<int>(length), 0);
    }
    return 0;
}

void vmsRemove(CVMExec* vm) {
    auto it = std::find(vmSystem->vms.begin(), vmSystem->vms.end(), vm);
    if (it == vmSystem->vms.end()) {
        vmLog('S', "vmsRemove: VM not found\n");
        return;
    }
    vmSystem->vms.erase(it);
}

VMState* createVM(const uint32_t* words, int count, bool fuse) {
    if (!vmSystem) return nullptr;
    if (count < 0) count = 0;
    auto* vm = new CVMExec(words, count, fuse);
    vmSystem->vms.push_back(vm);
    vm->setup(words, setupBudget);
    return &vm->state;
}

}  // namespace

bool vmSystemCreate(VMLogSink sink) {
    if (vmSystem) return false;
    vmSystem = new CVMSystem;
    vmSystem->sink = std::move(sink);
    vmSystem->machineId = readMachineId();
    vmRegisterDefaultNatives();
    return true;
}

void vmSystemDestroy() {
    if (!vmSystem) return;
    if (!vmSystem->vms.empty())
        vmLog('S', "%d VMs still unfreed\n", static_cast<int>(vmSystem->vms.size()));
    for (CVMExec* vm : vmSystem->vms)
        delete vm;
    delete vmSystem;
    vmSystem = nullptr;
}

bool vmSystemExists() {
    return vmSystem != nullptr;
}
uint32_t vmMachineId() {
    return vmSystem ? vmSystem->machineId : 0;
}
// Word counts are signed 32-bit inside the memory manager, and doubling must
// stay below that.
void vmSetMemoryLimit(uint32_t words) {
    memoryLimit = std::min<uint32_t>(words, 1u << 30);
}
uint32_t vmMemoryLimit() {
    return memoryLimit;
}

void vmLog(char level, const char* format, ...) {
    if (!vmSystem || !vmSystem->sink) return;
    char buffer[2048];
    buffer[0] = level;
    va_list args;
    va_start(args, format);
    std::vsnprintf(buffer + 1, sizeof buffer - 1, format, args);
    va_end(args);
    vmSystem->sink(buffer);
}

void vmRegisterNative(const char* signature, VMNativeHandler handler, uint8_t timeCheck) {
    if (vmSystem) vmSystem->natives.push_back({signature, handler, timeCheck});
}

int vmFindNative(const char* text) {
    if (!vmSystem) return -1;
    for (size_t i = 0; i < vmSystem->natives.size(); ++i)
        if (vmSystem->natives[i].signature == text) return static_cast<int>(i);
    return -1;
}

int vmNativeCount() {
    return vmSystem ? static_cast<int>(vmSystem->natives.size()) : 0;
}

const char* vmNativeSignature(int index) {
    if (!vmSystem || index < 0 || index >= vmNativeCount()) return nullptr;
    return vmSystem->natives[static_cast<size_t>(index)].signature.c_str();
}

void vmReplaceLiveHandler(const char* signature, VMNativeHandler handler) {
    if (!vmSystem) return;
    for (NativeEntry& entry : vmSystem->natives)
        if (entry.signature == signature) entry.handler = handler;
}

const NativeEntry* vmNativeEntries(int* count) {
    *count = vmNativeCount();
    return vmSystem ? vmSystem->natives.data() : nullptr;
}

VMState* vmCreate(const uint32_t* words, int count) {
    return createVM(words, count, true);
}

VMState* vmCreateUnfused(const uint32_t* words, int count) {
    return createVM(words, count, false);
}

VMState* vmCreateFromBytes(const void* bytes, size_t size) {
    size_t count = std::min<size_t>(size / 4, 0x7FFFFFFF);
    std::vector<uint32_t> words(count);
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    if (count > 0) std::memcpy(words.data(), bytes, count * 4);
#else
    const auto* in = static_cast<const uint8_t*>(bytes);
    for (size_t i = 0; i < count; ++i)
        words[i] = in[4 * i] | in[4 * i + 1] << 8 | in[4 * i + 2] << 16 |
                   static_cast<uint32_t>(in[4 * i + 3]) << 24;
#endif
    return vmCreate(words.data(), static_cast<int>(count));
}

void vmDestroy(VMState* state) {
    if (!state) return;
    if (vmSystem) vmsRemove(state->owner);
    delete state->owner;
}

bool vmExecuteFunction(VMState* state, const char* name, const uint32_t* args, int argCount,
                       uint32_t timeLimitMs) {
    return state->owner->executeFunction(name, args, argCount, timeLimitMs);
}

bool vmResume(VMState* state, uint32_t timeLimitMs) {
    return state->owner->resume(timeLimitMs);
}

bool vmHasFunction(VMState* state, const char* name) {
    return state->owner->functions.count(name) != 0;
}

int vmFunctionPosition(VMState* state, const char* name) {
    auto it = state->owner->functions.find(name);
    return it == state->owner->functions.end() ? -1 : it->second;
}

std::vector<std::string> vmFunctionNames(VMState* state) {
    std::vector<std::string> names;
    for (const auto& entry : state->owner->functions)
        names.push_back(entry.first);
    return names;
}

bool vmInterruptedByTime(VMState* state) {
    return state->owner->interruptedByTime != 0;
}
bool vmIsStopped(VMState* state) {
    return !state->owner->callStack.empty();
}
void vmSuspend(VMState* state) {
    state->owner->running = 0;
}
std::string vmStackDump(VMState* state) {
    return state->owner->stackDump();
}

const uint32_t* vmCode(VMState* state, int* count) {
    *count = state->owner->codeCount;
    return state->owner->code.data();
}

int vmCurrentNative(VMState* state) {
    const CVMExec* vm = state->owner;
    int32_t at = state->currentOp;
    if (at < 0 || at + 1 >= static_cast<int32_t>(vm->code.size())) return -1;
    uint32_t address = vm->code[static_cast<size_t>(at) + 1];
    if (address >= state->memorySize) return -1;
    return static_cast<int32_t>(state->memory[address]);
}

void vmSetSetupBudget(uint32_t milliseconds) {
    setupBudget = milliseconds;
}

void vmSetHeapLayout(int32_t heap, int32_t stack) {
    // The heap keeps room for the stack, its two guards and the guard in the
    // block's last word.
    heapWords = std::max(heap, 16);
    stackWords = std::min(std::max(stack, 1), heapWords - 4);
}
int32_t vmHeapWords() {
    return heapWords;
}
int32_t vmStackWords() {
    return stackWords;
}

void vmSetWorkLimit(uint32_t branches) {
    workLimit = branches;
}
uint32_t vmWorkLimit() {
    return workLimit;
}

void vmEnableProfile(VMState* state, bool enabled) {
    CVMExec* vm = state->owner;
    vm->profiling = enabled;
    vm->profile.assign(enabled ? vm->code.size() : 0, 0);
}
const std::vector<uint64_t>& vmProfileCounts(VMState* state) {
    return state->owner->profile;
}
