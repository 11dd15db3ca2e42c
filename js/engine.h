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

// What an expression yields: a held binding (a member or local, which an
// assignment changes) or, for a temporary, only a held value. Most results
// are temporaries that live for one operator; a bare value spares them a
// binding of their own.
class CJsOperand {
public:
    CJsOperand() = default;
    // Holds `binding` (may be null).
    explicit CJsOperand(CJsBinding* binding) : bits_(reinterpret_cast<uintptr_t>(binding)) {
        if (binding) binding->hold();
    }
    // A temporary holding `value` (a new undefined value when null).
    static CJsOperand temporary(CJsValue* value) {
        CJsOperand operand;
        operand.bits_ = reinterpret_cast<uintptr_t>((value ? value : new CJsValue())->ref()) | 1;
        return operand;
    }
    // A temporary taking over the reference `value` holds (undefined when none).
    static CJsOperand adopt(CJsValueRef& value) {
        CJsValueRef taken = std::move(value);
        return temporary(taken.get());
    }
    CJsOperand(const CJsOperand& other) : bits_(other.bits_) { hold(); }
    CJsOperand(CJsOperand&& other) noexcept : bits_(other.bits_) { other.bits_ = 0; }
    CJsOperand& operator=(const CJsOperand& other) {
        CJsOperand copy(other);
        std::swap(bits_, copy.bits_);
        return *this;
    }
    CJsOperand& operator=(CJsOperand&& other) noexcept {
        std::swap(bits_, other.bits_);
        return *this;
    }
    ~CJsOperand() {
        if (bits_ & 1) {
            heldValue()->unref();
        } else if (bits_) {
            binding()->release();
        }
    }

    CJsValue* value() const { return bits_ & 1 ? heldValue() : binding()->value; }
    // The binding, or null for a temporary.
    CJsBinding* binding() const {
        return bits_ & 1 ? nullptr : reinterpret_cast<CJsBinding*>(bits_);
    }
    // True for a member or local of some value.
    bool owned() const { return !(bits_ & 1) && bits_ && binding()->owned; }
    // The binding's name; empty for a temporary.
    const std::string& name() const;
    // Points the operand at `value` (a new undefined value when null).
    void rebind(CJsValue* value);
    // True when nothing but this temporary holds its value, so that the value
    // can be handed on without a copy. Natives are never handed on.
    bool soleTemporary() const {
        // Copying a basic argument keeps the callee from changing the caller's
        // value; a value that only this temporary holds has nobody to protect,
        // and the copy would only differ by dropping a native's callback.
        const CJsValue* held = value();
        const CJsBinding* named = binding();
        if (named && (named->owned || named->holds != 1)) return false;
        return held->refCount == 1 && !held->isNative();
    }
    explicit operator bool() const { return bits_ != 0; }
    void reset() { *this = CJsOperand(); }

private:
    CJsValue* heldValue() const { return reinterpret_cast<CJsValue*>(bits_ - 1); }
    void hold() const {
        if (bits_ & 1) {
            heldValue()->ref();
        } else if (bits_) {
            binding()->hold();
        }
    }

    // One word, so that handing an operand from level to level of the
    // descent moves a single register: a binding, or a value with the low
    // bit set (both are aligned).
    uintptr_t bits_ = 0;
};

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
    using Ref = CJsOperand;

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
    Ref assignmentTarget(bool& execute);
    // The levels below assignment, from ternary down.
    Ref levels(bool& execute);
    // The rest of an assignment once its target is read and `op` (=, += or
    // -=) is next.
    Ref assign(bool& execute, Ref target, int op);
    // A name or literal followed by an operator or the end of the operand.
    Ref plainOperand(bool& execute);
    Ref plainBinary(bool& execute);
    // Applies ++ or -- (`op`) to `operand`.
    void step(Ref& operand, int op);
    // The value of a literal token (made once for a transient one).
    Ref literal(const CJsToken& token);
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
    // Call scopes are used again once their call is over, members and all:
    // making and listing a value and its members per call costs more than
    // naming and binding them again.
    CJsValueRef takeScope();
    void spareScope(CJsValueRef scope);

    static Ref temporary(CJsValue* value) { return Ref::temporary(value); }
    // A temporary that keeps a name (a function definition, an unknown
    // identifier): assigning to it makes a global of that name.
    static Ref temporary(CJsValue* value, const std::string& name);
    Ref operate(const Ref& a, const Ref& b, int op);
    // The binding a name refers to: the first of its name in the call scopes
    // from the innermost out, then in root; null when there is none. `hash`
    // is jsNameHash(name).
    CJsBinding* findInScopes(const std::string& name, uint32_t hash) const {
        if (CJsBinding* found = findInCalls(name, hash)) return found;
        return root_->lookupChild(name, hash);
    }
    // The same for a name token, whose globals are remembered in the token.
    CJsBinding* findInScopes(const CJsToken& name) const {
        if (CJsBinding* found = findInCalls(name.text, name.hash)) return found;
        if (name.globalEngine == serial_ && name.globalGeneration == root_->generation()) {
            return name.global;
        }
        return findGlobal(name);
    }
    CJsBinding* findInCalls(const std::string& name, uint32_t hash) const {
        const size_t top = scopes_.size() - 1;
        if (top == 0 ||
            !((scopeNames_[top - 1] | scopes_[top]->nameBits()) & CJsValue::nameBit(hash))) {
            return nullptr;
        }
        for (size_t i = top; i > 0; i--) {
            if (CJsBinding* found = scopes_[i]->lookupChild(name, hash)) return found;
        }
        return nullptr;
    }
    CJsBinding* findGlobal(const CJsToken& name) const;
    Ref findMember(CJsValue* object, const std::string& name, uint32_t hash);
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
    // Inline: every call and loop pass is charged.
    void chargeWork(int64_t units) {
        workDone_ += units;
        if (workDone_ > registry_.limits.work) workLimitReached();
    }
    [[noreturn]] void workLimitReached() const;
    std::string errorText(const std::string& message, const CJsTokenizer& program) const;

    CJsValueRegistry registry_;
    // What expressions that are only read (not executed) yield; never changed.
    Ref skipped_;
    // The 1 that ++ and -- add; operators never change their operands.
    Ref one_;
    CJsValue* root_ = nullptr;
    CJsValue* stringClass_ = nullptr;
    CJsValue* arrayClass_ = nullptr;
    CJsValue* objectClass_ = nullptr;
    // The scopes names are looked up in: root first, then one per active call.
    std::vector<CJsValue*> scopes_;
    // For each scope below the innermost, the name bits (CJsValue::nameBits)
    // of it and every call scope below it (not root): a name none of them
    // has needs no walk through them. Only the innermost scope of a run gets
    // members (its locals), so the bits of the others stay as they were when
    // a call went on top of them.
    std::vector<uint64_t> scopeNames_;
    // Where the return statement of the script call running now puts its
    // value; null at the top level and for calls that keep it as a member.
    CJsValueRef* returned_ = nullptr;
    static constexpr size_t kMaxSparedScopes = 64;
    std::vector<CJsValueRef> sparedScopes_;
    std::vector<TraceEntry> callTrace_;
    CJsTokenizer* reader_ = nullptr;
    Output output_;

    // Tells this engine's root from those of others that a token list may
    // have met (see CJsToken::global).
    const uint32_t serial_;
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
