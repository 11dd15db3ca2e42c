// The assembler's output, its error reports and the disassembler.
#include <gtest/gtest.h>

#include "vm/assembler.h"
#include "vm/opcodes.h"

namespace {

std::vector<std::pair<uint32_t, uint32_t>> instructions(const AsmResult& r) {
    std::vector<std::pair<uint32_t, uint32_t>> out;
    for (size_t i = 0; i + 1 < r.words.size(); i += 2)
        out.push_back({r.words[i], r.words[i + 1]});
    return out;
}

TEST(Assembler, OperandsAndSetupBlock) {
    AsmResult r = vmAssemble(R"VSA(
.heap 50
.equ SEVEN 7
.word w 3
.native s "F sin(F)"
.func "V f()" f
f:  LITERAL -1
    LITERALF 2        ; decimal integers become floats for LITERALF
    LITERALF 0x3f800000
    LITERAL_CHAR 'abcd'
    REF w+2
    LITERAL SEVEN
    J f
    RETURN
)VSA",
                             "t.vsa");
    ASSERT_TRUE(r.ok);
    auto in = instructions(r);
    EXPECT_EQ(in[0], std::make_pair(uint32_t{op::LITERAL}, 0xFFFFFFFFu));
    EXPECT_EQ(in[1], std::make_pair(uint32_t{op::LITERALF}, 0x40000000u));
    EXPECT_EQ(in[2], std::make_pair(uint32_t{op::LITERALF}, 0x3f800000u));
    EXPECT_EQ(in[3], std::make_pair(uint32_t{op::LITERAL_CHAR}, 0x64636261u));
    EXPECT_EQ(in[4], std::make_pair(uint32_t{op::REF}, 3u));
    EXPECT_EQ(in[5], std::make_pair(uint32_t{op::LITERAL}, 7u));
    EXPECT_EQ(in[6], std::make_pair(uint32_t{op::J}, 0u));
    // The setup block follows the code; the last instruction jumps to it.
    EXPECT_EQ(in[8], std::make_pair(uint32_t{op::VERSIONCHECK}, 0x10001u));
    EXPECT_EQ(in[9], std::make_pair(uint32_t{op::SETHEAPSIZE}, 50u));
    EXPECT_EQ(in.back(), std::make_pair(uint32_t{op::J}, 16u));
}

TEST(Assembler, FunctionEntriesNeverFollowAFusableInstruction) {
    AsmResult r = vmAssemble(".func \"V g()\" g\nf: COPYVAR 0\ng: LITERALINTADD 1\nRETURN\n", "t");
    ASSERT_TRUE(r.ok);
    auto in = instructions(r);
    EXPECT_EQ(in[0].first, uint32_t{op::COPYVAR});
    EXPECT_EQ(in[1].first, uint32_t{op::NOP});
    EXPECT_EQ(in[2].first, uint32_t{op::LITERALINTADD});
    // After a RETURN nothing is inserted.
    AsmResult plain = vmAssemble(".func \"V g()\" g\nRETURN\ng: LITERALINTADD 1\nRETURN\n", "t");
    EXPECT_EQ(instructions(plain)[1].first, uint32_t{op::LITERALINTADD});
}

TEST(Assembler, FourSlotCompareAndJump) {
    AsmResult r = vmAssemble("top: COPYVAR_LITERAL_INTLT_JZ 2, 10, top\n", "t");
    ASSERT_TRUE(r.ok);
    auto in = instructions(r);
    EXPECT_EQ(in[0], std::make_pair(uint32_t{op::COPYVAR_LITERAL_INTLT_JZ}, 2u));
    EXPECT_EQ(in[1], std::make_pair(uint32_t{op::LITERAL}, 10u));
    EXPECT_EQ(in[2].first, uint32_t{op::INTLT});
    EXPECT_EQ(in[3], std::make_pair(uint32_t{op::JZ}, 0u));
}

TEST(Assembler, ErrorsNameFileAndLine) {
    AsmResult r = vmAssemble(
        "LITERAL 1\nBOGUS 3\nJ nowhere\nx:\nx:\n.word s\n.func \"V f()\" missing\n.heap 1\n",
        "bad.vsa");
    EXPECT_FALSE(r.ok);
    std::string all;
    for (const std::string& e : r.errors)
        all += e + "\n";
    EXPECT_NE(all.find("bad.vsa:2: unknown instruction 'BOGUS'"), std::string::npos) << all;
    EXPECT_NE(all.find("bad.vsa:3: cannot resolve operand 'nowhere'"), std::string::npos) << all;
    EXPECT_NE(all.find("bad.vsa:5: 'x' defined twice"), std::string::npos) << all;
    EXPECT_NE(all.find("bad.vsa:7: unknown label 'missing' in .func"), std::string::npos) << all;
    EXPECT_NE(all.find("static data needs 2 words but .heap is 1"), std::string::npos) << all;
}

TEST(Disassembler, ShowsOperandsByKindAndFusedRuns) {
    AsmResult r =
        vmAssemble("COPYVAR 3\nLITERALINTADD -1\nLITERALF 1.5\nLITERAL_CHAR 'ab'\nRETURN\n", "t");
    ASSERT_TRUE(r.ok);
    std::string plain = vmDisassemble(r.words.data(), static_cast<int>(r.words.size()), false);
    EXPECT_NE(plain.find("     0  COPYVAR 3\n     2  LITERALINTADD -1\n     4  LITERALF 1.5\n"),
              std::string::npos)
        << plain;
    EXPECT_NE(plain.find("     6  LITERAL_CHAR 0x00006261\n"), std::string::npos) << plain;
    EXPECT_NE(plain.find("VERSIONCHECK 0x00010001"), std::string::npos);
    std::string fused = vmDisassemble(r.words.data(), static_cast<int>(r.words.size()), true);
    const std::string super = std::to_string(superinstructionFor({op::COPYVAR, op::LITERALINTADD}));
    EXPECT_NE(fused.find("     0  S" + super + " {COPYVAR 3; LITERALINTADD -1}\n     2  NOP -1\n"),
              std::string::npos)
        << fused;
}

TEST(Assembler, ImageBytesAreLittleEndian) {
    std::vector<uint32_t> words = {0x04030201, 0xA0B0C0D0};
    std::vector<uint8_t> bytes = vmImageBytes(words);
    EXPECT_EQ(bytes, (std::vector<uint8_t>{1, 2, 3, 4, 0xD0, 0xC0, 0xB0, 0xA0}));
    bytes.push_back(9);  // a trailing partial word is ignored
    EXPECT_EQ(vmImageWords(bytes), words);
}

}  // namespace
