// Script values and the named references that hold them.
//
// A CJsValue is shared by reference counting: CJsBinding records give it a
// name inside a parent value (member, element, local) or carry it unnamed
// through an expression. Operators always produce new values, so sharing a
// number or string never lets one name change another; objects and arrays
// shared by two names are one object. Reference counting cannot free cycles
// (an object that contains itself); nothing else is ever lost.
//
// Bindings are counted too ("holds"): a parent's child list holds its
// bindings, and the executor holds the bindings it is working on, so a binding
// removed from its parent while an expression still uses it stays valid until
// the expression lets go of it.
#pragma once

#include <cstdint>
#include <cstring>
#include <iosfwd>
#include <memory>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "js/tokenizer.h"

class CJsValue;

// What one run of a script may do before it is stopped with a
// CScriptException. The defaults are what control scripts may rely on; hosts
// that run untrusted or throw-away text (the fuzzers) lower them.
struct CJsLimits {
    int loopPasses = 8192;           // a loop that needs this many passes fails
    int callDepth = 1000;            // nested calls
    int64_t work = 100000000;        // loop passes, calls and KB of text built or printed
    size_t stringBytes = 16u << 20;  // longest string an operator or native builds
    size_t textBytes = 64u << 20;    // JSON and dump texts stop growing here
    long copyValues = 1L << 20;      // values one deep copy makes (the rest is shared)
    int joinItems = 1 << 20;         // longest array Array.join walks
};

// Every value that gets a member on a thread while an engine runs there is
// listed in that engine's registry, so that the engine can find the cycles
// that reference counting cannot free (CJsEngine::collectCycles). Only a value
// with members can be part of a cycle, and most values never get one, so the
// others stay off the list. Values changed only outside runs are not listed.
struct CJsValueRegistry {
    CJsValue* first = nullptr;
    size_t count = 0;
    // The size limits of the engine that owns the registry (see CJsLimits).
    CJsLimits limits;
};

// The size limits of the registry current on this thread: those of the engine
// running here, the defaults outside runs.
const CJsLimits& jsLimits();

// How many values and bindings exist: those made and not yet destroyed on
// this thread, plus the balance of threads that have ended. After a script's
// engine and everything the host took from it are gone, the counts are back
// where they were before; anything more is a leak.
struct CJsLiveCounts {
    int64_t values = 0;
    int64_t bindings = 0;
};
CJsLiveCounts jsLiveCounts();
// This thread's tallies behind jsLiveCounts (inline: every value and binding
// counts itself).
extern __thread CJsLiveCounts jsLiveHere;

// Makes `registry` (may be null) the one that values on this thread join when
// they first get a member; returns the previous one.
CJsValueRegistry* jsSetValueRegistry(CJsValueRegistry* registry);
// Puts an unlisted value on this thread's current registry, if there is one.
void jsEnlist(CJsValue* value);
// Takes a value off its registry (it then lives on unlisted).
void jsDelist(CJsValue* value);

// The engine's only error type; `text` is the message.
class CScriptException : public std::exception {
public:
    explicit CScriptException(std::string message) : text(std::move(message)) {}
    const char* what() const noexcept override { return text.c_str(); }
    std::string text;
};

// A native function: receives the call scope (arguments by parameter name,
// "this" for methods, "return" for the result) and its registration data.
using JsCallback = void (*)(CJsValue* scope, void* data);

class CJsBinding {
public:
    CJsBinding(const std::string& name, CJsValue* value);
    // The same with the hash of `name` (jsNameHash) known already.
    CJsBinding(const std::string& name, uint32_t hash, CJsValue* value);
    // An unnamed binding (a temporary): no name to copy.
    explicit CJsBinding(CJsValue* value);
    ~CJsBinding();
    // Expressions make and drop bindings and values by the million: both come
    // from small per-thread free lists instead of the general allocator.
    static void* operator new(size_t size);
    static void operator delete(void* pointer);
    CJsBinding(const CJsBinding&) = delete;
    CJsBinding& operator=(const CJsBinding&) = delete;

    // Points the binding at `value` (a new undefined value when null). Takes
    // the new reference before releasing the old one, so re-binding a value
    // to itself is safe.
    inline void rebind(CJsValue* value);

    void hold() { holds++; }
    void release() {
        if (--holds <= 0) delete this;
    }

    std::string name;
    CJsBinding* next = nullptr;
    CJsBinding* previous = nullptr;
    CJsValue* value;
    bool owned = false;   // set once the binding was placed in a parent's list
    bool linked = false;  // true while it is in a parent's list
    int holds = 0;
    // jsNameHash of the name, kept with it: lookups compare it before the
    // name. Names change only through CJsValue::renameChild, which updates it.
    uint32_t hash;
};

// A counted hold on a binding (the executor's working references).
class CJsBindingRef {
public:
    CJsBindingRef() = default;
    explicit CJsBindingRef(CJsBinding* binding) : binding_(binding) {
        if (binding_) binding_->hold();
    }
    CJsBindingRef(const CJsBindingRef& other) : CJsBindingRef(other.binding_) {}
    CJsBindingRef(CJsBindingRef&& other) noexcept : binding_(other.binding_) {
        other.binding_ = nullptr;
    }
    CJsBindingRef& operator=(CJsBindingRef other) {
        std::swap(binding_, other.binding_);
        return *this;
    }
    ~CJsBindingRef() {
        if (binding_) binding_->release();
    }
    CJsBinding* get() const { return binding_; }
    CJsBinding* operator->() const { return binding_; }
    explicit operator bool() const { return binding_ != nullptr; }
    void reset() { *this = CJsBindingRef(); }

private:
    CJsBinding* binding_ = nullptr;
};

// A counted reference on a value.
class CJsValueRef {
public:
    CJsValueRef() = default;
    inline explicit CJsValueRef(CJsValue* value);
    CJsValueRef(const CJsValueRef& other) : CJsValueRef(other.value_) {}
    CJsValueRef(CJsValueRef&& other) noexcept : value_(other.value_) { other.value_ = nullptr; }
    CJsValueRef& operator=(CJsValueRef other) {
        std::swap(value_, other.value_);
        return *this;
    }
    inline ~CJsValueRef();
    CJsValue* get() const { return value_; }
    CJsValue* operator->() const { return value_; }
    CJsValue& operator*() const { return *value_; }
    explicit operator bool() const { return value_ != nullptr; }

private:
    CJsValue* value_ = nullptr;
};

// Member names are short: comparing and hashing them inline beats the general
// string routines. Names compare in words, not characters: fewer branches,
// and under coverage instrumentation fewer traced comparisons.
template <typename Word>
inline Word jsLoadWord(const char* bytes) {
    Word word;
    std::memcpy(&word, bytes, sizeof word);
    return word;
}

inline bool jsSameName(const std::string& a, const std::string& b) {
    const size_t size = a.size();
    if (size != b.size()) return false;
    const char* x = a.data();
    const char* y = b.data();
    size_t i = 0;
    for (; i + 8 <= size; i += 8) {
        if (jsLoadWord<uint64_t>(x + i) != jsLoadWord<uint64_t>(y + i)) return false;
    }
    if (size - i >= 4) {
        if (jsLoadWord<uint32_t>(x + i) != jsLoadWord<uint32_t>(y + i)) return false;
        i += 4;
    }
    if (size - i >= 2) {
        if (jsLoadWord<uint16_t>(x + i) != jsLoadWord<uint16_t>(y + i)) return false;
        i += 2;
    }
    return i == size || x[i] == y[i];
}

inline uint32_t jsNameHash(const std::string& name) {
    uint32_t hash = 2166136261u;  // FNV-1a
    for (char c : name)
        hash = (hash ^ static_cast<unsigned char>(c)) * 16777619u;
    return hash;
}

// The first child of each name in a long child list. Open addressing with
// linear probing over a power-of-two table of bindings: no node or copy of the
// name per child (names are read from the bindings) and no division per
// lookup, which globals and big arrays pay on every access.
class CJsNameIndex {
public:
    explicit CJsNameIndex(size_t expected);
    // `hash` is jsNameHash(name).
    CJsBinding* find(const std::string& name, uint32_t hash) const {
        for (size_t slot = hash & mask_;; slot = (slot + 1) & mask_) {
            CJsBinding* binding = slots_[slot];
            if (!binding || (binding->hash == hash && jsSameName(binding->name, name))) {
                return binding;
            }
        }
    }
    // Adds `binding` unless a binding of its name is there already.
    void add(CJsBinding* binding);
    // If `binding` is the one found for its name, `replacement` (of the same
    // name) is found instead, or nothing when it is null.
    void replace(CJsBinding* binding, CJsBinding* replacement);

private:
    size_t home(const CJsBinding* binding) const { return binding->hash & mask_; }
    void grow();
    void erase(size_t slot);

    std::vector<CJsBinding*> slots_;
    size_t mask_ = 0;
    size_t used_ = 0;
};

class CJsValue {
public:
    static constexpr uint8_t FUNCTION = 1;
    static constexpr uint8_t OBJECT = 2;
    static constexpr uint8_t ARRAY = 4;
    static constexpr uint8_t DOUBLE = 8;
    static constexpr uint8_t INTEGER = 16;
    static constexpr uint8_t STRING = 32;
    static constexpr uint8_t NULLTYPE = 64;
    static constexpr uint8_t NATIVE = 128;
    static constexpr uint8_t TYPE_MASK = 127;

    CJsValue() { jsLiveHere.values++; }  // undefined
    explicit CJsValue(int32_t value) : flags(INTEGER), intValue(value) { jsLiveHere.values++; }
    explicit CJsValue(double value) : flags(DOUBLE), doubleValue(value) { jsLiveHere.values++; }
    explicit CJsValue(std::string value) : flags(STRING), text(std::move(value)) {
        jsLiveHere.values++;
    }
    // `flags` unchanged; `text` parsed as an integer when INTEGER is set, as a
    // double when DOUBLE is set, kept as text otherwise.
    CJsValue(const std::string& text, uint8_t flags);
    ~CJsValue();
    static void* operator new(size_t size);
    static void operator delete(void* pointer);
    CJsValue(const CJsValue&) = delete;
    CJsValue& operator=(const CJsValue&) = delete;

    // Reference counting. A new value has count 0; unref destroys it when the
    // count was 1.
    CJsValue* ref() {
        refCount++;
        return this;
    }
    // Inline for the common case of a value that stays alive.
    void unref() {
        if (refCount > 1) {
            refCount--;
            return;
        }
        unrefLast();
    }

    int type() const { return flags & TYPE_MASK; }
    bool isUndefined() const { return type() == 0; }
    bool isNull() const { return flags & NULLTYPE; }
    bool isInt() const { return flags & INTEGER; }
    bool isDouble() const { return flags & DOUBLE; }
    bool isString() const { return flags & STRING; }
    bool isObject() const { return flags & OBJECT; }
    bool isArray() const { return flags & ARRAY; }
    bool isFunction() const { return flags & FUNCTION; }
    bool isNative() const { return flags & NATIVE; }
    bool isNumeric() const { return flags & (NULLTYPE | DOUBLE | INTEGER); }
    bool isBasic() const { return firstChild == nullptr; }

    void setInt(int32_t value);
    void setDouble(double value);
    void setString(const std::string& value);
    void setUndefined();
    void setArray();

    int32_t asInt() const { return flags & INTEGER ? intValue : asIntOther(); }
    bool asBool() const { return asInt() != 0; }
    double asDouble() const;
    std::string asString() const;

    CJsBinding* lookupChild(const std::string& name) const {
        return lookupChild(name, jsNameHash(name));
    }
    // The same with the hash of `name` (jsNameHash) known already, as the
    // engine knows it for every name in a script.
    inline CJsBinding* lookupChild(const std::string& name, uint32_t hash) const;
    CJsBinding* appendChild(const std::string& name, CJsValue* value = nullptr);
    // The same with the hash of `name` (jsNameHash) known already.
    CJsBinding* appendChild(const std::string& name, uint32_t hash, CJsValue* value);
    CJsBinding* setChild(const std::string& name, CJsValue* value = nullptr);
    CJsBinding* lookupOrAddChild(const std::string& name, uint8_t typeFlags);
    CJsBinding* lookupOrAddPath(const std::string& path);
    void removeBinding(CJsBinding* binding);
    void unlinkValue(CJsValue* value);
    void clearChildren();
    int childCount() const { return childTotal_; }
    // Changes whenever a child leaves the list or is renamed (never when one
    // is added): a lookup that found a child finds the same one while it
    // stays the same.
    uint32_t generation() const { return generation_; }
    // One bit per name hash (jsNameHash), set for every child linked since
    // the list was last cleared: a name whose bit is clear is certainly
    // missing.
    static uint64_t nameBit(uint32_t hash) { return uint64_t(1) << (hash >> 26); }
    uint64_t nameBits() const { return nameBits_; }
    // Renames a child; names of children must change only this way, because
    // large child lists keep an index by name.
    void renameChild(CJsBinding* binding, const std::string& name);
    int arrayLength() const;
    CJsValueRef arrayItem(int index) const;
    void setArrayItem(int index, CJsValue* value);
    // A new value (count 0); "prototype" members are shared, not copied.
    CJsValue* cloneDeep() const;
    void copyFrom(const CJsValue* source);
    bool looselyEquals(const CJsValue* other) const;

    // Text forms.
    std::string sourceText() const;
    void writeJson(std::string& out, const std::string& prefix) const;
    void writeJson(std::ostream& stream, const std::string& prefix) const;
    std::string writeJson(const std::string& prefix = std::string()) const;
    void dumpTree(std::string& out, const std::string& indent, const std::string& name) const;

    // For natives: the member `name` of a call scope (added as undefined when
    // missing), and the call's result.
    CJsValue* argument(const std::string& name);
    void setResult(CJsValue* value);

    uint8_t flags = 0;
    std::string text;
    int32_t intValue = 0;
    double doubleValue = 0;
    CJsBinding* firstChild = nullptr;
    CJsBinding* lastChild = nullptr;
    JsCallback callback = nullptr;
    void* callbackData = nullptr;
    int refCount = 0;
    // Tokens of a script function's body, scanned on its first call.
    CJsTokenListRef bodyTokens;

    // The registry this value is listed in (see CJsValueRegistry), or null.
    CJsValueRegistry* registry = nullptr;
    CJsValue* registryPrevious = nullptr;
    CJsValue* registryNext = nullptr;

private:
    friend void jsEnlist(CJsValue* value);
    // Lists longer than this are looked up through an index by name.
    static constexpr int kIndexFrom = 12;

    void unrefLast();
    int32_t asIntOther() const;
    CJsBinding* lookupLong(const std::string& name, uint32_t hash) const;
    void buildIndex() const;
    void forgetIndexed(CJsBinding* binding);
    void enlist();
    void setScalar(uint8_t type);
    void linkChild(CJsBinding* binding);
    CJsValue* cloneLimited(int depth, long& budget) const;

    int childTotal_ = 0;
    uint32_t generation_ = 0;
    uint64_t nameBits_ = 0;
    // First child of each name, built when the list grows long.
    mutable std::unique_ptr<CJsNameIndex> index_;
};

CJsBinding* CJsValue::lookupChild(const std::string& name, uint32_t hash) const {
    if (!(nameBits_ & nameBit(hash))) return nullptr;
    if (index_ || childTotal_ > kIndexFrom) return lookupLong(name, hash);
    for (CJsBinding* child = firstChild; child; child = child->next) {
        if (child->hash == hash && jsSameName(child->name, name)) return child;
    }
    return nullptr;
}

void CJsBinding::rebind(CJsValue* bound) {
    if (!bound) bound = new CJsValue();
    bound->ref();
    CJsValue* old = value;
    value = bound;
    old->unref();
}

CJsValueRef::CJsValueRef(CJsValue* value) : value_(value) {
    if (value_) value_->ref();
}

CJsValueRef::~CJsValueRef() {
    if (value_) value_->unref();
}

// Free lists of value and binding memory, one per thread, so that engines on
// different threads never share one; inline, because expressions make and drop
// values and bindings by the million. Plain thread-local data (no constructor
// or destructor) is reached without a call; value.cpp empties the lists when
// the thread ends.
//
// Under AddressSanitizer, where every fresh allocation records a stack trace,
// the lists are kept too but used first in, first out: a freed block stays
// poisoned until kQuarantineBlocks later frees have passed, so that a use
// after free is still reported (as a use of poisoned memory) rather than
// reaching the next value made. A leaked block is reported with the stack of
// its first allocation.
#if defined(__SANITIZE_ADDRESS__)
#define JS_POOL_QUARANTINE 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define JS_POOL_QUARANTINE 1
#endif
#endif
#ifndef JS_POOL_QUARANTINE
#define JS_POOL_QUARANTINE 0
#endif

struct CJsFreeList {
    static constexpr uint32_t kMaxBlocks = 8192;
    // Quarantined lists: a block waits this many later frees, and the ring
    // holds twice as many.
    static constexpr uint32_t kQuarantineBlocks = 1024;
    static constexpr uint32_t kRingBlocks = 2 * kQuarantineBlocks;
    static constexpr uint8_t kUnused = 0;  // no block kept yet on this thread
    static constexpr uint8_t kOpen = 1;
    static constexpr uint8_t kClosed = 2;  // the thread is ending
    // The newest block, each holding the next; in quarantined lists the
    // ring of kRingBlocks block pointers instead (the blocks are poisoned,
    // and the leak checker does not look inside poisoned memory).
    void* head;
    uint32_t count;
    uint32_t oldest;  // the ring's slot of the block that waited longest
    uint8_t state;
};

extern __thread CJsFreeList jsValueMemory;
extern __thread CJsFreeList jsBindingMemory;

// Keeps `block` of `size` bytes on `list` when it may, frees it otherwise.
void jsGiveBack(CJsFreeList& list, void* block, size_t size);
// The oldest block on `list` once it has waited long enough, else a new one.
void* jsTakeQuarantined(CJsFreeList& list, size_t size);

inline void* jsTakeBlock(CJsFreeList& list, size_t size) {
    if (JS_POOL_QUARANTINE) return jsTakeQuarantined(list, size);
    void* block = list.head;
    if (!block) return ::operator new(size);
    list.head = *static_cast<void**>(block);
    list.count--;
    return block;
}

inline void jsGiveBlock(CJsFreeList& list, void* block, size_t size) {
    if (!JS_POOL_QUARANTINE && list.state == CJsFreeList::kOpen &&
        list.count < CJsFreeList::kMaxBlocks) {
        *static_cast<void**>(block) = list.head;
        list.head = block;
        list.count++;
        return;
    }
    jsGiveBack(list, block, size);
}

inline void* CJsValue::operator new(size_t size) {
    return jsTakeBlock(jsValueMemory, size);
}
inline void CJsValue::operator delete(void* pointer) {
    jsGiveBlock(jsValueMemory, pointer, sizeof(CJsValue));
}
inline void* CJsBinding::operator new(size_t size) {
    return jsTakeBlock(jsBindingMemory, size);
}
inline void CJsBinding::operator delete(void* pointer) {
    jsGiveBlock(jsBindingMemory, pointer, sizeof(CJsBinding));
}

// A new value from applying the operator token `op` to `a` and `b`; raises the
// unsupported-operation message for combinations that have no meaning.
CJsValue* applyOperator(const CJsValue* a, const CJsValue* b, int op);

// The string in double quotes with escapes, as scripts and JSON read it.
std::string quoteJsString(const std::string& text);

// The base-detecting integer parse: optional white space and sign, "0x"
// hexadecimal, leading "0" octal, else decimal; stops at the first invalid
// character, 0 without digits, saturating at the 32-bit limits.
int32_t parseJsInt(const std::string& text);

// Raises "String too long" when a string of `bytes` exceeds the current
// limit: longer results raise an error instead of exhausting memory.
void jsCheckStringLength(size_t bytes);
