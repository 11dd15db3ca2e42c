// vmfreq's counts: runs are cut at jump targets and function entries, static
// counts are places in the code, dynamic counts are executions of the whole
// run, and operator classes merge operators.
#include <gtest/gtest.h>

#include "tools/vmfreq/vmFreq.h"
#include "vm/assembler.h"
#include "vm/opcodes.h"
#include "vm/vm.h"

namespace {

class VmFreq : public ::testing::Test {
protected:
    void SetUp() override {
        vmSystemCreate([](const char*) {});
    }
    void TearDown() override { vmSystemDestroy(); }

    FreqTable count(const std::string& source, FreqOptions options = {}) {
        AsmResult image = vmAssemble(source, "freq");
        EXPECT_TRUE(image.ok);
        FreqTable table;
        std::string error;
        EXPECT_TRUE(freqAddImage(table, image.words, options, "freq", error)) << error;
        return table;
    }
    static SequenceCount at(const FreqTable& t, std::initializer_list<uint8_t> key) {
        auto it = t.sequences.find(SequenceKey(key));
        return it == t.sequences.end() ? SequenceCount{} : it->second;
    }
};

// A loop of 7 turns whose body holds COPYVAR LITERAL INTADD POP; the loop
// head is a jump target, so no run crosses into it.
const char* const kLoop =
    ".func \"V main()\" main\nmain:\n"
    "    LITERAL 0\n"
    "head:\n"
    "    COPYVAR 0\n    LITERAL 7\n    INTLT\n    JZ done\n"
    "    COPYVAR 0\n    LITERAL 5\n    INTADD\n    POP\n"
    "    REFVAR 0\n    LITERALINCREMENT 1\n    J head\n"
    "done:\n    POP\n    RETURN\n";

TEST_F(VmFreq, CountsRunsInTheCodeAndInTheRun) {
    FreqTable t = count(kLoop);
    SequenceCount body = at(t, {op::COPYVAR, op::LITERAL, op::INTADD});
    SequenceCount test = at(t, {op::COPYVAR, op::LITERAL, op::INTLT});
    EXPECT_EQ(body.occurrences, 1u);
    EXPECT_EQ(body.executions, 7u);
    EXPECT_EQ(test.occurrences, 1u);
    EXPECT_EQ(test.executions, 8u);  // the last test fails and leaves
    EXPECT_EQ(at(t, {op::COPYVAR, op::LITERAL}).occurrences, 2u);
    EXPECT_EQ(at(t, {op::COPYVAR, op::LITERAL}).executions, 15u);
    // LITERAL 0 then the loop head: the head is a jump target.
    EXPECT_EQ(at(t, {op::LITERAL, op::COPYVAR}).occurrences, 0u);
    // Branches never belong to a run.
    EXPECT_EQ(at(t, {op::INTADD, op::POP, op::REFVAR}).executions, 7u);
    EXPECT_EQ(at(t, {op::INTLT, op::JZ}).occurrences, 0u);
    EXPECT_EQ(t.images, 1);
    EXPECT_GT(t.executedInstructions, 7u * 11u);
}

TEST_F(VmFreq, StaticCountingRunsNothingAndClassesMergeOperators) {
    FreqOptions options;
    options.run = false;
    options.classes = true;
    options.maxLength = 2;
    FreqTable t = count(kLoop, options);
    EXPECT_EQ(t.executedInstructions, 0u);
    EXPECT_EQ(at(t, {op::LITERAL, kIntCompare}).occurrences, 1u);
    EXPECT_EQ(at(t, {op::LITERAL, kIntOp}).occurrences, 1u);
    EXPECT_EQ(at(t, {op::LITERAL, op::INTLT}).occurrences, 0u);
    EXPECT_EQ(freqName({op::LITERAL, kIntOp}), "LITERAL <intop>");
}

TEST_F(VmFreq, FunctionEntriesCutRunsAndSceneImagesRunFrames) {
    // "V step()" starts right after main's RETURN: nothing fuses across.
    std::vector<std::string> calls = freqDefaultCalls({"V init()", "V render()", "V step()"}, 2);
    EXPECT_EQ(calls, (std::vector<std::string>{"V init()", "V step()", "V render()", "V step()",
                                               "V render()"}));
    EXPECT_EQ(freqDefaultCalls({"V main()", "V init()"}, 5),
              (std::vector<std::string>{"V main()"}));
    FreqOptions options;
    options.calls = {"V step()", "V step()", "V step()"};
    FreqTable t = count(
        ".func \"V main()\" main\n.func \"V step()\" step\nmain:\n    RETURN\n"
        "step:\n    LITERAL 2\n    LITERAL 3\n    INTMUL\n    POP\n    RETURN\n",
        options);
    EXPECT_EQ(at(t, {op::LITERAL, op::LITERAL, op::INTMUL}).executions, 3u);
    EXPECT_EQ(at(t, {op::RETURN, op::LITERAL}).occurrences, 0u);
}

}  // namespace
