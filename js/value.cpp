// Value life cycle, conversions and the child list.
#include "js/value.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "js/tokenizer.h"

#if JS_POOL_QUARANTINE
#include <sanitizer/asan_interface.h>
#endif

namespace {

// Marks a block waiting on a quarantined free list as unusable, and usable
// again; nothing outside AddressSanitizer builds.
void poison([[maybe_unused]] void* block, [[maybe_unused]] size_t size) {
#if JS_POOL_QUARANTINE
    __asan_poison_memory_region(block, size);
#endif
}

void unpoison([[maybe_unused]] void* block, [[maybe_unused]] size_t size) {
#if JS_POOL_QUARANTINE
    __asan_unpoison_memory_region(block, size);
#endif
}

// Recursive copies stop copying (and share) below this depth, and after the
// limit's number of copied values, so that a structure containing itself or a
// huge shared graph cannot exhaust the stack or the memory.
constexpr int kMaxCopyDepth = 200;

const CJsLimits kDefaultLimits;

// Destroys `value` and everything only it kept alive, without recursion: a
// long chain of nested objects must not overflow the stack.
void destroyValue(CJsValue* value) {
    // Most values have no children: no work list needed.
    if (!value->firstChild) {
        delete value;
        return;
    }
    // A short work list lives on the stack; long chains spill to the heap.
    CJsValue* nearby[32];
    size_t nearbyCount = 0;
    std::vector<CJsValue*> spilled;
    auto push = [&](CJsValue* next) {
        if (nearbyCount < 32) {
            nearby[nearbyCount++] = next;
        } else {
            spilled.push_back(next);
        }
    };
    push(value);
    while (nearbyCount > 0 || !spilled.empty()) {
        CJsValue* current;
        if (!spilled.empty()) {
            current = spilled.back();
            spilled.pop_back();
        } else {
            current = nearby[--nearbyCount];
        }
        while (CJsBinding* child = current->firstChild) {
            current->firstChild = child->next;
            child->linked = false;
            child->next = child->previous = nullptr;
            if (--child->holds > 0) continue;  // still used by an expression
            CJsValue* held = child->value;
            child->value = nullptr;
            delete child;
            if (held->refCount-- == 1) push(held);
        }
        current->lastChild = nullptr;
        current->clearChildren();  // resets the count and the index
        delete current;
    }
}

// The live-count balance of threads that have ended.
std::atomic<int64_t> endedValues{0};
std::atomic<int64_t> endedBindings{0};

// Empties this thread's free lists and hands its live-count balance on when
// the thread ends; armed by the first value or binding the thread frees.
struct FreeListCleanup {
    static void drain(CJsFreeList& list, size_t size) {
        if (JS_POOL_QUARANTINE) {
            void** ring = static_cast<void**>(list.head);
            for (uint32_t i = 0; i < list.count; i++) {
                void* block = ring[(list.oldest + i) % CJsFreeList::kRingBlocks];
                unpoison(block, size);
                ::operator delete(block);
            }
            delete[] ring;
            list.head = nullptr;
        } else {
            while (list.head) {
                void* next = *static_cast<void**>(list.head);
                ::operator delete(list.head);
                list.head = next;
            }
        }
        list.count = 0;
        list.state = CJsFreeList::kClosed;
    }
    ~FreeListCleanup() {
        drain(jsValueMemory, sizeof(CJsValue));
        drain(jsBindingMemory, sizeof(CJsBinding));
        // The thread's balance outlives it, so that what it leaked still shows.
        endedValues += jsLiveHere.values;
        endedBindings += jsLiveHere.bindings;
        jsLiveHere = CJsLiveCounts();
    }
    bool armed = false;
};

thread_local FreeListCleanup freeListCleanup;

// The registry of the engine running on this thread, if any.
thread_local CJsValueRegistry* currentRegistry = nullptr;

}  // namespace

__thread CJsFreeList jsValueMemory;
__thread CJsFreeList jsBindingMemory;
__thread CJsLiveCounts jsLiveHere;

CJsLiveCounts jsLiveCounts() {
    CJsLiveCounts counts = jsLiveHere;
    counts.values += endedValues.load();
    counts.bindings += endedBindings.load();
    return counts;
}

void jsGiveBack(CJsFreeList& list, void* block, size_t size) {
    if (list.state == CJsFreeList::kUnused) {
        freeListCleanup.armed = true;
        jsValueMemory.state = CJsFreeList::kOpen;
        jsBindingMemory.state = CJsFreeList::kOpen;
        if (JS_POOL_QUARANTINE) {
            jsValueMemory.head = new void*[CJsFreeList::kRingBlocks];
            jsBindingMemory.head = new void*[CJsFreeList::kRingBlocks];
        }
    }
    // Memory freed after the thread's lists are gone goes straight back.
    uint32_t most = JS_POOL_QUARANTINE ? CJsFreeList::kRingBlocks : CJsFreeList::kMaxBlocks;
    if (list.state != CJsFreeList::kOpen || list.count >= most) {
        ::operator delete(block);
        return;
    }
    if (JS_POOL_QUARANTINE) {
        void** ring = static_cast<void**>(list.head);
        ring[(list.oldest + list.count) % CJsFreeList::kRingBlocks] = block;
        poison(block, size);
    } else {
        *static_cast<void**>(block) = list.head;
        list.head = block;
    }
    list.count++;
}

void* jsTakeQuarantined(CJsFreeList& list, size_t size) {
    if (list.count <= CJsFreeList::kQuarantineBlocks) return ::operator new(size);
    void* block = static_cast<void**>(list.head)[list.oldest];
    list.oldest = (list.oldest + 1) % CJsFreeList::kRingBlocks;
    list.count--;
    unpoison(block, size);
    return block;
}

const CJsLimits& jsLimits() {
    return currentRegistry ? currentRegistry->limits : kDefaultLimits;
}

void jsCheckStringLength(size_t bytes) {
    size_t most = jsLimits().stringBytes;
    if (bytes > most) {
        throw CScriptException("String too long (more than " + std::to_string(most) + " bytes)");
    }
}

CJsValueRegistry* jsSetValueRegistry(CJsValueRegistry* registry) {
    CJsValueRegistry* previous = currentRegistry;
    currentRegistry = registry;
    return previous;
}

void CJsValue::enlist() {
    registry = currentRegistry;
    if (!registry) return;
    registryNext = registry->first;
    if (registryNext) registryNext->registryPrevious = this;
    registry->first = this;
    registry->count++;
}

void jsEnlist(CJsValue* value) {
    if (!value->registry && currentRegistry) value->enlist();
}

void jsDelist(CJsValue* value) {
    CJsValueRegistry* registry = value->registry;
    if (!registry) return;
    if (value->registryPrevious) value->registryPrevious->registryNext = value->registryNext;
    if (value->registryNext) value->registryNext->registryPrevious = value->registryPrevious;
    if (registry->first == value) registry->first = value->registryNext;
    registry->count--;
    value->registry = nullptr;
    value->registryPrevious = value->registryNext = nullptr;
}

CJsBinding::CJsBinding(const std::string& bindingName, CJsValue* bound)
    : CJsBinding(bindingName, jsNameHash(bindingName), bound) {}

CJsBinding::CJsBinding(const std::string& bindingName, uint32_t nameHash, CJsValue* bound)
    : name(bindingName), value(bound ? bound : new CJsValue()), hash(nameHash) {
    jsLiveHere.bindings++;
    value->ref();
}

CJsBinding::CJsBinding(CJsValue* bound)
    : value(bound ? bound : new CJsValue()), hash(jsNameHash(std::string())) {
    jsLiveHere.bindings++;
    value->ref();
}

CJsBinding::~CJsBinding() {
    jsLiveHere.bindings--;
    if (value) value->unref();
}

CJsValue::CJsValue(const std::string& initial, uint8_t initialFlags) : flags(initialFlags) {
    jsLiveHere.values++;
    if (flags & INTEGER) {
        intValue = parseJsInt(initial);
    } else if (flags & DOUBLE) {
        doubleValue = std::strtod(initial.c_str(), nullptr);
    } else {
        text = initial;
    }
}

CJsValue::~CJsValue() {
    // Most values die childless; skipping the call pays off at their numbers.
    if (firstChild || index_) clearChildren();
    if (registry) jsDelist(this);
    jsLiveHere.values--;
}

void CJsValue::unrefLast() {
    if (refCount == 1 && !firstChild) {
        // Most values die childless: no work list needed.
        refCount = 0;
        delete this;
        return;
    }
    if (refCount <= 0) std::fputs("OMFG, we have unreffed too far!\n", stdout);
    if (refCount-- == 1) destroyValue(this);
}

void CJsValue::setScalar(uint8_t type) {
    flags = static_cast<uint8_t>((flags & NATIVE) | type);
    text.clear();
    intValue = 0;
    doubleValue = 0;
    bodyTokens.reset();
}

void CJsValue::setInt(int32_t value) {
    setScalar(INTEGER);
    intValue = value;
}

void CJsValue::setDouble(double value) {
    setScalar(DOUBLE);
    doubleValue = value;
}

void CJsValue::setString(const std::string& value) {
    setScalar(STRING);
    text = value;
}

void CJsValue::setUndefined() {
    setScalar(0);
    clearChildren();
}

void CJsValue::setArray() {
    setScalar(ARRAY);
    clearChildren();
}

int32_t CJsValue::asIntOther() const {
    if (flags & DOUBLE) {
        // Truncation toward zero, clamped: out-of-range conversion is undefined.
        if (!(doubleValue == doubleValue)) return 0;
        if (doubleValue >= 2147483647.0) return INT32_MAX;
        if (doubleValue <= -2147483648.0) return INT32_MIN;
        return static_cast<int32_t>(doubleValue);
    }
    return 0;
}

double CJsValue::asDouble() const {
    if (flags & DOUBLE) return doubleValue;
    if (flags & INTEGER) return intValue;
    return 0;
}

std::string CJsValue::asString() const {
    if (flags & INTEGER) return std::to_string(intValue);
    if (flags & DOUBLE) {
        char buffer[512];
        std::snprintf(buffer, sizeof buffer, "%f", doubleValue);
        return buffer;
    }
    if (flags & NULLTYPE) return "null";
    if (isUndefined()) return "undefined";
    return text;
}

CJsNameIndex::CJsNameIndex(size_t expected) {
    size_t size = 16;
    while (size < expected * 2)
        size *= 2;
    slots_.assign(size, nullptr);
    mask_ = size - 1;
}

void CJsNameIndex::add(CJsBinding* binding) {
    if ((used_ + 1) * 2 > slots_.size()) grow();
    size_t slot = home(binding);
    for (; slots_[slot]; slot = (slot + 1) & mask_) {
        if (slots_[slot]->hash == binding->hash && jsSameName(slots_[slot]->name, binding->name))
            return;
    }
    slots_[slot] = binding;
    used_++;
}

void CJsNameIndex::replace(CJsBinding* binding, CJsBinding* replacement) {
    for (size_t slot = home(binding); slots_[slot]; slot = (slot + 1) & mask_) {
        if (slots_[slot]->hash != binding->hash || !jsSameName(slots_[slot]->name, binding->name))
            continue;
        if (slots_[slot] != binding) return;
        if (replacement) {
            slots_[slot] = replacement;
        } else {
            erase(slot);
        }
        return;
    }
}

void CJsNameIndex::grow() {
    std::vector<CJsBinding*> old;
    old.swap(slots_);
    slots_.assign(old.size() * 2, nullptr);
    mask_ = slots_.size() - 1;
    for (CJsBinding* binding : old) {
        if (!binding) continue;
        size_t slot = home(binding);
        while (slots_[slot])
            slot = (slot + 1) & mask_;
        slots_[slot] = binding;
    }
}

void CJsNameIndex::erase(size_t slot) {
    // Backward shift: later members of the same probe run move up, so that
    // no search stops early at the hole.
    slots_[slot] = nullptr;
    used_--;
    for (size_t next = (slot + 1) & mask_; slots_[next]; next = (next + 1) & mask_) {
        size_t wanted = home(slots_[next]);
        if (((next - wanted) & mask_) >= ((next - slot) & mask_)) {
            slots_[slot] = slots_[next];
            slots_[next] = nullptr;
            slot = next;
        }
    }
}

CJsBinding* CJsValue::lookupLong(const std::string& name, uint32_t hash) const {
    if (!index_) buildIndex();
    return index_->find(name, hash);
}

void CJsValue::buildIndex() const {
    index_.reset(new CJsNameIndex(static_cast<size_t>(childTotal_) * 2));
    for (CJsBinding* child = firstChild; child; child = child->next) {
        index_->add(child);
    }
}

void CJsValue::forgetIndexed(CJsBinding* binding) {
    if (!index_ || index_->find(binding->name, binding->hash) != binding) return;
    // The next child of the same name, if any, becomes the one found.
    CJsBinding* later = binding->next;
    while (later && !jsSameName(later->name, binding->name))
        later = later->next;
    index_->replace(binding, later);
}

void CJsValue::renameChild(CJsBinding* binding, const std::string& name) {
    forgetIndexed(binding);
    generation_++;
    binding->name = name;
    binding->hash = jsNameHash(name);
    nameBits_ |= nameBit(binding->hash);
    index_.reset();  // rebuilt in list order on the next lookup
}

void CJsValue::linkChild(CJsBinding* binding) {
    // A value joins the running engine's list when it first gets a member:
    // only then can it become part of a cycle.
    if (!registry) jsEnlist(this);
    binding->hold();
    binding->owned = true;
    binding->linked = true;
    binding->previous = lastChild;
    binding->next = nullptr;
    childTotal_++;
    nameBits_ |= nameBit(binding->hash);
    if (index_) index_->add(binding);
    if (lastChild) {
        lastChild->next = binding;
    } else {
        firstChild = binding;
    }
    lastChild = binding;
}

CJsBinding* CJsValue::appendChild(const std::string& name, CJsValue* value) {
    return appendChild(name, jsNameHash(name), value);
}

CJsBinding* CJsValue::appendChild(const std::string& name, uint32_t hash, CJsValue* value) {
    if (isUndefined()) flags = OBJECT;
    CJsBinding* binding = new CJsBinding(name, hash, value);
    linkChild(binding);
    return binding;
}

CJsBinding* CJsValue::setChild(const std::string& name, CJsValue* value) {
    if (!value) value = new CJsValue();
    if (CJsBinding* existing = lookupChild(name)) {
        existing->rebind(value);
        return existing;
    }
    return appendChild(name, value);
}

CJsBinding* CJsValue::lookupOrAddChild(const std::string& name, uint8_t typeFlags) {
    if (CJsBinding* existing = lookupChild(name)) return existing;
    return appendChild(name, new CJsValue(std::string(), typeFlags));
}

CJsBinding* CJsValue::lookupOrAddPath(const std::string& path) {
    CJsValue* parent = this;
    std::string rest = path;
    for (;;) {
        size_t dot = rest.find('.');
        if (dot == std::string::npos) return parent->lookupOrAddChild(rest, 0);
        parent = parent->lookupOrAddChild(rest.substr(0, dot), OBJECT)->value;
        rest = rest.substr(dot + 1);
    }
}

void CJsValue::removeBinding(CJsBinding* binding) {
    if (!binding || !binding->linked) return;
    generation_++;
    forgetIndexed(binding);
    childTotal_--;
    if (binding->previous) binding->previous->next = binding->next;
    if (binding->next) binding->next->previous = binding->previous;
    if (firstChild == binding) firstChild = binding->next;
    if (lastChild == binding) lastChild = binding->previous;
    binding->next = binding->previous = nullptr;
    binding->linked = false;
    binding->release();
}

void CJsValue::unlinkValue(CJsValue* value) {
    for (CJsBinding* child = firstChild; child; child = child->next) {
        if (child->value == value) {
            removeBinding(child);
            return;
        }
    }
}

void CJsValue::clearChildren() {
    // The whole list goes: it is detached at once rather than unlinked child
    // by child. Releasing a child never reaches back into this list.
    index_.reset();
    CJsBinding* child = firstChild;
    firstChild = lastChild = nullptr;
    childTotal_ = 0;
    nameBits_ = 0;
    generation_++;
    while (child) {
        CJsBinding* next = child->next;
        child->next = child->previous = nullptr;
        child->linked = false;
        child->release();
        child = next;
    }
}

namespace {

// The decimal value of a name made only of digits (the empty name is 0), or -1.
long indexOfName(const std::string& name) {
    long value = 0;
    for (char c : name) {
        if (c < '0' || c > '9') return -1;
        value = value * 10 + (c - '0');
        if (value > INT_MAX - 1) value = INT_MAX - 1;
    }
    return value;
}

}  // namespace

int CJsValue::arrayLength() const {
    if (!isArray()) return 0;
    long largest = -1;
    for (CJsBinding* child = firstChild; child; child = child->next) {
        long index = indexOfName(child->name);
        if (index > largest) largest = index;
    }
    return static_cast<int>(largest + 1);
}

CJsValueRef CJsValue::arrayItem(int index) const {
    if (CJsBinding* child = lookupChild(std::to_string(index))) return CJsValueRef(child->value);
    return CJsValueRef(new CJsValue(std::string(), NULLTYPE));
}

void CJsValue::setArrayItem(int index, CJsValue* value) {
    CJsValueRef keep(value);
    std::string name = std::to_string(index);
    bool defined = value && !value->isUndefined();
    if (CJsBinding* child = lookupChild(name)) {
        if (defined) {
            child->rebind(value);
        } else {
            removeBinding(child);
        }
    } else if (defined) {
        appendChild(name, value);
    }
}

CJsValue* CJsValue::cloneLimited(int depth, long& budget) const {
    CJsValue* copy = new CJsValue();
    copy->flags = static_cast<uint8_t>(flags & TYPE_MASK);
    // Every basic argument of a call is copied: skip what numbers lack.
    if (!text.empty()) copy->text = text;
    copy->intValue = intValue;
    copy->doubleValue = doubleValue;
    if (bodyTokens) copy->bodyTokens = bodyTokens;
    for (CJsBinding* child = firstChild; child; child = child->next) {
        bool share = child->name == "prototype" || depth >= kMaxCopyDepth || budget <= 0;
        budget--;
        copy->appendChild(child->name,
                          share ? child->value : child->value->cloneLimited(depth + 1, budget));
    }
    return copy;
}

CJsValue* CJsValue::cloneDeep() const {
    long budget = jsLimits().copyValues;
    return cloneLimited(0, budget);
}

void CJsValue::copyFrom(const CJsValue* source) {
    if (!source) {
        setUndefined();
        return;
    }
    // Copy first: the source may be one of the children about to be removed.
    CJsValueRef copy(source->cloneDeep());
    setScalar(copy->type());
    text = copy->text;
    intValue = copy->intValue;
    doubleValue = copy->doubleValue;
    bodyTokens = copy->bodyTokens;
    clearChildren();
    for (CJsBinding* child = copy->firstChild; child; child = child->next) {
        appendChild(child->name, child->value);
    }
}

bool CJsValue::looselyEquals(const CJsValue* other) const {
    CJsValueRef result(applyOperator(this, other, TOK_EQUAL));
    return result->asBool();
}

CJsValue* CJsValue::argument(const std::string& name) {
    return lookupOrAddChild(name, 0)->value;
}

void CJsValue::setResult(CJsValue* value) {
    setChild("return", value);
}
