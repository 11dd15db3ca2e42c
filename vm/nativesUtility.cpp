// Diagnostics, mathematics, random numbers, heap, sorting and interpolation
// natives. Arguments are popped last parameter first.
#include <cmath>
#include <cstring>
#include <utility>
#include <vector>

#include "app/random.h"
#include "vm/native.h"
#include "vm/natives.h"

// A log line holds at most 2047 characters, so a longer text is never shown.
constexpr size_t kPrintLength = 2047;

void vmnAssert(VMState* s) {
    if (vmPopInt(s) != 0) return;
    vmLog('S', "VM ASSERTION FAILED at op %d\n", s->currentOp);
    s->errorFlag = 1;
}

void vmnPrint(VMState* s) {
    float value = vmPopFloat(s);
    std::string text = vmReadString(s, vmPop(s), kPrintLength);
    vmLog('I', "VM PRINT: '%s' %f\n", text.c_str(), static_cast<double>(value));
}

void vmnPrintv(VMState* s) {
    float z = vmPopFloat(s), y = vmPopFloat(s), x = vmPopFloat(s);
    std::string text = vmReadString(s, vmPop(s), kPrintLength);
    vmLog('I', "VM PRINT: '%s' %f,%f,%f\n", text.c_str(), static_cast<double>(x),
          static_cast<double>(y), static_cast<double>(z));
}

namespace {

template <double (*F)(double)>
void unary(VMState* s) {
    double x = vmPopFloat(s);
    vmPushFloat(s, static_cast<float>(F(x)));
}

double atanOne(double x) {
    return std::atan2(x, 1.0);
}

}  // namespace

void vmnSin(VMState* s) {
    unary<std::sin>(s);
}
void vmnCos(VMState* s) {
    unary<std::cos>(s);
}
void vmnTan(VMState* s) {
    unary<std::tan>(s);
}
void vmnAtan(VMState* s) {
    unary<atanOne>(s);
}

void vmnAtan2(VMState* s) {
    double x = vmPopFloat(s), y = vmPopFloat(s);
    vmPushFloat(s, static_cast<float>(std::atan2(y, x)));
}

void vmnPow(VMState* s) {
    double power = vmPopFloat(s), base = vmPopFloat(s);
    vmPushFloat(s, static_cast<float>(std::pow(base, power)));
}

void vmnCubicInterpFloat(VMState* s) {
    float t = vmPopFloat(s), p3 = vmPopFloat(s), p2 = vmPopFloat(s), p1 = vmPopFloat(s),
          p0 = vmPopFloat(s);
    float a0 = p3 - p2 - p0 + p1;
    float a1 = p0 - p1 - a0;
    float a2 = p2 - p0;
    vmPushFloat(s, a0 * t * t * t + a1 * t * t + a2 * t + p1);
}

void vmnRand(VMState* s) {
    vmPushFloat(s, static_cast<float>(visRand()) * (1.0f / 32767.0f));
}

// A range whose size is 0 or negative (high < low) gives low.
void vmnRandInt(VMState* s) {
    int64_t high = vmPopInt(s), low = vmPopInt(s);
    int64_t size = high - low + 1;
    int64_t draw = visRand();
    int64_t value = size > 0 ? low + draw % size : low;
    vmPush(s, static_cast<uint32_t>(value));
}

void vmnMalloc(VMState* s) {
    int32_t words = vmPopInt(s);
    int32_t address = vmalloc(s, words);
    vmPush(s, static_cast<uint32_t>(address));
}

void vmnFree(VMState* s) {
    vfree(s, vmPopInt(s));
}

namespace {

// Descending order of keys[idx[...]] by the partition scheme scenes were
// written against. Ranges wait on an explicit list instead of the host
// stack, so a hostile count cannot overflow it; disjoint ranges do not
// affect each other, so the order they are sorted in does not matter.
// The scheme takes quadratic time on ordered keys; a native cannot be
// interrupted by the time budget, so the work is capped instead: false when
// the cap was reached (the indices are then only partly sorted).
constexpr int64_t kMaxSortSteps = int64_t{1} << 28;

bool sortIndices(uint32_t* idx, const float* keys, int32_t count) {
    auto key = [&](int32_t i) { return keys[idx[i]]; };
    int64_t steps = 0;
    std::vector<std::pair<int32_t, int32_t>> pending{{0, count - 1}};
    while (!pending.empty()) {
        auto [lo, hi] = pending.back();
        pending.pop_back();
        while (lo < hi) {
            float pivot = key(lo);
            int32_t i = lo - 1, j = hi;
            // The scheme stops with lo <= j; the bound on j only keeps reads inside.
            for (; j >= lo; --j) {
                if (++steps > kMaxSortSteps) return false;
                if (!(pivot > key(j))) {
                    while (i + 1 <= hi && key(i + 1) > pivot) {
                        ++i;
                        ++steps;
                    }
                    int32_t m = i + 1;
                    if (m >= j) break;
                    std::swap(idx[m], idx[j]);
                    i = m;
                }
            }
            // Guards progress on hostile keys; the scheme itself keeps lo <= j < hi.
            if (j < lo) j = lo;
            if (j >= hi) j = hi - 1;
            pending.push_back({lo, j});
            lo = j + 1;
        }
    }
    return true;
}

}  // namespace

void vmnQSort(VMState* s) {
    int32_t count = vmPopInt(s);
    uint32_t keys = vmPop(s), indices = vmPop(s);
    if (count <= 0) return;
    if (!vcheckArea(s, indices, count) || !vcheckArea(s, keys, count)) return;
    uint32_t* idx = s->memory + indices;
    std::vector<float> keyCopy(static_cast<size_t>(count));
    for (int32_t i = 0; i < count; ++i) {
        uint32_t word = s->memory[keys + static_cast<uint32_t>(i)];
        std::memcpy(&keyCopy[static_cast<size_t>(i)], &word, 4);
    }
    for (int32_t i = 0; i < count; ++i)
        idx[i] = static_cast<uint32_t>(i);
    if (!sortIndices(idx, keyCopy.data(), count)) {
        vmLog('S', "qSort of %d keys needs too much work\n", count);
        s->errorFlag = 1;
    }
}
