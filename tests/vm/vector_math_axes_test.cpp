// The geometry instructions on lopsided operands: rotations about each axis
// by an angle whose sine and cosine differ, applied to (1, 2, 3) and checked
// against the rotation formulas written out here; translations and scales
// with distinct components; products in both orders. A flipped sign, a
// swapped component or a product taken the wrong way round changes a result.
#include <cmath>
#include <cstdio>

#include "tests/vm/vm_fixture.h"

namespace {

using VectorMathAxes = VmTest;

struct V3 {
    double x, y, z;
};

// A positive angle turns clockwise looking down the axis toward the origin:
// the right-handed rotation by the negated angle.
V3 aboutX(V3 v, double a) {
    return {v.x, v.y * std::cos(a) + v.z * std::sin(a), -v.y * std::sin(a) + v.z * std::cos(a)};
}
V3 aboutY(V3 v, double a) {
    return {v.x * std::cos(a) - v.z * std::sin(a), v.y, v.x * std::sin(a) + v.z * std::cos(a)};
}
V3 aboutZ(V3 v, double a) {
    return {v.x * std::cos(a) + v.y * std::sin(a), -v.x * std::sin(a) + v.y * std::cos(a), v.z};
}
// Rodrigues' formula for a unit axis k, again by the negated angle.
V3 aboutAxis(V3 v, double a, V3 k) {
    double c = std::cos(-a), s = std::sin(-a), dot = k.x * v.x + k.y * v.y + k.z * v.z;
    V3 cross{k.y * v.z - k.z * v.y, k.z * v.x - k.x * v.z, k.x * v.y - k.y * v.x};
    return {v.x * c + cross.x * s + k.x * dot * (1 - c),
            v.y * c + cross.y * s + k.y * dot * (1 - c),
            v.z * c + cross.z * s + k.z * dot * (1 - c)};
}
V3 plus(V3 a, V3 b) {
    return {a.x + b.x, a.y + b.y, a.z + b.z};
}

std::string lit(double x) {
    char text[40];
    std::snprintf(text, sizeof text, "    LITERALF %.9g\n", x);
    return text;
}
std::string lit(V3 v) {
    return lit(v.x) + lit(v.y) + lit(v.z);
}
// D = S x op(...) for the matrix instructions that take three floats.
// A rotation passes its angle before the axis.
std::string mat(const char* d, const char* s, const char* op, V3 v, double angle = NAN) {
    return std::string("    REF ") + d + "\n    REF " + s + "\n" +
           (std::isnan(angle) ? "" : lit(angle)) + lit(v) + "    " + op + "\n";
}

const V3 kPoint{1, 2, 3};
const double kAngle = 0.3;
const V3 kMove{7, -8, 9};
const V3 kGrow{2, 3, 4};
const V3 kOblique{1.0 / 3, -2.0 / 3, 2.0 / 3};  // given to the VM scaled by 6

// The program starts with `s` = identity and `REF out` on the stack; `body`
// leaves three floats on top of it, which are stored into `out`.
const char* const kPrelude = R"vsa(
.heap 300
.word out[3]
.word d[16]
.word s[16]
.word e[16]
.float eye 1 2 3
.float target 4 -1 5
.float up 0 1 0
.func "V main()" main
main:
    REF s
    MATIDENTITY
    REF out
)vsa";

const std::string kTransform = lit(kPoint) + "    REF d\n    VECTOR_TRANSFORM\n";
const std::string kNormal = lit(kPoint) + "    REF d\n    NORMAL_TRANSFORM\n";

struct Case {
    const char* name;
    std::string body;
    V3 expected;
};

std::vector<Case> cases() {
    const V3 p = kPoint;
    const double a = kAngle;
    return {
        {"rotation about x", mat("d", "s", "MATROTATE", {4, 0, 0}, a) + kTransform, aboutX(p, a)},
        {"rotation about y", mat("d", "s", "MATROTATE", {0, 2.5, 0}, a) + kTransform, aboutY(p, a)},
        {"rotation about z", mat("d", "s", "MATROTATE", {0, 0, 0.5}, a) + kTransform, aboutZ(p, a)},
        {"rotation about -y", mat("d", "s", "MATROTATE", {0, -1, 0}, a) + kTransform,
         aboutY(p, -a)},
        {"rotation about an oblique axis", mat("d", "s", "MATROTATE", {2, -4, 4}, a) + kTransform,
         aboutAxis(p, a, kOblique)},
        {"translation", mat("d", "s", "MATTRANSLATE", kMove) + kTransform, plus(p, kMove)},
        {"scale", mat("d", "s", "MATSCALE", kGrow) + kTransform, {2, 6, 12}},
        {"scale, then translation applied first",
         mat("s", "s", "MATSCALE", kGrow) + mat("d", "s", "MATTRANSLATE", {10, 20, 30}) +
             kTransform,
         {22, 66, 132}},
        {"translation, then scale applied first",
         mat("s", "s", "MATTRANSLATE", {10, 20, 30}) + mat("d", "s", "MATSCALE", kGrow) +
             kTransform,
         {12, 26, 42}},
        {"translation, then rotation applied first",
         mat("s", "s", "MATTRANSLATE", kMove) + mat("d", "s", "MATROTATE", {0, 1, 0}, a) +
             kTransform,
         plus(aboutY(p, a), kMove)},
        {"normals ignore translation",
         mat("s", "s", "MATTRANSLATE", kMove) + mat("d", "s", "MATROTATE", {1, 0, 0}, a) + kNormal,
         aboutX(p, a)},
        {"product: rotation x translation",
         mat("d", "s", "MATROTATE", {0, 0, 1}, a) + mat("e", "s", "MATTRANSLATE", kMove) +
             "    REF d\n    REF d\n    REF e\n    MATMUL\n" + kTransform,
         aboutZ(plus(p, kMove), a)},
        {"product: translation x rotation",
         mat("d", "s", "MATROTATE", {0, 0, 1}, a) + mat("e", "s", "MATTRANSLATE", kMove) +
             "    REF d\n    REF e\n    REF d\n    MATMUL\n" + kTransform,
         plus(aboutZ(p, a), kMove)},
        {"camera: the eye goes to the origin",
         "    REF d\n    REF s\n    REF eye\n    REF target\n    REF up\n    MATLOOKAT\n" +
             lit({1, 2, 3}) + "    REF d\n    VECTOR_TRANSFORM\n",
         {0, 0, 0}},
        {"camera: the target lies ahead on -z",
         "    REF d\n    REF s\n    REF eye\n    REF target\n    REF up\n    MATLOOKAT\n" +
             lit({4, -1, 5}) + "    REF d\n    VECTOR_TRANSFORM\n",
         {0, 0, -std::sqrt(22.0)}},
        {"camera: up stays up",
         "    REF d\n    REF s\n    REF eye\n    REF target\n    REF up\n    MATLOOKAT\n" +
             lit({1, 2, 3}) + lit({0, 1, 0}) + "    VECTOR_ADD\n    REF d\n    VECTOR_TRANSFORM\n",
         // up split along and across f = (3, -3, 2); the camera looks down -z
         {0, std::sqrt(1 - 9.0 / 22), 3 / std::sqrt(22.0)}},
        {"billboard keeps the translation, scales by the determinant",
         mat("s", "s", "MATTRANSLATE", kMove) + mat("s", "s", "MATROTATE", {0, 1, 0}, a) +
             mat("s", "s", "MATSCALE", kGrow) + "    REF d\n    REF s\n" + lit(0.5) +
             "    MATBILLBOARD\n    REF d\n    DEREF_OFFSET 5\n    REF d\n    DEREF_OFFSET 12\n"
             "    REF d\n    DEREF_OFFSET 13\n",
         {12, 7, -8}},
        {"cross product", lit(p) + lit({4, -5, 6}) + "    VECTOR_CROSS\n", {27, 6, -13}},
        {"vector difference", lit(p) + lit({4, -5, 6}) + "    VECTOR_SUB\n", {-3, 7, -3}},
        {"linear interpolation of 3-vectors",
         lit(p) + lit({5, -6, 11}) + lit(0.25) + "    VECTOR3_INTERP2\n",
         {2, 0, 5}},
        {"linear interpolation of 2-vectors",
         lit(1) + lit(2) + lit(5) + lit(-6) + lit(0.25) + "    VECTOR2_INTERP2\n" + lit(99),
         {2, 0, 99}},
    };
}

TEST_F(VectorMathAxes, LopsidedOperandsGiveTheWrittenOutResults) {
    for (const Case& c : cases()) {
        SCOPED_TRACE(c.name);
        VMState* vm = load(kPrelude + c.body + "    ASSIGN_MULTIPLE 3\n    POP\n    RETURN\n");
        ASSERT_EQ(vm->errorFlag, 0) << allMessages();
        ASSERT_TRUE(run(vm, "V main()")) << allMessages();
        EXPECT_NEAR(asFloat(vm->memory[1]), c.expected.x, 1e-4);
        EXPECT_NEAR(asFloat(vm->memory[2]), c.expected.y, 1e-4);
        EXPECT_NEAR(asFloat(vm->memory[3]), c.expected.z, 1e-4);
    }
}

}  // namespace
