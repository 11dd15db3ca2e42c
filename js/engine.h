// One script interpreter instance.
//
// The engine runs a small subset of JavaScript by recursive descent and
// executes while it parses: there is no syntax tree. Every parse routine takes
// an `execute` flag; with it false the routine reads the same tokens without
// effect, which is how untaken branches, skipped operands, function
// definitions and everything after a `return` are handled. Loops re-run their
// condition and body through window readers over the same scanned text.
//
// Engines share no mutable state: separate instances may run on separate
// threads. Runaway scripts are stopped with a CScriptException: loops after
// 8191 passes, recursion beyond a call depth or a stack budget, and any run
// beyond a total amount of work.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "js/tokenizer.h"
#include "js/value.h"

// A native's signature, read: its dotted name and its parameter names.
struct CJsNativeSignature {
    std::vector<std::string> path;
    std::vector<std::string> parameters;
};

class CJsEngine {
public:
    using Output = std::function<void(const std::string& text)>;

    CJsEngine();
    ~CJsEngine();
    CJsEngine(const CJsEngine&) = delete;
    CJsEngine& operator=(const CJsEngine&) = delete;

    // Executes a program at global scope. On error raises a CScriptException
    // whose text is "Error ", the message, the call trace and the position;
    // everything assigned before the error stays in root.
    void runScript(const std::string& code);
    // Evaluates expressions separated by ";"; the value of the last one
    // (undefined when there is none). Errors as runScript.
    CJsValueRef evalExpressions(const std::string& code);
    std::string evalToString(const std::string& code);

    // Adds a native from a signature such as "function Math.randInt(min, max)";
    // dotted names create objects under root on the way. A malformed
    // signature raises the reader's expectation error.
    void registerNative(const std::string& signature, JsCallback callback, void* data);
    // The same from a signature read before: hosts that make many engines
    // read their tables of signatures once.
    static CJsNativeSignature readNativeSignature(const std::string& signature);
    void registerNative(const CJsNativeSignature& signature, JsCallback callback, void* data);
    // The value at a dotted path from root, or null when a segment is missing.
    CJsValue* lookupPath(const std::string& path) const;

    // Frees every structure that only cycles keep alive (an object holding
    // itself, two objects holding each other) among the values made by this
    // engine's runs. Call between runs; the destructor calls it too.
    void collectCycles();

    CJsValue* root() const { return root_; }
    CJsValue* stringClass() const { return stringClass_; }
    CJsValue* arrayClass() const { return arrayClass_; }
    CJsValue* objectClass() const { return objectClass_; }

    // Where the engine's own printing goes (loop messages, trace); standard
    // output by default.
    void setOutput(Output output) { output_ = std::move(output); }
    void print(const std::string& text);

    // Limits against runaway scripts (see the header comment and CJsLimits).
    const CJsLimits& limits() const { return registry_.limits; }
    void setLimits(const CJsLimits& limits) { registry_.limits = limits; }
    void setMaxCallDepth(int depth) { registry_.limits.callDepth = depth; }
    void setStackBudget(size_t bytes) {
        stackBudget_ = bytes;
        lowestChecked_ = UINTPTR_MAX;
    }
    void setWorkBudget(int64_t units) { registry_.limits.work = units; }

private:
    // One active call. Its name and position are filled in from the pending
    // fields only when an error passes the call (resolveTrace).
    struct TraceEntry {
        std::string name;
        int line;
        int column;
        const std::string* pendingName;
        const CJsTokenList* list;  // null once resolved
        int offset;
        int limit;
    };
    using Ref = CJsBindingRef;

    // Saves the reader, scopes and call trace of an enclosing run and restores
    // them when the nested run ends, however it ends.
    class RunState;

    void statement(bool& execute);
    void statementBody(bool& execute);
    void skippedStatement(bool& execute);
    void block(bool& execute);
    void ifStatement(bool& execute);
    void whileStatement(bool& execute);
    void forStatement(bool& execute);
    void varStatement(bool& execute);
    void returnStatement(bool& execute);
    void loopError(const char* format);

    Ref assignment(bool& execute);
    Ref ternary(bool& execute);
    Ref logic(bool& execute);
    Ref condition(bool& execute);
    Ref shift(bool& execute);
    Ref additive(bool& execute);
    Ref term(bool& execute);
    Ref unary(bool& execute);
    Ref primary(bool& execute);
    Ref identifier(bool& execute);
    Ref arrayLiteral(bool& execute);
    Ref objectLiteral(bool& execute);
    Ref newExpression(bool& execute);
    Ref functionDefinition();
    void parameterList(CJsTokenizer& reader, CJsValue* function);
    Ref functionCall(bool& execute, const Ref& function, CJsValue* parent);
    // `returned` receives what a return statement of the body returns (null:
    // the return statement sets the scope's "return" member instead).
    void callBody(CJsValue* function, CJsValue* scope, CJsValueRef* returned);
    static void resolveTrace(TraceEntry& entry);
    static bool soleTemporary(const Ref& argument);
    // Call scopes are used again once their call is over: making and listing
    // a value per call costs more than clearing one.
    CJsValueRef takeScope();
    void spareScope(CJsValueRef scope);

    Ref temporary(CJsValue* value);
    Ref temporary(CJsValue* value, const std::string& name);
    Ref operate(const Ref& a, const Ref& b, int op);
    CJsBinding* findInScopes(const std::string& name) const;
    Ref findMember(CJsValue* object, const std::string& name);
    // Inline: it guards every statement, expression and call. A frame no
    // deeper than one already checked in this run needs no check.
    void checkStack() {
        // The frame address is the real stack even where a sanitizer moves
        // local variables elsewhere.
        uintptr_t now = reinterpret_cast<uintptr_t>(__builtin_frame_address(0));
        if (now < lowestChecked_) checkFrame(now);
    }
    void checkFrame(uintptr_t frame) {
        if (!frameFits(frame)) nestedTooDeeply();
        lowestChecked_ = frame;
    }
    bool frameFits(uintptr_t frame) const {
        return !(stackBase_ > frame && stackBase_ - frame > stackBudget_);
    }
    [[noreturn]] static void nestedTooDeeply();
    void chargeWork(int64_t units);
    std::string errorText(const std::string& message, const CJsTokenizer& program) const;

    CJsValueRegistry registry_;
    // What expressions that are only read (not executed) yield; never changed.
    Ref skipped_;
    CJsValue* root_ = nullptr;
    CJsValue* stringClass_ = nullptr;
    CJsValue* arrayClass_ = nullptr;
    CJsValue* objectClass_ = nullptr;
    std::vector<CJsValue*> scopes_;
    // Where the return statement of the script call running now puts its
    // value; null at the top level and for calls that keep it as a member.
    CJsValueRef* returned_ = nullptr;
    static constexpr size_t kMaxSparedScopes = 64;
    std::vector<CJsValueRef> sparedScopes_;
    std::vector<TraceEntry> callTrace_;
    CJsTokenizer* reader_ = nullptr;
    Output output_;

    int runDepth_ = 0;
    int callDepth_ = 0;
    uintptr_t stackBase_ = 0;
    // The deepest frame that passed the stack check since the base was set.
    uintptr_t lowestChecked_ = UINTPTR_MAX;
    // Counts what the engine printed, so that a reading without effect can
    // tell whether it printed.
    uint64_t printCount_ = 0;
    size_t stackBudget_ = 2u << 20;
    int64_t workDone_ = 0;
};
