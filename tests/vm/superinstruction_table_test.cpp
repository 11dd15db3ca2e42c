// Every superinstruction in the table is executed, fused and unfused, on the
// same state, and must leave the same memory, stack, error flag and
// messages: once with values that keep the run inside memory, once with
// lopsided operands that make its later steps fail, and once with the stack
// pointer so close to the top that a push inside the run overflows it. The
// four-slot compare-and-jump is checked against its plain instructions at
// its limit.
#include <climits>

#include "tests/vm/vm_fixture.h"
#include "vm/assembler.h"
#include "vm/memMgr.h"
#include "vm/opcodes.h"

namespace {

constexpr int kStaticWords = 256;
// A small heap keeps the many VMs cheap; the stack size is what the
// stack-top variants aim at.
constexpr int kHeapWords = 0x4000;
constexpr int kStackWords = 0x1000;

// kLopsided puts variables far outside memory at even places of the run,
// kLopsidedLate at odd ones, so that runs fail at their first step or part
// way through.
enum class Shape { kInside, kLopsided, kLopsidedLate, kStackTop };

// Operands per instruction and shape; distinct values, so that a fused step
// that reads the wrong slot or swaps two operands computes something else.
std::string operandFor(uint8_t opcode, size_t index, Shape shape) {
    const bool odd = shape == Shape::kLopsided || shape == Shape::kLopsidedLate;
    const int i = static_cast<int>(index);
    const bool outside = odd && (i % 2 == 0) == (shape == Shape::kLopsided);
    switch (opcode) {
        case op::REFVAR:
        case op::COPYVAR:
            return outside ? "0x7FFF0000" : std::to_string(odd ? 11 - i : 2 + 3 * i);
        case op::REF:
            return outside ? "0xFFFFFF00" : std::to_string(odd ? kStaticWords - 1 - i : 70 + 7 * i);
        case op::LITERAL:
            return odd ? (i % 2 ? "-123457" : "0x7FFFFFF0") : std::to_string(41 + 5 * i);
        case op::LITERALF:
            return odd ? (i % 2 ? "-0.0" : "-3.75e9") : std::to_string(1.25 + i);
        case op::LITERALINTADD:
            return odd ? "-2147483000" : std::to_string(3 + i);
        case op::LITERALINTMULADD:
            return odd ? "-65537" : std::to_string(2 + i);
        case op::LITERALINCREMENT:
            return odd ? "-1000001" : std::to_string(7 + i);
        case op::DEREF_OFFSET:
            return odd ? "300" : std::to_string(1 + i);
        case op::DEREF_MULTIPLE:
            return odd ? (i % 2 ? "0" : "-2") : "3";
        case op::ASSIGN_MULTIPLE:
            return odd ? "200" : "2";
        case op::MEMCPY:
            return odd ? "250" : "4";
        case op::PUSH_MULTIPLE:
        case op::POP_MULTIPLE:
            return "2";
        default:
            return "";
    }
}

// A function that fills the statics and 16 locals with small distinct
// addresses (so that loads and stores find memory), pushes twelve more,
// and then executes `run` once.
std::string programFor(const std::vector<uint8_t>& run, Shape shape, int topGap) {
    std::string text = ".heap " + std::to_string(kStaticWords) +
                       "\n.func \"V main()\" main\nmain:\n    PUSH_MULTIPLE 16\n";
    for (int k = 0; k < 16; ++k)
        text += "    REFVAR " + std::to_string(k) + "\n    LITERAL " + std::to_string(60 + 9 * k) +
                "\n    ASSIGNPOP\n";
    for (int a = 1; a < kStaticWords; a += 5)
        text += "    REF " + std::to_string(a) + "\n    LITERAL " +
                std::to_string(90 + 2 * a % 97) + "\n    ASSIGNPOP\n";
    if (shape == Shape::kStackTop) {
        // Leaves `topGap` free words above the stack pointer.
        text += "    PUSH_MULTIPLE " + std::to_string(kStackWords - 1 - 1 - 16 - topGap) + "\n";
    } else {
        for (int w = 0; w < 12; ++w)
            text += "    LITERAL " + std::to_string(50 + 13 * w) + "\n";
    }
    text += "run:\n";
    for (size_t i = 0; i < run.size(); ++i)
        text +=
            std::string("    ") + opcodeName(run[i]) + " " + operandFor(run[i], i, shape) + "\n";
    return text + "    RETURN\n";
}

class SuperinstructionTable : public VmTest {
protected:
    void SetUp() override {
        VmTest::SetUp();
        vmSetHeapLayout(kHeapWords, kStackWords);
    }
    void TearDown() override {
        VmTest::TearDown();
        vmSetHeapLayout(CVMMemMgr::kHeapWords, CVMMemMgr::kStackWords);
    }

    struct Outcome {
        std::vector<uint32_t> statics, nearBase, nearTop;
        ptrdiff_t depth = 0;
        uint8_t error = 0;
        std::vector<std::string> messages;
    };

    // Runs the image; `executedAt` gets the execution count of the
    // instruction at that position (the run's first one).
    Outcome runImage(const std::vector<uint32_t>& image, bool fused, int position,
                     uint32_t* opcodeAt, uint64_t* executedAt) {
        messages.clear();
        VMState* vm = loadWords(image, fused);
        EXPECT_EQ(vm->errorFlag, 0);
        vmEnableProfile(vm, true);
        run(vm, "V main()");
        Outcome out;
        out.statics.assign(vm->memory, vm->memory + kStaticWords);
        out.nearBase.assign(vm->stackBase, vm->stackBase + 64);
        out.nearTop.assign(vm->stackBase + kStackWords - 32, vm->stackBase + kStackWords);
        out.depth = vm->stackPointer - vm->stackBase;
        out.error = vm->errorFlag;
        out.messages = messages;
        int count = 0;
        *opcodeAt = vmCode(vm, &count)[position];
        *executedAt = vmProfileCounts(vm)[static_cast<size_t>(position)];
        return out;
    }

    void destroyAll() {
        for (VMState* vm : vms)
            vmDestroy(vm);
        vms.clear();
    }
};

// The position of label "run:" in the image: the first instruction after the
// prologue, found by assembling the prologue alone.
int runPosition(const std::string& program) {
    size_t at = program.find("run:\n");
    std::string prologue = program.substr(0, at) + "    RETURN\n";
    AsmResult image = vmAssemble(prologue, "prologue");
    // The prologue's RETURN sits where the run starts.
    int count = static_cast<int>(image.words.size());
    for (int p = 0; p < count; p += 2)
        if (image.words[static_cast<size_t>(p)] == op::RETURN) return p;
    return -1;
}

TEST_F(SuperinstructionTable, EveryFusedRunActsLikeItsPlainInstructions) {
    int failedInside = 0, overflowed = 0;
    for (uint8_t code : superinstructionCodes()) {
        const std::vector<uint8_t>& run = superinstructionRun(code);
        struct Variant {
            Shape shape;
            int gap;
        };
        std::vector<Variant> variants = {
            {Shape::kInside, 0}, {Shape::kLopsided, 0}, {Shape::kLopsidedLate, 0}};
        for (int gap = 0; gap <= 3; ++gap)
            variants.push_back({Shape::kStackTop, gap});
        for (const Variant& v : variants) {
            std::string program = programFor(run, v.shape, v.gap);
            SCOPED_TRACE("S" + std::to_string(code) + " shape " +
                         std::to_string(static_cast<int>(v.shape)) + " gap " +
                         std::to_string(v.gap) + "\n" + program.substr(program.find("run:")));
            std::vector<uint32_t> image = assemble(program);
            int position = runPosition(program);
            ASSERT_GT(position, 0);
            uint32_t plainOpcode = 0, fusedOpcode = 0;
            uint64_t plainCount = 0, fusedCount = 0;
            Outcome plain = runImage(image, false, position, &plainOpcode, &plainCount);
            Outcome fused = runImage(image, true, position, &fusedOpcode, &fusedCount);
            // The fused image really dispatched this superinstruction, once.
            ASSERT_EQ(fusedOpcode, code);
            ASSERT_EQ(fusedCount, 1u);
            EXPECT_EQ(plainOpcode, run[0]);
            EXPECT_EQ(plain.messages, fused.messages);
            EXPECT_EQ(plain.error, fused.error);
            EXPECT_EQ(plain.depth, fused.depth);
            EXPECT_EQ(plain.statics, fused.statics);
            EXPECT_EQ(plain.nearBase, fused.nearBase);
            EXPECT_EQ(plain.nearTop, fused.nearTop);
            if (v.shape != Shape::kStackTop && plain.error) ++failedInside;
            for (const std::string& m : plain.messages)
                if (m.find("Stack pointer out of range") != std::string::npos) ++overflowed;
            destroyAll();
        }
    }
    // The edges were reached: runs failing part way and overflowing the stack.
    EXPECT_GT(failedInside, 20);
    EXPECT_GT(overflowed, 20);
}

// COPYVAR_LITERAL_INTLT_JZ is the plain COPYVAR, LITERAL, INTLT, JZ in one
// dispatch: it must branch exactly as they do, at the limit and around it.
TEST_F(SuperinstructionTable, CompareAndJumpBranchesLikeItsPlainInstructions) {
    struct Case {
        int32_t value, limit;
    };
    const Case cases[] = {{7, 7},
                          {6, 7},
                          {8, 7},
                          {-1, 0},
                          {0, 0},
                          {-5, -4},
                          {-4, -5},
                          {-4, -4},
                          {INT_MIN, -1},
                          {INT_MAX, INT_MIN},
                          {INT_MIN, INT_MAX},
                          {1, 0}};
    for (const Case& c : cases) {
        std::string set =
            ".func \"V main()\" main\nmain:\n    PUSH_MULTIPLE 2\n    REFVAR 1\n"
            "    LITERAL " +
            std::to_string(c.value) + "\n    ASSIGNPOP\n";
        std::string tail = "    LITERAL 111\n    RETURN\nafter:\n    LITERAL 222\n    RETURN\n";
        std::string limit = std::to_string(c.limit);
        VMState* fused =
            load(set + "    COPYVAR_LITERAL_INTLT_JZ 1, " + limit + ", after\n" + tail);
        VMState* plain = load(set + "    COPYVAR 1\n    LITERAL " + limit +
                              "\n    INTLT\n    JZ after\n" + tail);
        ASSERT_TRUE(run(fused, "V main()"));
        ASSERT_TRUE(run(plain, "V main()"));
        uint32_t expected = c.value < c.limit ? 111u : 222u;
        EXPECT_EQ(*fused->stackPointer, expected) << c.value << " < " << c.limit;
        EXPECT_EQ(*plain->stackPointer, expected) << c.value << " < " << c.limit;
        EXPECT_EQ(fused->stackPointer - fused->stackBase, plain->stackPointer - plain->stackBase);
        EXPECT_EQ(fused->errorFlag | plain->errorFlag, 0);
        destroyAll();
    }
}

}  // namespace
