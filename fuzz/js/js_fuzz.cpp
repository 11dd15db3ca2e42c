// Feeds arbitrary text to a fresh engine with both libraries: no input may
// crash it, hang it or make the sanitizers report anything.
#include <cstddef>
#include <cstdint>
#include <string>

#include "js/engine.h"
#include "js/library.h"

namespace {

// One input may do a little of everything (loops that reach their limit,
// recursion that hits the depth limit, strings and copies that hit theirs) but
// never much of anything: thousands of inputs a second find more than a few
// slow ones.
CJsLimits fuzzLimits() {
    CJsLimits limits;
    limits.loopPasses = 32;
    limits.callDepth = 16;
    limits.work = 300;
    limits.stringBytes = 16u << 10;
    limits.textBytes = 64u << 10;
    limits.copyValues = 2048;
    limits.joinItems = 2048;
    return limits;
}

}  // namespace

// Every input makes and frees thousands of small blocks. The default
// quarantine (256 MB of freed blocks held back) and 30-frame allocation stacks
// (each distinct one kept for good, and the recursive descent makes a great
// many) let the process grow past 500 MB; a small quarantine still catches a
// use after free within the same input.
extern "C" const char* __asan_default_options() {
    return "quarantine_size_mb=16:malloc_context_size=6";
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string code(reinterpret_cast<const char*>(data), size);
    CJsEngine engine;
    engine.setOutput([](const std::string&) {});
    engine.setLimits(fuzzLimits());
    registerBaseLibrary(engine);
    registerMathLibrary(engine);
    try {
        engine.runScript(code);
    } catch (const CScriptException&) {
    }
    try {
        engine.evalToString(code);
    } catch (const CScriptException&) {
    }
    return 0;
}
