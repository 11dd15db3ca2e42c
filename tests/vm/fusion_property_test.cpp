// Fused code must behave exactly like unfused code: random straight-line
// programs built from the fusable runs are loaded both ways and must leave
// the same memory, stack, error flag and messages.
#include <random>

#include "tests/vm/vm_fixture.h"
#include "vm/opcodes.h"

namespace {

// An operand that keeps most programs running for a while: small local
// indexes, small addresses (statics live at 1..64) and small counts.
std::string operandFor(uint8_t opcode, std::mt19937& rng) {
    auto pick = [&](int lo, int hi) {
        return std::to_string(std::uniform_int_distribution<int>(lo, hi)(rng));
    };
    switch (opcode) {
        case op::COPYVAR:
        case op::REFVAR:
            return pick(-1, 20);
        case op::DEREF_MULTIPLE:
            return pick(-1, 4);
        case op::DEREF_OFFSET:
            return pick(0, 6);
        case op::LITERALINTADD:
            return pick(-4, 4);
        case op::LITERALINTMULADD:
            return pick(-1, 3);
        case op::LITERALINCREMENT:
            return pick(-3, 3);
        case op::ASSIGN_MULTIPLE:
            return pick(0, 3);
        case op::LITERAL:
            return pick(0, 64);
        case op::LITERALF: {
            float f = std::uniform_real_distribution<float>(-4, 4)(rng);
            return std::to_string(f);
        }
        default:
            return "";
    }
}

// `nearTop` starts the runs a few words below the end of the stack, so that
// pushes inside a fused run overflow it part way through.
std::string randomProgram(std::mt19937& rng, int runs, bool nearTop) {
    const std::vector<uint8_t>& supers = superinstructionCodes();
    std::string text = ".heap 128\n.func \"V main()\" main\nmain:\n    PUSH_MULTIPLE 24\n";
    // Locals hold small addresses and floats so that the runs find work.
    for (int k = 0; k < 24; ++k)
        text += "    REFVAR " + std::to_string(k) + "\n    LITERAL " +
                std::to_string(std::uniform_int_distribution<int>(1, 60)(rng)) +
                "\n    ASSIGNPOP\n";
    if (nearTop)
        text += "    PUSH_MULTIPLE " +
                std::to_string(0x200000 - 26 - std::uniform_int_distribution<int>(1, 8)(rng)) +
                "\n";
    for (int i = 0; i < runs; ++i) {
        uint8_t code = supers[std::uniform_int_distribution<size_t>(0, supers.size() - 1)(rng)];
        for (uint8_t opcode : superinstructionRun(code))
            text += std::string("    ") + opcodeName(opcode) + " " + operandFor(opcode, rng) + "\n";
        // Keep the stack from drifting too far either way.
        if (std::uniform_int_distribution<int>(0, 3)(rng) == 0) text += "    LITERAL 5\n";
    }
    return text + "    RETURN\n";
}

class FusionProperty : public VmTest {
protected:
    struct Outcome {
        std::vector<uint32_t> memory;
        ptrdiff_t depth;
        uint8_t error;
        std::vector<std::string> messages;
    };

    Outcome runOnce(const std::vector<uint32_t>& image, bool fused) {
        messages.clear();
        VMState* vm = loadWords(image, fused);
        EXPECT_EQ(vm->errorFlag, 0);
        run(vm, "V main()");
        Outcome out;
        out.memory.assign(vm->memory, vm->memory + 128);
        out.memory.insert(out.memory.end(), vm->stackBase, vm->stackBase + 400);
        uint32_t* top = vm->stackBase + 0x200000;
        out.memory.insert(out.memory.end(), top - 64, top + 16);
        out.depth = vm->stackPointer - vm->stackBase;
        out.error = vm->errorFlag;
        out.messages = messages;
        return out;
    }
};

TEST_F(FusionProperty, FusedAndUnfusedProgramsAgree) {
    std::mt19937 rng(20261207);
    int fusedTotal = 0, failures = 0, completions = 0, overflows = 0;
    for (int trial = 0; trial < 300; ++trial) {
        bool nearTop = trial % 3 == 2;
        std::vector<uint32_t> image = assemble(randomProgram(rng, 12, nearTop));
        Outcome plain = runOnce(image, false);
        Outcome fused = runOnce(image, true);
        VMState* vm = vms.back();
        int count = 0;
        const uint32_t* code = vmCode(vm, &count);
        for (int at = 0; at < count; at += 2)
            fusedTotal += opcodeInfo(code[at]).super ? 1 : 0;
        ASSERT_EQ(plain.messages, fused.messages) << "trial " << trial;
        ASSERT_EQ(plain.error, fused.error) << "trial " << trial;
        ASSERT_EQ(plain.depth, fused.depth) << "trial " << trial;
        ASSERT_EQ(plain.memory, fused.memory) << "trial " << trial;
        (plain.error ? failures : completions) += 1;
        for (const std::string& m : plain.messages)
            if (nearTop && m.find("Stack pointer out of range") != std::string::npos) ++overflows;
        for (VMState* v : vms)
            vmDestroy(v);
        vms.clear();
    }
    // The programs must exercise both fused execution and failures inside runs.
    EXPECT_GT(fusedTotal, 1000);
    EXPECT_GT(failures, 10);
    EXPECT_GT(completions, 10);
    EXPECT_GT(overflows, 10);
}

// Fused runs that fit the stack skip every stack test, so runs that end
// exactly at either end of the stack, or one word past it, must still fail
// (or not) at the same instruction as the unfused code.
TEST_F(FusionProperty, RunsAtTheEndsOfTheStackFailLikeUnfusedCode) {
    const std::string statement =
        "    REFVAR 0\n    COPYVAR 0\n    LITERALF 2\n    FLOATMUL\n    LITERALF 1\n"
        "    FLOATADD\n    ASSIGNPOP\n    RETURN\n";
    struct Case {
        std::string body;
        bool fails;
    };
    const Case cases[] = {
        // The run pushes three words: the last one fits, or is one too many.
        {"    PUSH_MULTIPLE 0x1FFFFC\n" + statement, false},
        {"    PUSH_MULTIPLE 0x1FFFFD\n" + statement, true},
        // INTADD ASSIGNPOP ends one word below the base, or on it.
        {"    LITERAL 1\n    LITERAL 2\n    INTADD\n    ASSIGNPOP\n    RETURN\n", true},
        {"    LITERAL 1\n    LITERAL 1\n    LITERAL 2\n    INTADD\n    ASSIGNPOP\n    RETURN\n",
         false},
    };
    for (const Case& c : cases) {
        std::vector<uint32_t> image =
            assemble(".heap 128\n.func \"V main()\" main\nmain:\n" + c.body);
        Outcome plain = runOnce(image, false);
        Outcome fused = runOnce(image, true);
        int count = 0;
        const uint32_t* code = vmCode(vms.back(), &count);
        bool anyFused = false;
        for (int at = 0; at < count; at += 2)
            anyFused = anyFused || opcodeInfo(code[at]).super;
        EXPECT_TRUE(anyFused) << c.body;
        EXPECT_EQ(plain.messages, fused.messages) << c.body;
        EXPECT_EQ(plain.error, c.fails ? 1 : 0) << c.body;
        EXPECT_EQ(fused.error, plain.error) << c.body;
        EXPECT_EQ(fused.depth, plain.depth) << c.body;
        EXPECT_EQ(fused.memory, plain.memory) << c.body;
        bool reported = false;
        for (const std::string& m : fused.messages)
            reported = reported || m.find("Stack pointer out of range") != std::string::npos;
        EXPECT_EQ(reported, c.fails) << c.body;
        for (VMState* v : vms)
            vmDestroy(v);
        vms.clear();
    }
}

}  // namespace
