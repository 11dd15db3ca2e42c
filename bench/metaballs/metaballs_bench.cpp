// Prints what the metaball natives cost when a scene calls them, each beside
// a plain C++ loop doing the same arithmetic on the same data outside the VM,
// timed in the same run: fixed-point balls (falloff table) and floating-point
// balls into a 64^3 grid, and marching cubes over a field of several balls.
// The VM side includes everything a scene pays: the interpreter loop that
// pushes the arguments, the native call, and the range tests on the records.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <vector>

#include "vm/assembler.h"
#include "vm/metaballs.h"
#include "vm/native.h"
#include "vm/vm.h"

namespace {

constexpr int kSize = 64;
constexpr int kCells = kSize * kSize * kSize;
constexpr int kRadius = 8;
constexpr int kCentres = 16;
constexpr int kLookupBalls = 20000;
constexpr int kFloatBalls = 120;
constexpr int kTriangulations = 30;
constexpr int kFieldBalls = 12;
constexpr int kMaxVertices = 400000;
constexpr int kRounds = 7;

// Globals at fixed addresses from 1, in declaration order: the grid first.
const char* const kImage = R"VSA(
.heap 270000
.native lookupBall "V mbLookupBall(*MetaBallVolume,*MetaBallLookup,*Vector3,F,I)"
.native ball "V mbBall(*MetaBallVolume,*Vector3,F,I)"
.native create "V mbLookupCreate(*MetaBallLookup,I)"
.native triangulate "I mbTriangulateN3V3(*MetaBallVolume,*N3V3,I)"
.word grid[262144]
.word volume 64 64 64 grid
.word lookup[2]
.word output
.word centres[48]
.func "V setup(I)" setup
.func "V lookupBalls(I)" lookupBalls
.func "V floatBalls(I)" floatBalls
.func "V triangulate(I)" triangulateLoop

setup:
    REF lookup
    COPYVAR -1
    NATIVE create
    RETURN

; local -1: how many balls; local 0: the ball number
lookupBalls:
    LITERAL 0
lookupLoop:
    REF volume
    REF lookup
    REF centres
    COPYVAR 0
    LITERAL 15
    INTAND
    LITERAL 3
    INTMUL
    INTADD
    LITERALF -1.5
    LITERAL 1
    NATIVE lookupBall
    REFVAR 0
    LITERALINCREMENT 1
    COPYVAR 0
    COPYVAR -1
    INTLT
    JNZ lookupLoop
    RETURN

floatBalls:
    LITERAL 0
floatLoop:
    REF volume
    REF centres
    COPYVAR 0
    LITERAL 15
    INTAND
    LITERAL 3
    INTMUL
    INTADD
    LITERALF -1500
    LITERAL 1
    NATIVE ball
    REFVAR 0
    LITERALINCREMENT 1
    COPYVAR 0
    COPYVAR -1
    INTLT
    JNZ floatLoop
    RETURN

; local -1: how many runs; the vertex count lands in the first argument
triangulateLoop:
    LITERAL 0
triangulateRun:
    REFVAR -1
    REF volume
    REF output
    DEREF
    LITERAL 400000
    NATIVE triangulate
    ASSIGNPOP
    REFVAR 0
    LITERALINCREMENT 1
    COPYVAR 0
    LITERAL 30
    INTLT
    JNZ triangulateRun
    RETURN
)VSA";

constexpr uint32_t kGridAddress = 5;  // after the four native words
constexpr uint32_t kVolumeAddress = kGridAddress + kCells;
constexpr uint32_t kLookupAddress = kVolumeAddress + 4;
constexpr uint32_t kOutputAddress = kLookupAddress + 2;
constexpr uint32_t kCentresAddress = kOutputAddress + 1;

double seconds(const std::chrono::steady_clock::time_point& start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Best times of both sides, their runs interleaved so that a busy machine
// slows both alike.
template <typename VmWork, typename PlainWork>
void bestSeconds(VmWork vmWork, PlainWork plainWork, double& vmBest, double& plainBest) {
    vmBest = plainBest = 1e30;
    for (int round = 0; round < kRounds; ++round) {
        auto start = std::chrono::steady_clock::now();
        vmWork();
        vmBest = std::min(vmBest, seconds(start));
        start = std::chrono::steady_clock::now();
        plainWork();
        plainBest = std::min(plainBest, seconds(start));
    }
}

// ---- the same arithmetic, plain ----

constexpr int32_t kInt32Min = std::numeric_limits<int32_t>::min();
constexpr int32_t kInt32Max = std::numeric_limits<int32_t>::max();

int32_t saturate(int64_t v) {
    if (v == static_cast<int32_t>(v)) return static_cast<int32_t>(v);
    return v > 0 ? kInt32Max : kInt32Min;
}

void addInto(int32_t& value, int32_t add) {
    int32_t sum;
    if (__builtin_add_overflow(value, add, &sum)) sum = add > 0 ? kInt32Max : kInt32Min;
    value = sum;
}

int32_t truncSaturate(double v) {
    if (!(v == v)) return 0;
    if (v <= kInt32Min) return kInt32Min;
    if (v >= kInt32Max) return kInt32Max;
    return static_cast<int32_t>(v);
}

void plainLookupBall(int32_t* grid, const int32_t* table, const float* centre, float strength,
                     int border) {
    int64_t c[3], lo[3], hi[3];
    for (int a = 0; a < 3; ++a) {
        c[a] = truncSaturate(static_cast<double>(centre[a]) * 32.0);
        lo[a] = std::clamp<int64_t>(c[a] / 32 - kRadius, border, kSize - border - 1);
        hi[a] = std::clamp<int64_t>(c[a] / 32 + kRadius, border, kSize - border - 1);
    }
    const int64_t w = truncSaturate(static_cast<double>(strength) * 256.0);
    for (int64_t z = lo[2]; z < hi[2]; ++z) {
        int64_t i = z * 32 - c[2];
        for (int64_t y = lo[1]; y < hi[1]; ++y) {
            int64_t j = y * 32 - c[1];
            int64_t ij = i * i + j * j;
            int32_t* row = grid + kSize * (y + kSize * z);
            for (int64_t x = lo[0]; x < hi[0]; ++x) {
                int64_t k = x * 32 - c[0];
                addInto(row[x], saturate((w * table[ij + k * k]) >> 8));
            }
        }
    }
}

void plainBall(int32_t* grid, const float* centre, float strength, int border) {
    for (int z = border; z < kSize - border; ++z) {
        float dz = static_cast<float>(z) - centre[2];
        for (int y = border; y < kSize - border; ++y) {
            float dy = static_cast<float>(y) - centre[1];
            float dzy = dz * dz + dy * dy;
            int32_t* row = grid + kSize * (y + kSize * z);
            for (int x = border; x < kSize - border; ++x) {
                float dx = static_cast<float>(x) - centre[0];
                float d2 = std::max(dzy + dx * dx, 1.0f);
                addInto(row[x], truncSaturate(strength / d2));
            }
        }
    }
}

uint32_t floatBits(float f) {
    uint32_t word;
    std::memcpy(&word, &f, 4);
    return word;
}

int64_t plainTriangulate(const int32_t* grid, uint32_t* out, int64_t capacity) {
    static const int kX[8] = {0, 1, 1, 0, 0, 1, 1, 0};
    static const int kY[8] = {0, 0, 1, 1, 0, 0, 1, 1};
    static const int kZ[8] = {0, 0, 0, 0, 1, 1, 1, 1};
    const int64_t steps[3] = {1, kSize, kSize * kSize};
    int64_t offset[8];
    for (int c = 0; c < 8; ++c)
        offset[c] = kX[c] + kY[c] * steps[1] + kZ[c] * steps[2];
    int64_t produced = 0;
    float vertex[12][6];
    for (int64_t z = 0; z + 2 < kSize; ++z)
        for (int64_t y = 0; y + 2 < kSize; ++y)
            for (int64_t x = 0; x + 2 < kSize; ++x) {
                int64_t base = x + steps[1] * y + steps[2] * z;
                int index = 0;
                for (int c = 0; c < 8; ++c)
                    index |= (grid[base + offset[c]] < 0) << c;
                if (index == 0 || index == 255) continue;
                for (int e = 0; e < 12; ++e) {
                    if (!(kMbEdgeTable[index] >> e & 1)) continue;
                    int a = kMbEdgeCorners[e][0], b = kMbEdgeCorners[e][1];
                    int64_t ia = base + offset[a], ib = base + offset[b];
                    const int64_t pa[3] = {x + kX[a], y + kY[a], z + kZ[a]};
                    const int64_t pb[3] = {x + kX[b], y + kY[b], z + kZ[b]};
                    int64_t va = grid[ia], vb = grid[ib];
                    int64_t g = 256 * va / (va - vb);
                    double length2 = 0;
                    int64_t n[3];
                    for (int k = 0; k < 3; ++k) {
                        vertex[e][3 + k] =
                            static_cast<float>((255 - g) * pa[k] + g * pb[k]) * (1.0f / 255.0f);
                        int64_t ga = grid[ia + steps[k]] - va, gb = grid[ib + steps[k]] - vb;
                        n[k] = 256 * ga + g * (gb - ga);
                        length2 += static_cast<double>(n[k]) * static_cast<double>(n[k]);
                    }
                    double scale = length2 > 0 ? -1.0 / std::sqrt(length2) : 0.0;
                    for (int k = 0; k < 3; ++k)
                        vertex[e][k] = static_cast<float>(static_cast<double>(n[k]) * scale);
                }
                for (const int8_t* e = kMbTriangleTable[index]; *e >= 0; ++e, ++produced) {
                    if (produced >= capacity) continue;
                    for (int k = 0; k < 6; ++k)
                        out[produced * 6 + k] = floatBits(vertex[*e][k]);
                }
            }
    return produced;
}

// ---- the run ----

void report(const char* what, const char* unit, double perSecondVm, double perSecondPlain) {
    std::printf("  %-34s %12.0f %s in the VM, %12.0f plain; VM / plain time %.3f\n", what,
                perSecondVm, unit, perSecondPlain, perSecondPlain / perSecondVm);
}

}  // namespace

int main() {
    vmSystemCreate([](const char*) {});
    AsmResult image = vmAssemble(kImage, "metaballs_bench.vsa");
    if (!image.ok) {
        for (const std::string& e : image.errors)
            std::fprintf(stderr, "%s\n", e.c_str());
        return 1;
    }
    VMState* vm = vmCreate(image.words.data(), static_cast<int>(image.words.size()));
    uint32_t radius = kRadius;
    vmExecuteFunction(vm, "V setup(I)", &radius, 1, 0);
    int32_t output = vmalloc(vm, kMaxVertices * 6);
    if (vm->errorFlag || output == 0) {
        std::fprintf(stderr, "metaballs_bench: the VM failed to start\n");
        return 1;
    }
    vm->memory[kOutputAddress] = static_cast<uint32_t>(output);

    // Centres spread over the grid, away from whole numbers.
    std::vector<float> centres(kCentres * 3);
    for (int i = 0; i < kCentres * 3; ++i)
        centres[i] = 12.3f + static_cast<float>((i * 37) % 40) + 0.17f * static_cast<float>(i % 5);
    for (int i = 0; i < kCentres * 3; ++i)
        vm->memory[kCentresAddress + i] = floatBits(centres[i]);
    std::vector<int32_t> table(mbLookupWords(kRadius));
    for (size_t i = 0; i < table.size(); ++i)
        table[i] = mbFalloff(kRadius, static_cast<int64_t>(i));

    auto vmGrid = [&] { return reinterpret_cast<int32_t*>(vm->memory + kGridAddress); };
    std::vector<int32_t> plainGrid(kCells);
    auto clearBoth = [&] {
        std::fill_n(vmGrid(), kCells, 40000);
        std::fill(plainGrid.begin(), plainGrid.end(), 40000);
    };

    uint32_t count = kLookupBalls;
    clearBoth();
    double vmLookup, plainLookup;
    bestSeconds([&] { vmExecuteFunction(vm, "V lookupBalls(I)", &count, 1, 0); },
                [&] {
                    for (int i = 0; i < kLookupBalls; ++i)
                        plainLookupBall(plainGrid.data(), table.data(), &centres[(i & 15) * 3],
                                        -1.5f, 1);
                },
                vmLookup, plainLookup);
    bool same = std::equal(plainGrid.begin(), plainGrid.end(), vmGrid());

    count = kFloatBalls;
    clearBoth();
    double vmFloat, plainFloat;
    bestSeconds([&] { vmExecuteFunction(vm, "V floatBalls(I)", &count, 1, 0); },
                [&] {
                    for (int i = 0; i < kFloatBalls; ++i)
                        plainBall(plainGrid.data(), &centres[(i & 15) * 3], -1500.0f, 1);
                },
                vmFloat, plainFloat);
    same = same && std::equal(plainGrid.begin(), plainGrid.end(), vmGrid());

    // A field of several overlapping blobs for the surface.
    clearBoth();
    for (int i = 0; i < kFieldBalls; ++i)
        plainLookupBall(plainGrid.data(), table.data(), &centres[(i & 15) * 3], -1.0f, 1);
    std::copy(plainGrid.begin(), plainGrid.end(), vmGrid());
    uint32_t vertices = 0;
    std::vector<uint32_t> plainOut(kMaxVertices * 6);
    int64_t plainVertices = 0;
    double vmSurface, plainSurface;
    bestSeconds(
        [&] {
            vmExecuteFunction(vm, "V triangulate(I)", &vertices, 1, 0);
            vertices = vm->stackBase[1];
        },
        [&] {
            for (int i = 0; i < kTriangulations; ++i)
                plainVertices = plainTriangulate(plainGrid.data(), plainOut.data(), kMaxVertices);
        },
        vmSurface, plainSurface);
    same = same && plainVertices == vertices &&
           std::equal(plainOut.begin(), plainOut.begin() + plainVertices * 6,
                      vm->memory + vm->memory[kOutputAddress]);

    if (vm->errorFlag || !same) {
        std::fprintf(stderr, "metaballs_bench: the VM and the plain loops disagree\n");
        return 1;
    }
    std::printf("metaball natives, %d^3 grid (best of %d runs)\n", kSize, kRounds);
    report("fixed-point balls (radius 8)", "balls/s", kLookupBalls / vmLookup,
           kLookupBalls / plainLookup);
    report("floating-point mbBall", "balls/s", kFloatBalls / vmFloat, kFloatBalls / plainFloat);
    report("triangulation", "vertices/s", double(vertices) * kTriangulations / vmSurface,
           double(plainVertices) * kTriangulations / plainSurface);
    std::printf("  %u vertices per surface; a fixed-point ball is %.0f times as fast as mbBall\n",
                vertices, vmFloat / kFloatBalls / (vmLookup / kLookupBalls));
    vmDestroy(vm);
    vmSystemDestroy();
    return 0;
}
