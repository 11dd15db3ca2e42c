// Feeds arbitrary text to a fresh engine with both libraries: no input may
// crash it, hang it or make the sanitizers report anything.
#include <cstddef>
#include <cstdint>
#include <string>

#include "js/engine.h"
#include "js/library.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string code(reinterpret_cast<const char*>(data), size);
    CJsEngine engine;
    engine.setOutput([](const std::string&) {});
    // Small enough that nested loops end quickly, large enough for real work.
    engine.setWorkBudget(50000);
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
