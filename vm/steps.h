// The effect of every PLAIN instruction as one inline function, shared by the
// dispatch loop for single instructions and for superinstructions (which run
// the same functions in sequence, so a fused run behaves exactly like the
// unfused one, messages and failures included). Internal to interpreter.cpp.
//
// Each step gets the interpreter's registers and a pointer to its own opcode
// word (operand at ip[1]); it returns false after logging when it fails.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <utility>

#include "vm/opcodes.h"
#include "vm/vectorMath.h"

#define VM_INLINE inline __attribute__((always_inline))
#define VM_COLD __attribute__((noinline))

struct Regs {
    uint32_t* mem;
    uint32_t memSize;
    uint32_t* stackBase;
    uint32_t stackWords;         // the tested extent of the stack
    uintptr_t stackBytes;        // the same in bytes, for the test before each instruction
    const uint32_t* stackLimit;  // stackBase + stackWords
    // A stack pointer in [runLow, runHigh) has kRunRoom words of stack on
    // either side; the range is empty when the stack is smaller than that.
    const uint32_t* runLow;
    const uint32_t* runHigh;
    // Branches left before the clock is read, plus one, so that the test
    // after a branch is a decrement and a sign test. Instructions whose work
    // grows with their operand (the block copies) spend it too, so that a
    // budget also bounds code that copies much and branches little.
    int64_t countdown;
    uint32_t frameAddr;  // memory address of local 0
    int32_t fp;
    const uint32_t* code;
    // A copy of the word the stack pointer points at. Memory always holds
    // the stack too (natives, dumps and block instructions read it there);
    // the copy lets the next instruction take its top operand without
    // waiting for the store of the previous one to reach memory, which is
    // what bounds chains of arithmetic on a stack machine.
    uint32_t tos;
    // The same for the word below it, the other operand of every binary
    // operator and the address of every store.
    uint32_t nos;
};

// Failure messages, kept out of line so that the hot path stays small.
VM_COLD bool failMemory(const uint32_t* code, const uint32_t* ip, uint32_t address);
VM_COLD bool failAssign(const uint32_t* code, const uint32_t* ip, uint32_t address);
VM_COLD bool failCopy(const uint32_t* code, const uint32_t* ip, uint32_t dst, uint32_t src,
                      uint32_t count);
VM_COLD bool failStack(const uint32_t* code, const uint32_t* ip);
VM_COLD bool failStackAs(const uint32_t* code, const uint32_t* ip, uint32_t opcode);

VM_INLINE bool stackInRange(const Regs& r, const uint32_t* sp) {
    return reinterpret_cast<uintptr_t>(sp) - reinterpret_cast<uintptr_t>(r.stackBase) <
           r.stackBytes;
}

// The stack pointer was in range before an instruction that moved it by
// `D` words: only the end it moved towards can have been crossed.
template <int D>
VM_INLINE bool stackStillInRange(const Regs& r, const uint32_t* sp) {
    if constexpr (D > 0)
        return reinterpret_cast<uintptr_t>(sp) < reinterpret_cast<uintptr_t>(r.stackLimit);
    else if constexpr (D < 0)
        return reinterpret_cast<uintptr_t>(sp) >= reinterpret_cast<uintptr_t>(r.stackBase);
    else
        return true;
}

VM_INLINE float asFloat(uint32_t word) {
    float f;
    std::memcpy(&f, &word, 4);
    return f;
}

VM_INLINE uint32_t asWord(float f) {
    uint32_t word;
    std::memcpy(&word, &f, 4);
    return word;
}

VM_INLINE int32_t asInt(uint32_t word) {
    return static_cast<int32_t>(word);
}

// Vectors move as blocks rather than words, so that they go straight
// between the stack and the registers they are passed in, and a block copy
// (MEMCPY, ASSIGN_MULTIPLE) that reads a stored vector right back finds it
// in wide stores, which the processor forwards to its loads.
VM_INLINE Vec3 vecAt(const uint32_t* p) {
    float words[3];
    std::memcpy(words, p, sizeof words);
    return {words[0], words[1], words[2]};
}

VM_INLINE void storeVec(uint32_t* p, Vec3 v) {
    const float words[3] = {v.x, v.y, v.z};
    std::memcpy(p, words, sizeof words);
}

// True when `count` words from `address` lie inside memory.
VM_INLINE bool areaInside(const Regs& r, uint32_t address, uint32_t count) {
    return static_cast<uint64_t>(address) + count <= r.memSize;
}

// A block copy of n words costs n >> kCopyCostShift branches of the countdown.
constexpr int kCopyCostShift = 5;
constexpr bool copiesBlocks(op::Opcode opcode) {
    return opcode == op::DEREF_MULTIPLE || opcode == op::ASSIGN_MULTIPLE || opcode == op::MEMCPY;
}
template <op::Opcode... OPS>
constexpr bool anyCopiesBlocks() {
    return (copiesBlocks(OPS) || ...);
}

template <op::Opcode OP>
bool step(Regs& r, uint32_t*& sp, const uint32_t* ip);

#define VM_STEP(NAME)                                                                         \
    template <>                                                                               \
    VM_INLINE bool step<op::NAME>([[maybe_unused]] Regs & r, [[maybe_unused]] uint32_t * &sp, \
                                  [[maybe_unused]] const uint32_t* ip)
#define K (ip[1])

// ---- data and memory ----
VM_STEP(NOP) {
    (void)r;
    (void)ip;
    return true;
}
VM_STEP(REF) {
    r.nos = r.tos;
    *++sp = r.tos = K;
    return true;
}
VM_STEP(REFVAR) {
    r.nos = r.tos;
    *++sp = r.tos = r.frameAddr + K;
    return true;
}
VM_STEP(COPYVAR) {
    uint32_t address = r.frameAddr + K;
    if (address >= r.memSize) return failMemory(r.code, ip, address);
    r.nos = r.tos;
    *++sp = r.tos = r.mem[address];
    return true;
}
VM_STEP(DEREF) {
    uint32_t address = r.tos;
    if (address >= r.memSize) return failMemory(r.code, ip, address);
    *sp = r.tos = r.mem[address];
    return true;
}
VM_STEP(DEREF_OFFSET) {
    uint32_t address = r.tos + K;
    if (address >= r.memSize) return failMemory(r.code, ip, address);
    *sp = r.tos = r.mem[address];
    return true;
}
VM_STEP(DEREF_MULTIPLE) {
    uint32_t base = *sp--;
    int32_t count = asInt(K);
    if (count <= 0) return true;
    if (static_cast<uint64_t>(sp - r.stackBase) + static_cast<uint32_t>(count) >= r.stackWords)
        return failStackAs(r.code, ip, op::DEREF_MULTIPLE);
    r.countdown -= count >> kCopyCostShift;
    for (int32_t i = 0; i < count; ++i) {
        uint32_t address = base + static_cast<uint32_t>(i);
        if (address >= r.memSize) return failMemory(r.code, ip, address);
        *++sp = r.mem[address];
    }
    return true;
}
// Stores may hit the stack itself, so the new top and the word below it
// are read back after them.
VM_STEP(ASSIGN) {
    uint32_t address = r.nos;
    if (address >= r.memSize) return failAssign(r.code, ip, address);
    r.mem[address] = r.tos;
    --sp;
    r.tos = *sp;
    r.nos = sp[-1];
    return true;
}
VM_STEP(ASSIGNPOP) {
    uint32_t address = r.nos;
    if (address >= r.memSize) return failAssign(r.code, ip, address);
    r.mem[address] = r.tos;
    sp -= 2;
    r.tos = *sp;
    r.nos = sp[-1];
    return true;
}
VM_STEP(ASSIGN_MULTIPLE) {
    uint32_t count = K;
    uint32_t src = static_cast<uint32_t>(sp - r.mem) - count + 1;
    bool srcOk = src < r.memSize && static_cast<uint64_t>(src) + count < r.memSize;
    // The destination lies just below the source; read it only when that is memory.
    uint32_t dst = srcOk && src > 0 ? r.mem[src - 1] : 0;
    if (!srcOk || src == 0 || dst >= r.memSize || static_cast<uint64_t>(dst) + count >= r.memSize)
        return failCopy(r.code, ip, dst, src, count);
    std::memmove(r.mem + dst, r.mem + src, count * sizeof(uint32_t));
    r.countdown -= count >> kCopyCostShift;
    sp -= count;
    return true;
}
VM_STEP(MEMCPY) {
    uint32_t count = K, dst = sp[-1], src = sp[0];
    if (dst >= r.memSize || static_cast<uint64_t>(dst) + count >= r.memSize || src >= r.memSize ||
        static_cast<uint64_t>(src) + count >= r.memSize)
        return failCopy(r.code, ip, dst, src, count);
    std::memmove(r.mem + dst, r.mem + src, count * sizeof(uint32_t));
    r.countdown -= count >> kCopyCostShift;
    sp -= 2;
    return true;
}
VM_STEP(LITERAL) {
    r.nos = r.tos;
    *++sp = r.tos = K;
    return true;
}
VM_STEP(LITERAL_CHAR) {
    uint32_t k = K;
    sp[1] = k >> 24;
    sp[2] = (k >> 16) & 0xFF;
    sp[3] = (k >> 8) & 0xFF;
    sp[4] = k & 0xFF;
    sp += 4;
    return true;
}
VM_STEP(PUSH_MULTIPLE) {
    sp += asInt(K);
    return true;
}
VM_STEP(POP) {
    (void)ip;
    --sp;
    r.tos = r.nos;
    r.nos = sp[-1];
    return true;
}
VM_STEP(POP_MULTIPLE) {
    sp -= asInt(K);
    return true;
}
VM_STEP(DUP) {
    (void)ip;
    r.nos = r.tos;
    *++sp = r.tos;
    return true;
}
VM_STEP(SWAP) {
    (void)ip;
    uint32_t below = r.nos;
    sp[-1] = r.nos = r.tos;
    *sp = r.tos = below;
    return true;
}
VM_STEP(LITERALF) {
    r.nos = r.tos;
    *++sp = r.tos = K;
    return true;
}

// ---- integer arithmetic ----
// Binary operators: the result of `a OP b`, b being the top, then the step.
template <op::Opcode OP>
uint32_t binaryResult(uint32_t a, uint32_t b);
#define VM_BINARY(NAME, EXPR)                                           \
    template <>                                                         \
    VM_INLINE uint32_t binaryResult<op::NAME>(uint32_t a, uint32_t b) { \
        return static_cast<uint32_t>(EXPR);                             \
    }                                                                   \
    VM_STEP(NAME) {                                                     \
        (void)ip;                                                       \
        uint32_t b = r.tos, a = r.nos;                                  \
        *--sp = r.tos = binaryResult<op::NAME>(a, b);                   \
        r.nos = sp[-1];                                                 \
        return true;                                                    \
    }
VM_BINARY(USHR, a >> (b & 31))
VM_BINARY(SSHR, asInt(a) >> (b & 31))
VM_BINARY(SHL, a << (b & 31))
VM_BINARY(INTADD, a + b)
VM_BINARY(INTSUB, a - b)
VM_BINARY(INTMUL, a* b)
// Division by zero keeps the dividend; the most negative integer divided by
// -1 wraps to itself (remainder 0) instead of trapping.
VM_BINARY(INTDIV,
          b == 0 ? a : (asInt(b) == -1 ? 0u - a : static_cast<uint32_t>(asInt(a) / asInt(b))))
VM_BINARY(INTMOD, b == 0 ? a : (asInt(b) == -1 ? 0u : static_cast<uint32_t>(asInt(a) % asInt(b))))
VM_BINARY(INTGTE, asInt(a) >= asInt(b))
VM_BINARY(INTLTE, asInt(a) <= asInt(b))
VM_BINARY(INTGT, asInt(a) > asInt(b))
VM_BINARY(INTLT, asInt(a) < asInt(b))
VM_BINARY(INTEQ, a == b)
VM_BINARY(INTNEQ, a != b)
VM_BINARY(INTAND, a& b)
VM_BINARY(INTOR, a | b)
VM_BINARY(INTXOR, a ^ b)
VM_BINARY(FLOATADD, asWord(asFloat(a) + asFloat(b)))
VM_BINARY(FLOATSUB, asWord(asFloat(a) - asFloat(b)))
VM_BINARY(FLOATMUL, asWord(asFloat(a) * asFloat(b)))
// A zero divisor (either sign) is replaced by the smallest normal float.
VM_BINARY(FLOATDIV, asWord(asFloat(a) / (asFloat(b) == 0.0f ? asFloat(0x00800000) : asFloat(b))))
VM_BINARY(FLOATGTE, asFloat(a) >= asFloat(b))
VM_BINARY(FLOATLTE, asFloat(a) <= asFloat(b))
VM_BINARY(FLOATGT, asFloat(a) > asFloat(b))
VM_BINARY(FLOATLT, asFloat(a) < asFloat(b))
VM_BINARY(FLOATEQ, asFloat(a) == asFloat(b))
VM_BINARY(FLOATNEQ, asFloat(a) != asFloat(b))
#undef VM_BINARY

VM_STEP(FTOI) {
    (void)ip;
    float f = asFloat(r.tos);
    // Truncation to 64 bits keeps the low word; out of that range (or NaN) gives 0.
    bool representable = std::fabs(f) < 9223372036854775808.0f;
    *sp = r.tos = representable ? static_cast<uint32_t>(static_cast<int64_t>(f)) : 0;
    return true;
}
VM_STEP(ITOF) {
    (void)ip;
    *sp = r.tos = asWord(static_cast<float>(asInt(r.tos)));
    return true;
}
VM_STEP(LITERALINTADD) {
    *sp = r.tos = r.tos + K;
    return true;
}
VM_STEP(LITERALINTMULADD) {
    uint32_t b = r.tos;
    *--sp = r.tos = r.nos + b * K;
    r.nos = sp[-1];
    return true;
}
VM_STEP(LITERALINCREMENT) {
    uint32_t address = r.tos;
    if (address >= r.memSize) return failMemory(r.code, ip, address);
    r.mem[address] += K;
    --sp;
    r.tos = *sp;
    r.nos = sp[-1];
    return true;
}
VM_STEP(INTMULADD) {
    (void)ip;
    uint32_t c = r.tos, b = r.nos;
    sp -= 2;
    *sp = r.tos = *sp + b * c;
    r.nos = sp[-1];
    return true;
}

// ---- vectors on the stack ----
VM_STEP(VECTOR_ADD) {
    (void)ip;
    Vec3 b = vecAt(sp - 2), a = vecAt(sp - 5);
    sp -= 3;
    storeVec(sp - 2, {a.x + b.x, a.y + b.y, a.z + b.z});
    return true;
}
VM_STEP(VECTOR_SUB) {
    (void)ip;
    Vec3 b = vecAt(sp - 2), a = vecAt(sp - 5);
    sp -= 3;
    storeVec(sp - 2, {a.x - b.x, a.y - b.y, a.z - b.z});
    return true;
}
VM_STEP(VECTOR_MUL) {
    (void)ip;
    float s = asFloat(*sp--);
    Vec3 v = vecAt(sp - 2);
    storeVec(sp - 2, {v.x * s, v.y * s, v.z * s});
    return true;
}
VM_STEP(VECTOR_CROSS) {
    (void)ip;
    Vec3 b = vecAt(sp - 2), a = vecAt(sp - 5);
    sp -= 3;
    storeVec(sp - 2, vecCross(a, b));
    return true;
}
VM_STEP(VECTOR_DOT3) {
    (void)ip;
    Vec3 b = vecAt(sp - 2), a = vecAt(sp - 5);
    sp -= 5;
    *sp = asWord(a.x * b.x + a.y * b.y + a.z * b.z);
    return true;
}
VM_STEP(VECTOR_MAG) {
    (void)ip;
    Vec3 v = vecAt(sp - 2);
    sp -= 2;
    *sp = asWord(vecLength(v));
    return true;
}
VM_STEP(VECTOR_NORM) {
    (void)ip;
    storeVec(sp - 2, vecNormalise(vecAt(sp - 2)));
    return true;
}

// ---- matrices in memory ----
VM_INLINE void loadMatrix(const Regs& r, uint32_t address, float* m) {
    std::memcpy(m, r.mem + address, 16 * sizeof(float));
}
VM_INLINE void storeMatrix(Regs& r, uint32_t address, const float* m) {
    std::memcpy(r.mem + address, m, 16 * sizeof(float));
}
// Fails unless every matrix (16 words) in `addresses` lies inside memory.
VM_INLINE bool matricesInside(const Regs& r, const uint32_t* ip,
                              std::initializer_list<uint32_t> addresses) {
    for (uint32_t address : addresses)
        if (!areaInside(r, address, 16)) return failMemory(r.code, ip, address);
    return true;
}

VM_STEP(VECTOR_TRANSFORM) {
    uint32_t m = *sp;
    if (!matricesInside(r, ip, {m})) return false;
    float matrix[16];
    loadMatrix(r, m, matrix);
    --sp;
    storeVec(sp - 2, matTransformPoint(matrix, vecAt(sp - 2)));
    return true;
}
VM_STEP(NORMAL_TRANSFORM) {
    uint32_t m = *sp;
    if (!matricesInside(r, ip, {m})) return false;
    float matrix[16];
    loadMatrix(r, m, matrix);
    --sp;
    storeVec(sp - 2, matTransformNormal(matrix, vecAt(sp - 2)));
    return true;
}
VM_STEP(MATMUL) {
    uint32_t d = sp[-2], a = sp[-1], b = sp[0];
    if (!matricesInside(r, ip, {d, a, b})) return false;
    float ma[16], mb[16], md[16];
    loadMatrix(r, a, ma);
    loadMatrix(r, b, mb);
    matMultiply(md, ma, mb);
    storeMatrix(r, d, md);
    sp -= 3;
    return true;
}
template <void (*Build)(float*, const float*, float, float, float)>
VM_INLINE bool matrixWithVector(Regs& r, uint32_t*& sp, const uint32_t* ip) {
    uint32_t d = sp[-4], s = sp[-3];
    if (!matricesInside(r, ip, {d, s})) return false;
    float ms[16], md[16];
    loadMatrix(r, s, ms);
    Build(md, ms, asFloat(sp[-2]), asFloat(sp[-1]), asFloat(sp[0]));
    storeMatrix(r, d, md);
    sp -= 5;
    return true;
}
VM_STEP(MATTRANSLATE) {
    return matrixWithVector<matTranslate>(r, sp, ip);
}
VM_STEP(MATSCALE) {
    return matrixWithVector<matScale>(r, sp, ip);
}
VM_STEP(MATROTATE) {
    uint32_t d = sp[-5], s = sp[-4];
    if (!matricesInside(r, ip, {d, s})) return false;
    float ms[16], md[16];
    loadMatrix(r, s, ms);
    matRotate(md, ms, asFloat(sp[-3]), asFloat(sp[-2]), asFloat(sp[-1]), asFloat(sp[0]));
    storeMatrix(r, d, md);
    sp -= 6;
    return true;
}
VM_STEP(MATIDENTITY) {
    uint32_t d = sp[0];
    if (!matricesInside(r, ip, {d})) return false;
    float md[16];
    matIdentity(md);
    storeMatrix(r, d, md);
    sp -= 1;
    return true;
}
VM_STEP(MATLOOKAT) {
    uint32_t d = sp[-4], s = sp[-3];
    if (!matricesInside(r, ip, {d, s})) return false;
    for (int i = -2; i <= 0; ++i)
        if (!areaInside(r, sp[i], 3)) return failMemory(r.code, ip, sp[i]);
    float ms[16], md[16];
    loadMatrix(r, s, ms);
    Vec3 eye = vecAt(r.mem + sp[-2]), target = vecAt(r.mem + sp[-1]), up = vecAt(r.mem + sp[0]);
    matLookAt(md, ms, eye, target, up);
    storeMatrix(r, d, md);
    sp -= 5;
    return true;
}
VM_STEP(MATBILLBOARD) {
    uint32_t d = sp[-2], s = sp[-1];
    if (!matricesInside(r, ip, {d, s})) return false;
    float ms[16], md[16];
    loadMatrix(r, s, ms);
    matBillboard(md, ms, asFloat(sp[0]));
    storeMatrix(r, d, md);
    sp -= 3;
    return true;
}

// ---- interpolation: `N` components per point, linear or Catmull-Rom ----
template <int N>
VM_INLINE void interpolate2(uint32_t*& sp) {
    float t = asFloat(*sp--);
    uint32_t* a = sp - 2 * N + 1;
    const uint32_t* b = a + N;
    for (int i = 0; i < N; ++i)
        a[i] = asWord(interpLinear(asFloat(a[i]), asFloat(b[i]), t));
    sp -= N;
}
template <int N>
VM_INLINE void interpolate4(uint32_t*& sp) {
    float t = asFloat(*sp--);
    uint32_t* p = sp - 4 * N + 1;
    for (int i = 0; i < N; ++i)
        p[i] = asWord(interpCatmullRom(asFloat(p[i]), asFloat(p[N + i]), asFloat(p[2 * N + i]),
                                       asFloat(p[3 * N + i]), t));
    sp -= 3 * N;
}
VM_STEP(FLOAT_INTERP2) {
    (void)ip;
    interpolate2<1>(sp);
    return true;
}
VM_STEP(FLOAT_INTERP4) {
    (void)ip;
    interpolate4<1>(sp);
    return true;
}
VM_STEP(VECTOR2_INTERP2) {
    (void)ip;
    interpolate2<2>(sp);
    return true;
}
VM_STEP(VECTOR2_INTERP4) {
    (void)ip;
    interpolate4<2>(sp);
    return true;
}
VM_STEP(VECTOR3_INTERP2) {
    (void)ip;
    interpolate2<3>(sp);
    return true;
}
VM_STEP(VECTOR3_INTERP4) {
    (void)ip;
    interpolate4<3>(sp);
    return true;
}

#undef K
#undef VM_STEP

// Net stack-pointer change of an instruction, or kVariableDelta when its
// operand decides it.
constexpr int kVariableDelta = 1 << 20;
constexpr int stackDelta(op::Opcode opcode);

// Steps that keep Regs::tos and Regs::nos themselves; after any other the
// copies are read back from memory. A step whose stack movement is fixed
// moves the pointer by a few words from a position inside the stack, which
// the padding around memory covers; one whose operand decides the movement
// may leave it anywhere, and the next dispatch fails it, so the copies are
// only read inside the stack.
constexpr bool keepsTos(op::Opcode opcode) {
    if (operatorClass(opcode) != OperatorClass::NONE) return true;
    switch (opcode) {
        case op::NOP:
        case op::REF:
        case op::REFVAR:
        case op::COPYVAR:
        case op::DEREF:
        case op::DEREF_OFFSET:
        case op::ASSIGN:
        case op::ASSIGNPOP:
        case op::LITERAL:
        case op::LITERALF:
        case op::POP:
        case op::DUP:
        case op::SWAP:
        case op::FTOI:
        case op::ITOF:
        case op::LITERALINTADD:
        case op::LITERALINTMULADD:
        case op::LITERALINCREMENT:
        case op::INTMULADD:
            return true;
        default:
            return false;
    }
}
// The word below the top lies inside the memory block even at the base of
// the stack (static words or padding precede it).
VM_INLINE void reloadTos(Regs& r, const uint32_t* sp) {
    bool inside = stackInRange(r, sp);
    r.tos = inside ? *sp : 0;
    r.nos = inside ? sp[-1] : 0;
}
template <op::Opcode OP>
VM_INLINE bool stepTos(Regs& r, uint32_t*& sp, const uint32_t* ip) {
    if (!step<OP>(r, sp, ip)) return false;
    if constexpr (keepsTos(OP))
        ;
    else if constexpr (stackDelta(OP) == kVariableDelta)
        reloadTos(r, sp);
    else {
        r.tos = *sp;
        r.nos = sp[-1];
    }
    return true;
}
constexpr int stackDelta(op::Opcode opcode) {
    if (operatorClass(opcode) != OperatorClass::NONE) return -1;
    switch (opcode) {
        case op::NOP:
        case op::DEREF:
        case op::DEREF_OFFSET:
        case op::FTOI:
        case op::ITOF:
        case op::SWAP:
        case op::VECTOR_NORM:
        case op::LITERALINTADD:
            return 0;
        case op::REF:
        case op::REFVAR:
        case op::COPYVAR:
        case op::LITERAL:
        case op::LITERALF:
        case op::DUP:
            return 1;
        case op::LITERAL_CHAR:
            return 4;
        case op::ASSIGN:
        case op::POP:
        case op::LITERALINTMULADD:
        case op::LITERALINCREMENT:
        case op::VECTOR_MUL:
        case op::VECTOR_TRANSFORM:
        case op::NORMAL_TRANSFORM:
        case op::MATIDENTITY:
            return -1;
        case op::ASSIGNPOP:
        case op::MEMCPY:
        case op::INTMULADD:
        case op::VECTOR_MAG:
        case op::FLOAT_INTERP2:
            return -2;
        case op::VECTOR_ADD:
        case op::VECTOR_SUB:
        case op::VECTOR_CROSS:
        case op::MATMUL:
        case op::MATBILLBOARD:
        case op::VECTOR2_INTERP2:
            return -3;
        case op::FLOAT_INTERP4:
        case op::VECTOR3_INTERP2:
            return -4;
        case op::VECTOR_DOT3:
        case op::MATTRANSLATE:
        case op::MATSCALE:
        case op::MATLOOKAT:
            return -5;
        case op::MATROTATE:
            return -6;
        case op::VECTOR2_INTERP4:
            return -7;
        case op::VECTOR3_INTERP4:
            return -10;
        default:
            return kVariableDelta;
    }
}

// Where a run's later instructions find the stack pointer, relative to where
// the first found it: every test inside the run sees an offset in
// [low, high]. `known` is false when an operand decides a move.
struct RunReach {
    bool known;
    int low, high;
};
template <op::Opcode... OPS>
constexpr RunReach runReach() {
    constexpr op::Opcode ops[] = {OPS...};
    RunReach reach{true, 0, 0};
    int offset = 0;
    for (size_t i = 0; i + 1 < sizeof...(OPS); ++i) {
        int delta = stackDelta(ops[i]);
        if (delta == kVariableDelta) return {false, 0, 0};
        offset += delta;
        reach.low = offset < reach.low ? offset : reach.low;
        reach.high = offset > reach.high ? offset : reach.high;
    }
    return reach;
}

// The same over every position of the run, the one after its last
// instruction included; `known` is false when an operand decides a move.
template <op::Opcode... OPS>
constexpr RunReach wholeRunReach() {
    constexpr op::Opcode ops[] = {OPS...};
    RunReach reach{true, 0, 0};
    int offset = 0;
    for (op::Opcode opcode : ops) {
        int delta = stackDelta(opcode);
        if (delta == kVariableDelta) return {false, 0, 0};
        offset += delta;
        reach.low = offset < reach.low ? offset : reach.low;
        reach.high = offset > reach.high ? offset : reach.high;
    }
    return reach;
}
// True when every position in `reach` around a stack pointer that is itself
// in range lies inside the stack. Runs that move it by at most kRunRoom
// words compare it with the bounds kept for them, without arithmetic; near
// either end that may say no where the exact test would say yes, which only
// sends the run down the tested path.
constexpr int kRunRoom = 4;
template <int LOW, int HIGH>
VM_INLINE bool reachInRange(const Regs& r, const uint32_t* sp) {
    if constexpr (-LOW <= kRunRoom && HIGH <= kRunRoom)
        return (LOW == 0 || sp >= r.runLow) && (HIGH == 0 || sp < r.runHigh);
    uintptr_t at = reinterpret_cast<uintptr_t>(sp);
    bool lowOk = LOW == 0 || at - uintptr_t{-LOW} * sizeof(uint32_t) >=
                                 reinterpret_cast<uintptr_t>(r.stackBase);
    bool highOk = HIGH == 0 || at + uintptr_t{HIGH} * sizeof(uint32_t) <
                                   reinterpret_cast<uintptr_t>(r.stackLimit);
    return lowOk && highOk;
}

// Runs the instructions of a fused run in order; the first one's stack test
// was made by the dispatch loop, the others get theirs here so that a fused
// run fails exactly where the unfused instructions would.
template <op::Opcode... OPS, size_t... I>
VM_INLINE bool runFusedSteps(Regs& r, uint32_t*& sp, const uint32_t* ip,
                             std::index_sequence<I...>) {
    return (((I == 0 || stackInRange(r, sp) || failStackAs(r.code, ip + 2 * I, OPS)) &&
             stepTos<OPS>(r, sp, ip + 2 * I)) &&
            ...);
}
// The same without the inner tests, for a stack pointer far enough from both
// ends that none of them can fail.
template <op::Opcode... OPS, size_t... I>
VM_INLINE bool runFusedUntestedSteps(Regs& r, uint32_t*& sp, const uint32_t* ip,
                                     std::index_sequence<I...>) {
    return (stepTos<OPS>(r, sp, ip + 2 * I) && ...);
}
template <op::Opcode... OPS>
VM_INLINE bool runFused(Regs& r, uint32_t*& sp, const uint32_t* ip) {
    constexpr RunReach reach = runReach<OPS...>();
    auto sequence = std::make_index_sequence<sizeof...(OPS)>();
    if constexpr (reach.known) {
        int64_t lowest = (sp - r.stackBase) + reach.low;
        if (lowest >= 0 && lowest + (reach.high - reach.low) < int64_t{r.stackWords})
            return runFusedUntestedSteps<OPS...>(r, sp, ip, sequence);
    }
    return runFusedSteps<OPS...>(r, sp, ip, sequence);
}
template <op::Opcode... OPS>
VM_INLINE bool runFusedUntested(Regs& r, uint32_t*& sp, const uint32_t* ip) {
    return runFusedUntestedSteps<OPS...>(r, sp, ip, std::make_index_sequence<sizeof...(OPS)>());
}
// The tested run out of line, for runs whose stack movement is fixed: only
// a stack pointer near either end takes it, and keeping it out of the
// dispatch loop leaves the loop's registers to the common path. It works on
// copies so that the loop's own registers never have their address taken.
template <op::Opcode... OPS>
VM_COLD bool runFusedTestedOutOfLine(Regs& r, uint32_t*& sp, const uint32_t* ip) {
    return runFusedSteps<OPS...>(r, sp, ip, std::make_index_sequence<sizeof...(OPS)>());
}
