// The native table and the natives that need no other service.
#include <algorithm>
#include <cmath>

#include "app/random.h"
#include "tests/vm/vm_fixture.h"

namespace {

using Natives = VmTest;

TEST_F(Natives, TableHasEverySignatureInOrder) {
    EXPECT_EQ(vmNativeCount(), 70);
    EXPECT_STREQ(vmNativeSignature(0), "V assert(I)");
    EXPECT_STREQ(vmNativeSignature(19), "F sin(F)");
    EXPECT_STREQ(vmNativeSignature(46), "V sumViewport(*F)");
    EXPECT_STREQ(vmNativeSignature(47), "V sumViewport(*F,I,I)");
    EXPECT_STREQ(vmNativeSignature(63), "V mbBall(*MetaBallVolume,*Vector3,F,I)");
    EXPECT_STREQ(vmNativeSignature(69), "F cubicInterpFloat(F,F,F,F,F)");
    EXPECT_EQ(vmFindNative("V sumViewport(*F)"), 46);
    EXPECT_EQ(vmFindNative("V sumViewport(*F,I,I)"), 47);
    EXPECT_EQ(vmFindNative("V print(*I, F)"), -1);
    EXPECT_EQ(vmFindNative("V print(*I,F) "), -1);
}

// Calls native `signature` with the given argument words from a fresh VM
// and returns the VM (its stack holds what the native left).
class NativeCall : public VmTest {
protected:
    VMState* call(const std::string& signature, std::vector<uint32_t> args) {
        VMState* vm = load(".heap 64\n.native f \"" + signature +
                           "\"\n.func \"V call()\" call\ncall:\nNATIVE f\nRETURN\n");
        EXPECT_EQ(vm->errorFlag, 0) << allMessages();
        vmExecuteFunction(vm, "V call()", args.data(), static_cast<int>(args.size()), 0);
        depth = vm->stackPointer - vm->stackBase;
        return vm;
    }
    float floatResult(const std::string& signature, std::vector<float> args) {
        std::vector<uint32_t> words;
        for (float a : args)
            words.push_back(floatWord(a));
        VMState* vm = call(signature, words);
        return asFloat(*vm->stackPointer);
    }
    ptrdiff_t depth = 0;
};

TEST_F(NativeCall, ResultReplacesTheArguments) {
    VMState* vm = call("I randint(I,I)", {5, 5});
    EXPECT_EQ(vm->errorFlag, 0);
    EXPECT_EQ(depth, 1);  // two arguments in, one word out
    EXPECT_EQ(*vm->stackPointer, 5u);
    call("V assert(I)", {1});
    EXPECT_EQ(depth, 0);
}

TEST_F(NativeCall, Mathematics) {
    EXPECT_FLOAT_EQ(floatResult("F sin(F)", {1.0f}), static_cast<float>(std::sin(1.0)));
    EXPECT_FLOAT_EQ(floatResult("F cos(F)", {1.0f}), static_cast<float>(std::cos(1.0)));
    EXPECT_FLOAT_EQ(floatResult("F tan(F)", {0.5f}), static_cast<float>(std::tan(0.5)));
    EXPECT_FLOAT_EQ(floatResult("F atan(F)", {-2.0f}), static_cast<float>(std::atan(-2.0)));
    // Parameters (y, x): the second quadrant needs the order right.
    EXPECT_FLOAT_EQ(floatResult("F atan2(F,F)", {1.0f, -1.0f}),
                    static_cast<float>(std::atan2(1.0, -1.0)));
    EXPECT_FLOAT_EQ(floatResult("F pow(F,F)", {2.0f, 10.0f}), 1024.0f);
}

TEST_F(NativeCall, CubicInterpolationFollowsItsFormula) {
    // For (0, 1, 2, 3) the formula gives 2t^3 - 3t^2 + 2t + 1.
    for (float t : {0.0f, 0.25f, 0.5f, 1.0f, 2.0f}) {
        float expected = 2 * t * t * t - 3 * t * t + 2 * t + 1;
        EXPECT_FLOAT_EQ(floatResult("F cubicInterpFloat(F,F,F,F,F)", {0, 1, 2, 3, t}), expected)
            << t;
    }
    EXPECT_FLOAT_EQ(floatResult("F cubicInterpFloat(F,F,F,F,F)", {4, 7, -1, 2, 0}), 7.0f);
}

TEST_F(NativeCall, RandomDrawsUseTheSharedGenerator) {
    visSeedRandom(42);
    int first = visRand();
    visSeedRandom(42);
    EXPECT_FLOAT_EQ(floatResult("F rand()", {}), first * (1.0f / 32767.0f));
    visSeedRandom(7);
    int draw = visRand();
    visSeedRandom(7);
    VMState* vm = call("I randint(I,I)", {static_cast<uint32_t>(-3), 4});
    EXPECT_EQ(static_cast<int32_t>(*vm->stackPointer), -3 + draw % 8);
    vm = call("I randint(I,I)", {10, 2});  // an empty range gives its low end
    EXPECT_EQ(*vm->stackPointer, 10u);
}

TEST_F(NativeCall, AssertZeroFailsTheRunWithTheOp) {
    VMState* vm = call("V assert(I)", {0});
    EXPECT_EQ(vm->errorFlag, 1);
    EXPECT_TRUE(logged("SVM ASSERTION FAILED at op 0\n"));
    EXPECT_TRUE(logged("SCall to V assert(I) caused an error at 0\n"));
}

TEST_F(NativeCall, LaterNativesReportTheyAreMissing) {
    VMState* vm = call("F visGetFloat(I)", {100});
    EXPECT_EQ(vm->errorFlag, 1);
    EXPECT_TRUE(logged("Snative F visGetFloat(I) is not available\n"));
}

void fortyTwo(VMState* s) {
    vmPop(s);
    vmPush(s, 42);
}

TEST_F(NativeCall, HandlersCanBeReplacedBySignature) {
    EXPECT_FALSE(vmSetNativeHandler("I nonsense()", fortyTwo));
    ASSERT_TRUE(vmSetNativeHandler("I glGetInt(I)", fortyTwo));
    VMState* vm = call("I glGetInt(I)", {3});
    EXPECT_EQ(vm->errorFlag, 0);
    EXPECT_EQ(*vm->stackPointer, 42u);
    EXPECT_EQ(vmFindNative("I glGetInt(I)"), 57);  // index unchanged
    ASSERT_TRUE(vmSetNativeHandler("I glGetInt(I)", vmNativeUnavailable));
    // By index: entry 51 is "I visGetInt(I)".
    EXPECT_FALSE(vmSetNativeHandlerAt(70, fortyTwo));
    ASSERT_TRUE(vmSetNativeHandlerAt(51, fortyTwo));
    vm = call("I visGetInt(I)", {200});
    EXPECT_EQ(*vm->stackPointer, 42u);
    ASSERT_TRUE(vmSetNativeHandlerAt(51, vmNativeUnavailable));
}

TEST_F(Natives, QSortOrdersIndicesByDescendingKey) {
    VMState* vm = load(R"VSA(
.native sort "V qSort(*I,*F,I)"
.word idx[8]
.float keys 0.5 3.0 1.0
.float many 5 1 4 1 5 9 2 6
.word idx2[8]
.func "V main()" main
main:
    REF idx
    REF keys
    LITERAL 3
    NATIVE sort
    REF idx2
    REF many
    LITERAL 8
    NATIVE sort
    RETURN
)VSA");
    EXPECT_TRUE(run(vm, "V main()"));
    ASSERT_EQ(vm->errorFlag, 0) << allMessages();
    // Statics from address 1: sort, idx (2..9), keys, many, idx2 (21..28).
    EXPECT_EQ(vm->memory[2], 1u);
    EXPECT_EQ(vm->memory[3], 2u);
    EXPECT_EQ(vm->memory[4], 0u);
    const float keys[] = {5, 1, 4, 1, 5, 9, 2, 6};
    uint32_t* idx2 = vm->memory + 21;
    std::vector<bool> seen(8, false);
    for (int i = 0; i < 8; ++i) {
        ASSERT_LT(idx2[i], 8u);
        seen[idx2[i]] = true;
        if (i > 0) {
            EXPECT_GE(keys[idx2[i - 1]], keys[idx2[i]]) << i;
        }
    }
    EXPECT_EQ(std::count(seen.begin(), seen.end(), true), 8);
}

TEST_F(Natives, QSortHandlesLargeInputsAndCapsQuadraticWork) {
    VMState* vm = load(R"VSA(
.heap 70000
.native qsort "V qSort(*I,*F,I)"
.word idx[30000]
.word keys[30000]
.func "V sort(I)" sort
sort:
    REF idx
    REF keys
    COPYVAR -1
    NATIVE qsort
    RETURN
)VSA");
    const uint32_t idx = 2, keys = 30002;
    uint32_t seed = 12345;
    for (uint32_t i = 0; i < 30000; ++i) {
        seed = seed * 1103515245u + 12345u;
        vm->memory[keys + i] = floatWord(static_cast<float>(seed >> 8));
    }
    uint32_t count = 30000;
    EXPECT_TRUE(vmExecuteFunction(vm, "V sort(I)", &count, 1, 0));
    ASSERT_EQ(vm->errorFlag, 0) << allMessages();
    for (uint32_t i = 1; i < count; ++i)
        ASSERT_GE(asFloat(vm->memory[keys + vm->memory[idx + i - 1]]),
                  asFloat(vm->memory[keys + vm->memory[idx + i]]))
            << i;
    // Keys already in descending order make the scheme quadratic: 30,000 of
    // them exceed the work it may do inside one native call.
    for (uint32_t i = 0; i < 30000; ++i)
        vm->memory[keys + i] = floatWord(30000.0f - i);
    EXPECT_TRUE(vmExecuteFunction(vm, "V sort(I)", &count, 1, 0));
    EXPECT_EQ(vm->errorFlag, 1);
    EXPECT_TRUE(logged("SqSort of 30000 keys needs too much work\n"));
}

TEST_F(Natives, QSortRefusesAreasOutsideMemory) {
    VMState* vm = load(
        ".native sort \"V qSort(*I,*F,I)\"\n.func \"V main()\" main\nmain:\n"
        "LITERAL 0x7FFFFFF0\nLITERAL 1\nLITERAL 100\nNATIVE sort\nRETURN\n");
    EXPECT_TRUE(run(vm, "V main()"));
    EXPECT_EQ(vm->errorFlag, 1);
    EXPECT_TRUE(logged("Svcheck failed\n"));
}

TEST_F(Natives, MallocAndFreeThroughTheHeap) {
    VMState* vm = load(R"VSA(
.native alloc "*V malloc(I)"
.native release "V free(*V)"
.word p
.func "V main()" main
main:
    REF p
    LITERAL 10
    NATIVE alloc
    ASSIGNPOP
    REF p
    DEREF
    NATIVE release
    LITERAL 77
    NATIVE release
    RETURN
)VSA");
    EXPECT_TRUE(run(vm, "V main()"));
    EXPECT_EQ(vm->memory[3], 1024u + 2097154u + 1u);
    EXPECT_EQ(vm->errorFlag, 1);
    EXPECT_TRUE(logged("SCVMMemMgr::vfree area passed to free is not recognized\n"));
    EXPECT_TRUE(logged("Svfree failed\n"));
    EXPECT_TRUE(logged("SCall to V free(*V) caused an error at 16\n"));
}

TEST_F(Natives, StringsAreReadAndWrittenOneCharacterPerWord) {
    VMState* vm = load(".heap 64\n.string s \"abc\"\n");
    EXPECT_EQ(vmReadString(vm, 1), "abc");
    EXPECT_EQ(vmReadString(vm, 2), "bc");
    vm->memory[10] = 0xAAAA;
    EXPECT_TRUE(vmWriteString(vm, 10, 4, "sixsix"));
    EXPECT_EQ(vm->memory[10], static_cast<uint32_t>('s'));
    EXPECT_EQ(vm->memory[12], static_cast<uint32_t>('x'));
    EXPECT_EQ(vm->memory[13], 0u);
    EXPECT_EQ(vmReadString(vm, 10), "six");
    EXPECT_TRUE(vmWriteString(vm, 20, 5, ""));
    EXPECT_EQ(vm->memory[20], 0u);
    EXPECT_TRUE(vmWriteString(vm, 30, 4, "\xE9"));
    EXPECT_EQ(vm->memory[30], 0xFFFFFFE9u);  // sign-extended
    EXPECT_FALSE(vmWriteString(vm, vm->memorySize - 2, 4, "abc"));
    EXPECT_EQ(vm->errorFlag, 1);
    // Reading stops at the end of memory instead of running past it.
    vm->memory[vm->memorySize - 1] = 'z';
    EXPECT_EQ(vmReadString(vm, vm->memorySize - 1), "z");
}

}  // namespace
