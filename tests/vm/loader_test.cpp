// Loading: the setup block, version check, function table, native binding,
// memory creation and the fusion pass.
#include <cstdio>
#include <cstring>

#include "tests/vm/vm_fixture.h"
#include "vfs/crc.h"
#include "vm/fusion.h"
#include "vm/opcodes.h"

namespace {

using Loader = VmTest;

// Pushes a string the way setup code does (terminator deepest, first character on top).
void pushString(std::vector<uint32_t>& image, const std::string& text) {
    image.insert(image.end(), {op::LITERAL, 0});
    for (size_t i = text.size(); i > 0; --i)
        image.insert(image.end(), {op::LITERAL, static_cast<uint32_t>(text[i - 1])});
}

// A setup block at position 0 that registers functions, then the entry jump.
std::vector<uint32_t> setupImage(uint32_t version,
                                 const std::vector<std::pair<std::string, uint32_t>>& functions) {
    std::vector<uint32_t> image = {op::RETURN, 0};  // position 0: a function body
    uint32_t setup = static_cast<uint32_t>(image.size());
    image.insert(image.end(), {op::VERSIONCHECK, version, op::SETHEAPSIZE, 100});
    for (const auto& [name, position] : functions) {
        pushString(image, name);
        image.insert(image.end(), {op::LITERAL, position, op::STOREFUNC, 0});
    }
    image.insert(image.end(), {op::RETURN, 0, op::J, setup});
    return image;
}

TEST_F(Loader, SetupRegistersFunctionsAtTraceLevel) {
    VMState* vm = loadWords(setupImage(0x10001, {{"V init()", 0}, {"V step()", 0}}));
    ASSERT_NE(vm, nullptr);
    EXPECT_EQ(vm->errorFlag, 0) << allMessages();
    EXPECT_TRUE(logged(".Function 'V init()' added as 0\n"));
    EXPECT_TRUE(logged(".Function 'V step()' added as 0\n"));
    EXPECT_TRUE(logged("ICVMExec: VM Base Size 100\n"));
    EXPECT_TRUE(vmHasFunction(vm, "V init()"));
    EXPECT_FALSE(vmHasFunction(vm, "V init( )"));
    EXPECT_EQ(vm->memorySize, 100u + 0x800000u);
    EXPECT_TRUE(run(vm, "V init()"));
    EXPECT_EQ(vm->errorFlag, 0);
}

TEST_F(Loader, WrongVersionIsRejected) {
    VMState* vm = loadWords(setupImage(0x10002, {{"V init()", 0}}));
    EXPECT_EQ(vm->errorFlag, 1);
    EXPECT_TRUE(logged("SCode from wrong Vortalis version. Is 0x00010002, expecting 0x00010001\n"));
    EXPECT_FALSE(vmHasFunction(vm, "V init()"));
}

TEST_F(Loader, FirstRegistrationOfANameWins) {
    std::vector<uint32_t> image = setupImage(0x10001, {{"V f()", 0}, {"V f()", 4}});
    VMState* vm = loadWords(image);
    EXPECT_EQ(vm->errorFlag, 0);
    EXPECT_EQ(vmFunctionPosition(vm, "V f()"), 0);
}

TEST_F(Loader, OverlongFunctionNameFailsButSetupContinues) {
    VMState* vm = loadWords(setupImage(0x10001, {{std::string(256, 'x'), 0}, {"V ok()", 0}}));
    EXPECT_EQ(vm->errorFlag, 1);
    EXPECT_TRUE(logged("SFunction string '" + std::string(255, 'x') + "' to too long!\n"));
    EXPECT_TRUE(vmHasFunction(vm, "V ok()"));  // the run went on after the long name
    EXPECT_EQ(vmFunctionNames(vm).size(), 1u);
    // A name of exactly 255 characters is accepted.
    VMState* edge = loadWords(setupImage(0x10001, {{std::string(255, 'y'), 0}}));
    EXPECT_EQ(edge->errorFlag, 0);
}

TEST_F(Loader, RegistryReportsVmsLeftAtShutdown) {
    VMState* vm = load(".heap 10\n");
    ASSERT_NE(vm, nullptr);
    vms.clear();  // the registry destroys it
    vmSystemDestroy();
    EXPECT_TRUE(logged("S1 VMs still unfreed\n"));
    EXPECT_EQ(vmCreate(nullptr, 0), nullptr);  // no registry, no VM
    ASSERT_TRUE(vmSystemCreate([this](const char* text) { messages.push_back(text); }));
}

TEST_F(Loader, TooShortImageFailsSetup) {
    VMState* vm = loadWords({op::J});
    EXPECT_EQ(vm->errorFlag, 1);
    VMState* empty = loadWords({});
    EXPECT_EQ(empty->errorFlag, 1);
    EXPECT_TRUE(run(empty, "V main()"));
    EXPECT_TRUE(
        logged("SexecuteFunction: Trying to execute 'V main()' but we have no code loaded\n"));
}

TEST_F(Loader, NativesBindByExactSignatureOnly) {
    VMState* good = load(
        ".native p \"V print(*I,F)\"\n.native s \"V sumViewport(*F)\"\n"
        ".native s3 \"V sumViewport(*F,I,I)\"\n");
    EXPECT_EQ(good->errorFlag, 0) << allMessages();
    // Statics are allocated from address 1 in declaration order.
    EXPECT_EQ(good->memory[1], 1u);
    EXPECT_EQ(good->memory[2], 46u);
    EXPECT_EQ(good->memory[3], 47u);
    VMState* spaced = load(".native p \"V print(*I, F)\"\n");
    EXPECT_EQ(spaced->errorFlag, 1);
    EXPECT_TRUE(logged("SNo native function for 'V print(*I, F)'\n"));
    VMState* lower = load(".native p \"v print(*I,F)\"\n");
    EXPECT_EQ(lower->errorFlag, 1);
}

TEST_F(Loader, StackUseBeforeMemoryFailsSetup) {
    std::vector<uint32_t> image = words({{op::LITERAL, 5}, {op::RETURN, 0}, {op::J, 0}});
    VMState* vm = loadWords(image);
    EXPECT_EQ(vm->errorFlag, 1);
    EXPECT_TRUE(logged("Stack pointer out of range at     2:          RETURN 0x00000000\n"))
        << allMessages();
}

TEST_F(Loader, SecondHeapSizeWarnsAndFails) {
    VMState* vm = loadWords(
        words({{op::SETHEAPSIZE, 10}, {op::SETHEAPSIZE, 20}, {op::RETURN, 0}, {op::J, 0}}));
    EXPECT_EQ(vm->errorFlag, 1);
    EXPECT_TRUE(logged("WCVMExec: Memory manager already allocated\n"));
    EXPECT_EQ(vm->memorySize, 20u + 0x800000u);  // the new manager replaced the old one
}

TEST_F(Loader, HugeBaseSizeIsRefusedNotFatal) {
    VMState* vm = loadWords(words({{op::SETHEAPSIZE, 0x7FFFFFFF}, {op::RETURN, 0}, {op::J, 0}}));
    EXPECT_EQ(vm->errorFlag, 1);
    // (0x7FFFFFFF + 0x800000) words, in bytes, unwrapped
    EXPECT_TRUE(logged("SCVMMemMgr::CVMMemMgr MALLOC RETURNED 0 for 8623489020 bytes!\n"));
    EXPECT_EQ(vm->memorySize, 0u);
}

TEST_F(Loader, RunawaySetupFailsInsteadOfHanging) {
    vmSetSetupBudget(20);
    VMState* vm = loadWords(words({{op::J, 0}}));
    vmSetSetupBudget(10000);
    EXPECT_EQ(vm->errorFlag, 1);
    EXPECT_TRUE(logged("SSetup code did not finish\n"));
    EXPECT_FALSE(vmIsStopped(vm));
}

TEST_F(Loader, UuidPushesTheMachineIdChecksum) {
    uint32_t expected = 0;
    for (const char* path : {"/etc/machine-id", "/var/lib/dbus/machine-id"}) {
        FILE* f = std::fopen(path, "rb");
        if (!f) continue;
        char text[256] = {};
        size_t n = std::fread(text, 1, 254, f);
        std::fclose(f);
        while (n > 0 && (text[n - 1] == '\n' || text[n - 1] == '\r'))
            --n;
        expected = crc(text, static_cast<int>(n), 0);
        break;
    }
    EXPECT_EQ(vmMachineId(), expected);
    VMState* vm =
        load(".word id\n.func \"V main()\" main\nmain:\nREF id\nUUID\nASSIGNPOP\nRETURN\n");
    EXPECT_TRUE(run(vm, "V main()"));
    EXPECT_EQ(vm->memory[1], expected);
}

TEST_F(Loader, FusionSkipsRunsThatHoldAJumpTarget) {
    // COPYVAR LITERALINTADD fuses unless the LITERALINTADD is a target.
    const int super = superinstructionFor({op::COPYVAR, op::LITERALINTADD});
    ASSERT_GT(super, 0);
    const char* plain =
        ".func \"V main()\" main\nmain:\nPUSH_MULTIPLE 1\nCOPYVAR 0\nLITERALINTADD 5\nRETURN\n";
    const char* targeted =
        ".func \"V main()\" main\nmain:\nPUSH_MULTIPLE 1\nCOPYVAR 0\nback:\nLITERALINTADD 5\n"
        "J next\nJ back\nnext:\nRETURN\n";
    int count = 0;
    VMState* a = load(plain);
    const uint32_t* code = vmCode(a, &count);
    EXPECT_EQ(code[2], static_cast<uint32_t>(super));
    EXPECT_EQ(code[4], static_cast<uint32_t>(op::NOP));
    EXPECT_EQ(code[5], 5u);  // operands stay in their slots
    VMState* b = load(targeted);
    code = vmCode(b, &count);
    EXPECT_EQ(code[2], static_cast<uint32_t>(op::COPYVAR));
    EXPECT_EQ(code[4], static_cast<uint32_t>(op::LITERALINTADD));
    for (VMState* vm : {a, b}) {
        EXPECT_TRUE(run(vm, "V main()"));
        EXPECT_EQ(vm->errorFlag, 0);
        EXPECT_EQ(*vm->stackPointer, 5u);
    }
}

TEST_F(Loader, ARunMayStartAtAJumpTarget) {
    // The loop head "REFVAR 0; LITERALINCREMENT 3" is the target of the
    // backward jump and fuses; jumping to it runs the whole run each turn.
    const int head = superinstructionFor({op::REFVAR, op::LITERALINCREMENT});
    ASSERT_GT(head, 0);
    const char* source =
        ".func \"V main()\" main\nmain:\nLITERAL 0\nLITERAL 7\nloop:\nREFVAR 0\n"
        "LITERALINCREMENT 3\nREFVAR 1\nLITERALINCREMENT -1\nCOPYVAR 1\nJNZ loop\nRETURN\n";
    VMState* fused = load(source);
    VMState* plain = load(source, false);
    int count = 0;
    const uint32_t* code = vmCode(fused, &count);
    EXPECT_EQ(code[4], static_cast<uint32_t>(head));
    EXPECT_EQ(code[6], static_cast<uint32_t>(op::NOP));
    for (VMState* vm : {fused, plain}) {
        EXPECT_TRUE(run(vm, "V main()"));
        EXPECT_EQ(vm->errorFlag, 0);
        EXPECT_EQ(vm->stackBase[1], 21u);  // seven turns of 3
        EXPECT_EQ(vm->stackBase[2], 0u);
    }
}

TEST_F(Loader, LongerPatternWinsAndRunsStopAtTheEnd) {
    // COPYVAR LITERAL INTLT wins over its prefix COPYVAR LITERAL.
    const int longer = superinstructionFor({op::COPYVAR, op::LITERAL, op::INTLT});
    const int shorter = superinstructionFor({op::COPYVAR, op::LITERAL});
    const int pair = superinstructionFor({op::COPYVAR, op::LITERALINTADD});
    ASSERT_GT(longer, 0);
    ASSERT_GT(shorter, 0);
    ASSERT_GT(pair, 0);
    VMState* vm = load(
        ".func \"V main()\" main\nmain:\nPUSH_MULTIPLE 1\nCOPYVAR 0\n"
        "LITERAL 3\nINTLT\nRETURN\n");
    int count = 0;
    const uint32_t* code = vmCode(vm, &count);
    EXPECT_EQ(code[2], static_cast<uint32_t>(longer));
    EXPECT_EQ(code[4], static_cast<uint32_t>(op::NOP));
    EXPECT_EQ(code[6], static_cast<uint32_t>(op::NOP));
    EXPECT_TRUE(run(vm, "V main()"));
    EXPECT_EQ(*vm->stackPointer, 1u);  // 0 < 3
    // A pattern is matched only within the code: words after the counted
    // ones never complete a run.
    uint32_t buffer[] = {op::COPYVAR, 0, op::LITERALINTADD, 1};
    EXPECT_EQ(fuseCode(buffer, 2), 0);
    EXPECT_EQ(buffer[0], static_cast<uint32_t>(op::COPYVAR));
    EXPECT_EQ(fuseCode(buffer, 4), 1);
    EXPECT_EQ(buffer[0], static_cast<uint32_t>(pair));
}

}  // namespace
