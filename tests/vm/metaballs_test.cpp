// Metaball natives: the marching-cubes tables, the falloff table, the
// floating-point and fixed-point balls, the disc, the trilinear sample, the
// surface of a ball, and the range tests on every area they touch.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <set>
#include <tuple>

#include "tests/vm/vm_fixture.h"
#include "vm/assembler.h"
#include "vm/memMgr.h"
#include "vm/metaballs.h"
#include "vm/runner.h"

namespace {

// ---- tables ----

std::set<int> edgesOf(int c) {
    std::set<int> edges;
    for (const int8_t* e = kMbTriangleTable[c]; *e >= 0; ++e)
        edges.insert(*e);
    return edges;
}

bool crossed(int c, int edge) {
    return (c >> kMbEdgeCorners[edge][0] & 1) != (c >> kMbEdgeCorners[edge][1] & 1);
}

// A falloff table of radius r takes (r + 1)^2 * 3072 words; radii far out
// either way give sizes no VM holds, without overflowing.
TEST(MetaballTables, LookupSizesGrowWithTheRadiusAndStayFinite) {
    EXPECT_EQ(mbLookupWords(4), 25 * 3072);
    EXPECT_EQ(mbLookupWords(-1), 0);
    const int64_t huge = int64_t{3072} << 40;
    EXPECT_EQ(mbLookupWords(INT32_MAX), huge);
    EXPECT_EQ(mbLookupWords(INT32_MIN), huge);
    EXPECT_EQ(mbLookupWords(-(1 << 24)), huge);
}

TEST(MetaballTables, EdgeTableMarksTheEdgesWhoseCornersDiffer) {
    for (int c = 0; c < 256; ++c)
        for (int e = 0; e < 12; ++e)
            EXPECT_EQ((kMbEdgeTable[c] >> e & 1) != 0, crossed(c, e)) << c << " " << e;
}

TEST(MetaballTables, TrianglesUseEveryCrossedEdgeAndNoOther) {
    for (int c = 0; c < 256; ++c) {
        int n = 0;
        while (n < 16 && kMbTriangleTable[c][n] >= 0)
            ++n;
        ASSERT_LT(n, 16) << c;  // every row ends with -1
        EXPECT_EQ(n % 3, 0) << c;
        std::set<int> expected;
        for (int e = 0; e < 12; ++e)
            if (crossed(c, e)) expected.insert(e);
        EXPECT_EQ(edgesOf(c), expected) << c;
        for (int i = 0; i < n; i += 3)  // no triangle repeats an edge
            EXPECT_EQ(std::set<int>(kMbTriangleTable[c] + i, kMbTriangleTable[c] + i + 3).size(),
                      3u)
                << c;
    }
    EXPECT_TRUE(edgesOf(0).empty());
    EXPECT_TRUE(edgesOf(255).empty());
}

TEST(MetaballTables, ACaseAndItsComplementUseTheSameEdges) {
    for (int c = 0; c < 256; ++c)
        EXPECT_EQ(edgesOf(c), edgesOf(255 - c)) << c;
}

// ---- natives through a VM ----

struct Vertex {
    float normal[3], position[3];
};

class Metaballs : public VmTest {
protected:
    void SetUp() override {
        VmTest::SetUp();
        vm = load(R"VSA(
.heap 64
.native clear "V mbClear(*MetaBallVolume,I)"
.native count "I mbTriangleCount(*MetaBallVolume)"
.native triangulate "I mbTriangulateN3V3(*MetaBallVolume,*N3V3,I)"
.native value "I mbValue(*MetaBallVolume,*Vector3)"
.native ball "V mbBall(*MetaBallVolume,*Vector3,F,I)"
.native lookupBall "V mbLookupBall(*MetaBallVolume,*MetaBallLookup,*Vector3,F,I)"
.native disc "V mbDisc(*MetaBallVolume,*Vector3,I,F,I)"
.native create "V mbLookupCreate(*MetaBallLookup,I)"
.native destroy "V mbLookupDestroy(*MetaBallLookup)"
.func "clear" do_clear
.func "count" do_count
.func "triangulate" do_triangulate
.func "value" do_value
.func "ball" do_ball
.func "lookupBall" do_lookupBall
.func "disc" do_disc
.func "create" do_create
.func "destroy" do_destroy
do_clear: NATIVE clear
    RETURN
do_count: NATIVE count
    RETURN
do_triangulate: NATIVE triangulate
    RETURN
do_value: NATIVE value
    RETURN
do_ball: NATIVE ball
    RETURN
do_lookupBall: NATIVE lookupBall
    RETURN
do_disc: NATIVE disc
    RETURN
do_create: NATIVE create
    RETURN
do_destroy: NATIVE destroy
    RETURN
)VSA");
        ASSERT_EQ(vm->errorFlag, 0) << allMessages();
    }

    // Runs one native with these argument words; the word it left on top.
    int32_t call(const char* name, std::vector<uint32_t> args) {
        vmExecuteFunction(vm, name, args.data(), static_cast<int>(args.size()), 0);
        return static_cast<int32_t>(*vm->stackPointer);
    }
    uint32_t alloc(int32_t words) {
        int32_t address = vmalloc(vm, words);
        EXPECT_NE(address, 0);
        return static_cast<uint32_t>(address);
    }
    uint32_t volume(int32_t sx, int32_t sy, int32_t sz) {
        uint32_t record = alloc(4);
        uint32_t grid = alloc(sx * sy * sz);
        uint32_t* w = vm->memory + record;
        w[0] = sx, w[1] = sy, w[2] = sz, w[3] = grid;
        return record;
    }
    uint32_t vec(float x, float y, float z) {
        uint32_t at = alloc(3);
        vm->memory[at] = floatWord(x), vm->memory[at + 1] = floatWord(y);
        vm->memory[at + 2] = floatWord(z);
        return at;
    }
    int32_t& at(uint32_t vol, int x, int y, int z) {
        const uint32_t* w = vm->memory + vol;
        return reinterpret_cast<int32_t&>(vm->memory[w[3] + x + w[0] * (y + w[1] * z)]);
    }
    std::vector<uint32_t> grid(uint32_t vol) {
        const uint32_t* w = vm->memory + vol;
        const uint32_t* g = vm->memory + w[3];
        return std::vector<uint32_t>(g, g + w[0] * w[1] * w[2]);
    }
    std::vector<Vertex> surface(uint32_t vol) {
        int32_t count = call("count", {vol});
        uint32_t out = alloc(count * 6 + 1);
        EXPECT_EQ(call("triangulate", {vol, out, static_cast<uint32_t>(count)}), count);
        std::vector<Vertex> vertices(count);
        std::memcpy(vertices.data(), vm->memory + out, count * sizeof(Vertex));
        return vertices;
    }
    static uint32_t i(int32_t v) { return static_cast<uint32_t>(v); }
    static uint32_t f(float v) { return floatWord(v); }

    VMState* vm = nullptr;
};

TEST_F(Metaballs, FalloffTableForRadiusFour) {
    uint32_t lookup = alloc(2);
    call("create", {lookup, 4});
    ASSERT_EQ(vm->errorFlag, 0) << allMessages();
    EXPECT_EQ(vm->memory[lookup], 4u);
    uint32_t table = vm->memory[lookup + 1];
    ASSERT_NE(table, 0u);
    // The heap's guard words bracket exactly 76,800 usable words.
    EXPECT_EQ(vm->memory[table - 1], CVMMemMgr::kGuard);
    EXPECT_EQ(vm->memory[table + 76800], CVMMemMgr::kGuard);
    const int32_t* t = reinterpret_cast<const int32_t*>(vm->memory + table);
    EXPECT_EQ(t[0], 0);
    EXPECT_EQ(t[1], 98289);
    EXPECT_EQ(t[16384], 0);  // the radius itself
    EXPECT_GT(t[15000], 0);
    EXPECT_NEAR(t[4096], (1 - 22.0 / 36 + 17.0 / 144 - 4.0 / 576) * 98304, 1.0);  // half radius
    for (int k = 2; k <= 16384; ++k)
        ASSERT_LE(t[k], t[k - 1]) << k;
    EXPECT_TRUE(std::all_of(t + 16384, t + 76800, [](int32_t v) { return v == 0; }));

    call("destroy", {lookup});
    EXPECT_EQ(vm->errorFlag, 0) << allMessages();
    EXPECT_EQ(vm->memory[lookup], 0u);
    EXPECT_EQ(vm->memory[lookup + 1], 0u);
    EXPECT_EQ(static_cast<uint32_t>(vmalloc(vm, 76800)), table);  // the space is free again
    call("destroy", {lookup});  // a lookup without a table frees nothing
    EXPECT_EQ(vm->errorFlag, 0) << allMessages();
}

TEST_F(Metaballs, LookupCreateAfterAFailureStoresNoTable) {
    uint32_t lookup = alloc(2);
    vm->memory[lookup + 1] = 77;
    vm->errorFlag = 1;
    vmPush(vm, lookup);
    vmPush(vm, 3);
    vmnMbLookupCreate(vm);
    EXPECT_EQ(vm->memory[lookup], 3u);
    EXPECT_EQ(vm->memory[lookup + 1], 0u);
}

TEST_F(Metaballs, BallAddsInverseSquareInsideTheBorder) {
    uint32_t vol = volume(7, 6, 5);
    call("clear", {vol, i(40)});
    call("ball", {vol, vec(2.5f, 3.25f, 1.75f), f(-37.5f), 1});
    ASSERT_EQ(vm->errorFlag, 0) << allMessages();
    for (int z = 0; z < 5; ++z)
        for (int y = 0; y < 6; ++y)
            for (int x = 0; x < 7; ++x) {
                bool inside = x >= 1 && x < 6 && y >= 1 && y < 5 && z >= 1 && z < 4;
                double d2 = std::pow(x - 2.5, 2) + std::pow(y - 3.25, 2) + std::pow(z - 1.75, 2);
                int32_t expected =
                    40 + (inside ? static_cast<int32_t>(-37.5 / std::max(d2, 1.0)) : 0);
                EXPECT_EQ(at(vol, x, y, z), expected) << x << "," << y << "," << z;
            }
}

TEST_F(Metaballs, DiscFillsOneLayerOnlyInsideTheBorder) {
    uint32_t vol = volume(8, 7, 9);
    call("clear", {vol, i(-3)});
    std::vector<uint32_t> before = grid(vol);
    uint32_t centre = vec(3.5f, 2.0f, 4.0f);
    for (int32_t slice : {1, 7, -2, 20})  // outside 2 <= k < 7
        call("disc", {vol, centre, i(slice), f(100.0f), 2});
    EXPECT_EQ(grid(vol), before);

    call("disc", {vol, centre, 6, f(100.0f), 2});
    ASSERT_EQ(vm->errorFlag, 0) << allMessages();
    EXPECT_EQ(at(vol, 3, 2, 6), -3 + 23);  // d^2 = 0.25 + 4 counts the slice's distance
    EXPECT_EQ(at(vol, 5, 3, 6), -3 + 13);  // 100 / 7.25
    EXPECT_EQ(at(vol, 1, 2, 6), -3);       // border column
    EXPECT_EQ(at(vol, 3, 5, 6), -3);       // border row
    int changed = 0;
    std::vector<uint32_t> after = grid(vol);
    for (size_t k = 0; k < after.size(); ++k)
        changed += after[k] != before[k];
    EXPECT_EQ(changed, 4 * 3);  // x 2..5, y 2..4 of layer 6
}

TEST_F(Metaballs, LookupBallCoversTheCellsAroundItsCentre) {
    uint32_t lookup = alloc(2);
    call("create", {lookup, 4});
    const int32_t* t = reinterpret_cast<const int32_t*>(vm->memory + vm->memory[lookup + 1]);
    uint32_t vol = volume(20, 16, 12);
    call("clear", {vol, i(5)});
    // cx, cy, cz = 336, 232, 112: x runs 6..13, y 3..10, z from -1 (raised to
    // the border 2) to 6. Index = squared distance in 1/32 steps.
    call("lookupBall", {vol, lookup, vec(10.5f, 7.25f, 3.5f), f(2.0f), 2});
    ASSERT_EQ(vm->errorFlag, 0) << allMessages();
    EXPECT_EQ(at(vol, 10, 7, 3), 5 + (512 * t[16 * 16 + 8 * 8 + 16 * 16] >> 8));
    EXPECT_EQ(at(vol, 10, 7, 2), 5 + (512 * t[48 * 48 + 8 * 8 + 16 * 16] >> 8));
    ASSERT_GT(t[80 * 80 + 56 * 56 + 80 * 80], 0);
    EXPECT_EQ(at(vol, 13, 9, 6), 5 + (512 * t[80 * 80 + 56 * 56 + 80 * 80] >> 8));
    // Within the radius but outside the ranges: the ends are exclusive and
    // the border holds.
    ASSERT_GT(t[112 * 112 + 8 * 8 + 16 * 16], 0);
    EXPECT_EQ(at(vol, 14, 7, 3), 5);
    EXPECT_EQ(at(vol, 10, 7, 7), 5);
    EXPECT_EQ(at(vol, 10, 7, 1), 5);

    // 200 * 256 * 83,000 needs 33 bits: the product is exact...
    call("clear", {vol, i(5)});
    call("lookupBall", {vol, lookup, vec(10.0f, 7.0f, 5.0f), f(200.0f), 0});
    EXPECT_EQ(at(vol, 11, 7, 5), 5 + 200 * t[1024]);
    // ...and beyond the int32 range it saturates instead of wrapping.
    call("lookupBall", {vol, lookup, vec(10.0f, 7.0f, 5.0f), f(1e6f), 0});
    EXPECT_EQ(at(vol, 11, 7, 5), INT32_MAX);
    call("clear", {vol, i(-5)});
    call("lookupBall", {vol, lookup, vec(10.0f, 7.0f, 5.0f), f(-3e6f), 0});
    EXPECT_EQ(at(vol, 10, 8, 5), INT32_MIN);
}

TEST_F(Metaballs, ValueIsTheTrilinearSampleAndZeroAtTheFarEdge) {
    uint32_t vol = volume(5, 4, 3);
    auto field = [](double x, double y, double z) {
        return 1000 * x - 300 * y + 70 * z + 11 * x * y;  // trilinear samples reproduce it
    };
    for (int z = 0; z < 3; ++z)
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 5; ++x)
                at(vol, x, y, z) = static_cast<int32_t>(field(x, y, z));
    EXPECT_EQ(call("value", {vol, vec(1.25f, 2.5f, 0.75f)}), 586);  // 586.875
    EXPECT_EQ(call("value", {vol, vec(0.5f, 2.75f, 1.5f)}), -204);  // toward zero
    EXPECT_EQ(call("value", {vol, vec(3.0f, 1.0f, 1.0f)}), at(vol, 3, 1, 1));
    EXPECT_EQ(call("value", {vol, vec(0.0f, 0.0f, 0.0f)}), 0);
    at(vol, 0, 0, 0) = -777;
    EXPECT_EQ(call("value", {vol, vec(0.0f, 0.0f, 0.0f)}), -777);
    EXPECT_EQ(call("value", {vol, vec(4.0f, 1.0f, 1.0f)}), 0);  // x = size x - 1
    EXPECT_EQ(call("value", {vol, vec(2.0f, 3.0f, 1.0f)}), 0);  // y = size y - 1
    EXPECT_EQ(call("value", {vol, vec(2.0f, 1.0f, 2.0f)}), 0);  // z = size z - 1
    EXPECT_EQ(call("value", {vol, vec(-1.5f, 1.0f, 1.0f)}), 0);
    EXPECT_NE(call("value", {vol, vec(3.99f, 1.0f, 1.0f)}), 0);
    EXPECT_EQ(vm->errorFlag, 0) << allMessages();
}

TEST_F(Metaballs, UniformGridsHaveNoSurface) {
    uint32_t vol = volume(9, 8, 7);
    for (int32_t fill : {-5, 0, 12}) {
        call("clear", {vol, i(fill)});
        EXPECT_EQ(call("count", {vol}), 0) << fill;
        EXPECT_EQ(call("triangulate", {vol, alloc(6), 1}), 0) << fill;
    }
}

// Closed surfaces. The crossing on a grid segment is rounded from the end
// the cell's edge starts at, so two cells sharing a segment may place its
// vertex 1/255 apart: closure is a matter of segments, not positions. This
// walks the cells in output order (z, y, x), takes each vertex's segment from
// the tables, checks that the native's vertex lies on it, and then requires
// every segment pair once in each direction (closed and consistently wound).
constexpr int kCornerX[8] = {0, 1, 1, 0, 0, 1, 1, 0};
constexpr int kCornerY[8] = {0, 0, 1, 1, 0, 0, 1, 1};
constexpr int kCornerZ[8] = {0, 0, 0, 0, 1, 1, 1, 1};

::testing::AssertionResult closedSurface(const int32_t* grid, const int size[3],
                                         const std::vector<Vertex>& vertices) {
    using Segment = std::pair<int64_t, int64_t>;
    auto index = [&](int x, int y, int z) { return x + int64_t{size[0]} * (y + size[1] * z); };
    std::vector<Segment> segments;
    for (int z = 0; z + 2 < size[2]; ++z)
        for (int y = 0; y + 2 < size[1]; ++y)
            for (int x = 0; x + 2 < size[0]; ++x) {
                int c = 0;
                for (int k = 0; k < 8; ++k)
                    c |= (grid[index(x + kCornerX[k], y + kCornerY[k], z + kCornerZ[k])] < 0) << k;
                for (const int8_t* e = kMbTriangleTable[c]; *e >= 0; ++e) {
                    int a = kMbEdgeCorners[*e][0], b = kMbEdgeCorners[*e][1];
                    const int pa[3] = {x + kCornerX[a], y + kCornerY[a], z + kCornerZ[a]};
                    const int pb[3] = {x + kCornerX[b], y + kCornerY[b], z + kCornerZ[b]};
                    size_t k = segments.size();
                    if (k >= vertices.size()) return ::testing::AssertionFailure() << "too few";
                    for (int axis = 0; axis < 3; ++axis) {
                        float p = vertices[k].position[axis];
                        float lo = std::min(pa[axis], pb[axis]) - 0.005f;
                        float hi = std::max(pa[axis], pb[axis]) + 0.005f;
                        if (p < lo || p > hi)
                            return ::testing::AssertionFailure()
                                   << "vertex " << k << " off its edge";
                    }
                    segments.push_back(
                        std::minmax(index(pa[0], pa[1], pa[2]), index(pb[0], pb[1], pb[2])));
                }
            }
    if (segments.size() != vertices.size())
        return ::testing::AssertionFailure() << segments.size() << " vertices expected";
    std::map<std::pair<Segment, Segment>, int> edges;
    for (size_t t = 0; t + 2 < segments.size(); t += 3)
        for (int k = 0; k < 3; ++k)
            ++edges[{segments[t + k], segments[t + (k + 1) % 3]}];
    for (const auto& [edge, n] : edges) {
        auto reverse = edges.find({edge.second, edge.first});
        if (reverse == edges.end() || reverse->second != n)
            return ::testing::AssertionFailure() << "an open or misturned edge";
    }
    return ::testing::AssertionSuccess();
}

TEST_F(Metaballs, ABallInTheMiddleIsClosedAndCountedAlike) {
    uint32_t vol = volume(51, 50, 49);
    call("clear", {vol, 1});
    call("ball", {vol, vec(25.0f, 24.5f, 24.0f), f(-1000.0f), 0});
    int32_t count = call("count", {vol});
    EXPECT_GT(count, 1000);
    EXPECT_EQ(count % 3, 0);
    std::vector<Vertex> all = surface(vol);
    const int size[3] = {51, 50, 49};
    EXPECT_TRUE(closedSurface(&at(vol, 0, 0, 0), size, all));

    // Capacity 3: one triangle written, the same total returned, the rest untouched.
    uint32_t out = alloc(24);
    std::fill_n(vm->memory + out, 24, 0xABCD1234u);
    EXPECT_EQ(call("triangulate", {vol, out, 3}), count);
    EXPECT_EQ(std::memcmp(vm->memory + out, all.data(), 3 * sizeof(Vertex)), 0);
    EXPECT_TRUE(std::all_of(vm->memory + out + 18, vm->memory + out + 24,
                            [](uint32_t w) { return w == 0xABCD1234u; }));
    EXPECT_EQ(vm->errorFlag, 0) << allMessages();
}

// A smooth ball of radius 20 off the grid's centre: vertices lie on the
// sphere, normals are unit vectors along the negated gradient, and every
// triangle is wound the same way relative to its normals.
void checkSphere(const std::vector<Vertex>& vertices, const float centre[3], float towardCentre) {
    ASSERT_GT(vertices.size(), 3000u);
    int agree = 0, disagree = 0;
    for (size_t k = 0; k < vertices.size(); ++k) {
        const Vertex& v = vertices[k];
        float r[3], length = 0, normalLength = 0, dot = 0;
        for (int a = 0; a < 3; ++a) {
            r[a] = v.position[a] - centre[a];
            length += r[a] * r[a];
            normalLength += v.normal[a] * v.normal[a];
        }
        length = std::sqrt(length);
        for (int a = 0; a < 3; ++a)
            dot += v.normal[a] * r[a] / length;
        ASSERT_NEAR(length, 20.0f, 0.15f) << k;
        ASSERT_NEAR(normalLength, 1.0f, 1e-4f) << k;
        ASSERT_GT(-towardCentre * dot, 0.99f) << k;
    }
    for (size_t t = 0; t + 2 < vertices.size(); t += 3) {
        const float* a = vertices[t].position;
        const float* b = vertices[t + 1].position;
        const float* c = vertices[t + 2].position;
        float u[3] = {b[0] - a[0], b[1] - a[1], b[2] - a[2]};
        float w[3] = {c[0] - a[0], c[1] - a[1], c[2] - a[2]};
        float face[3] = {u[1] * w[2] - u[2] * w[1], u[2] * w[0] - u[0] * w[2],
                         u[0] * w[1] - u[1] * w[0]};
        float dot = 0;
        for (int k = 0; k < 3; ++k)
            dot += face[k] *
                   (vertices[t].normal[k] + vertices[t + 1].normal[k] + vertices[t + 2].normal[k]);
        if (std::fabs(dot) < 1e-6f) continue;  // a sliver
        (dot > 0 ? agree : disagree) += 1;
    }
    EXPECT_TRUE(agree == 0 || disagree == 0) << agree << " against " << disagree;
}

TEST_F(Metaballs, SphereVerticesAndNormals) {
    const float centre[3] = {23.6f, 23.2f, 22.8f};
    uint32_t vol = volume(48, 47, 46);
    // d < 20 is inside: 10000 - 4e6 / d^2 < 0.
    call("clear", {vol, i(10000)});
    call("ball", {vol, vec(centre[0], centre[1], centre[2]), f(-4e6f), 0});
    std::vector<Vertex> inward = surface(vol);
    checkSphere(inward, centre, 1.0f);  // negative ball on a positive grid: inward
    const int size[3] = {48, 47, 46};
    EXPECT_TRUE(closedSurface(&at(vol, 0, 0, 0), size, inward));

    call("clear", {vol, i(-10000)});
    call("ball", {vol, vec(centre[0], centre[1], centre[2]), f(4e6f), 0});
    checkSphere(surface(vol), centre, -1.0f);
    EXPECT_EQ(vm->errorFlag, 0) << allMessages();
}

TEST_F(Metaballs, AFlatGradientGivesAZeroNormal) {
    // One inside point in a field of zeros: every crossing sits at a point
    // whose forward neighbours are equal, so the interpolated gradient vanishes.
    uint32_t vol = volume(4, 3, 3);
    call("clear", {vol, 0});
    at(vol, 0, 0, 0) = -8;
    std::vector<Vertex> vertices = surface(vol);
    ASSERT_EQ(vertices.size(), 3u);  // case 1: edges 0, 8, 3
    // Edge 0 runs from (0,0,0) to (1,0,0): g = 256 and along x the normal is
    // 256 * 8 + 256 * (0 - 8) = 0; likewise along y and z.
    EXPECT_FLOAT_EQ(vertices[0].position[0], 256.0f / 255.0f);
    EXPECT_FLOAT_EQ(vertices[1].position[2], 256.0f / 255.0f);
    for (const Vertex& v : vertices)
        for (float n : v.normal)
            EXPECT_EQ(n, 0.0f);
}

// ---- areas outside VM memory ----

TEST_F(Metaballs, AreasLeavingMemoryFailWithoutWriting) {
    const uint32_t beyond = vm->memorySize - 2;
    uint32_t vol = volume(6, 5, 4);
    call("clear", {vol, i(9)});
    std::vector<uint32_t> before = grid(vol);
    uint32_t centre = vec(2.0f, 2.0f, 2.0f);
    uint32_t lookup = alloc(2);
    call("create", {lookup, 2});

    uint32_t farGrid = volume(6, 5, 4);
    vm->memory[farGrid + 3] = vm->memorySize - 100;  // 120 words do not fit
    uint32_t hugeGrid = volume(6, 5, 4);
    vm->memory[hugeGrid] = vm->memory[hugeGrid + 1] = vm->memory[hugeGrid + 2] = 0x7FFFFFFF;
    uint32_t badLookup = alloc(2);
    vm->memory[badLookup] = 3;
    vm->memory[badLookup + 1] = vm->memorySize - 1000;

    struct Case {
        const char* name;
        std::vector<uint32_t> args;
    };
    const Case cases[] = {
        {"clear", {beyond, 1}},
        {"clear", {farGrid, 1}},
        {"count", {hugeGrid}},
        {"ball", {vol, beyond, f(-50.0f), 0}},
        {"disc", {vol, beyond, 2, f(-50.0f), 0}},
        {"value", {vol, beyond}},
        {"lookupBall", {vol, beyond + 1, centre, f(-1.0f), 0}},
        {"lookupBall", {vol, badLookup, centre, f(-1.0f), 0}},
        {"triangulate", {vol, beyond, 1}},
        {"triangulate", {vol, vm->memorySize - 10, 2}},
        {"create", {beyond + 1, 2}},
        {"destroy", {beyond + 1}},
    };
    for (const Case& c : cases) {
        messages.clear();
        vm->errorFlag = 0;
        call(c.name, c.args);
        EXPECT_EQ(vm->errorFlag, 1) << c.name;
        EXPECT_TRUE(logged("Svcheck failed\n")) << c.name << allMessages();
        EXPECT_EQ(grid(vol), before) << c.name;
    }
}

// ---- as vmrun runs an image ----

TEST(MetaballsRun, ImagesCallingThemRunInVmrun) {
    AsmResult image = vmAssemble(R"VSA(
.heap 2000
.native create "V mbLookupCreate(*MetaBallLookup,I)"
.native clear "V mbClear(*MetaBallVolume,I)"
.native lookupBall "V mbLookupBall(*MetaBallVolume,*MetaBallLookup,*Vector3,F,I)"
.native count "I mbTriangleCount(*MetaBallVolume)"
.native triangulate "I mbTriangulateN3V3(*MetaBallVolume,*N3V3,I)"
.native print "V print(*I,F)"
.string counted "counted"
.string made "made"
.word grid[1080]
.word volume 12 10 9 grid
.word lookup[2]
.float centre 5.5 4.25 3.75
.word out[60]
.func "V main()" main
main:
    REF lookup
    LITERAL 3
    NATIVE create
    REF volume
    LITERAL 1000
    NATIVE clear
    REF volume
    REF lookup
    REF centre
    LITERALF -1
    LITERAL 0
    NATIVE lookupBall
    REF counted
    REF volume
    NATIVE count
    ITOF
    NATIVE print
    REF made
    REF volume
    REF out
    LITERAL 10
    NATIVE triangulate
    ITOF
    NATIVE print
    RETURN
)VSA",
                                 "run.vsa");
    ASSERT_TRUE(image.ok);
    std::vector<std::string> lines;
    ASSERT_TRUE(vmRunnerInstallLogging([&](const std::string& line) { lines.push_back(line); }));
    int result = vmRunImage(vmImageBytes(image.words), RunOptions{});
    vmRunnerRemoveLogging();
    std::string all;
    for (const std::string& line : lines)
        all += line + "\n";
    ASSERT_EQ(result, 0) << all;
    auto printed = [&](const std::string& label) {
        for (const std::string& line : lines)
            if (line.find("'" + label + "' ") != std::string::npos)
                return std::stof(line.substr(line.rfind(' ') + 1));
        return -1.0f;
    };
    EXPECT_GT(printed("counted"), 10.0f) << all;
    EXPECT_EQ(printed("made"), printed("counted")) << all;
}

}  // namespace
