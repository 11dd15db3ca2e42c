// The images vsc writes: -S text that vsasm assembles to the same bytes,
// entry points under their exact signature texts with arguments in order,
// function entries safe from fusion, natives bound only when called, a
// header that covers the whole native table, and constants folded.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <set>
#include <sstream>

#include "tests/support/temp_dir.h"
#include "vm/native.h"
#include "vm/opcodes.h"
#include "vm/runner.h"
#include "vm/vm.h"
#include "vsc/compiler.h"

namespace {

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

const char* const kScene = R"(
int inits;
int steps;
int key;
int mouse[3];
float touch[3];
float total;
void init() { inits++; }
void step() { steps += 2; }
void render() {}
void kill() { inits--; }
void keyEvent(int c) { key = c; }
void mouseEvent(int x, int y, int buttons) { mouse[0] = x; mouse[1] = y; mouse[2] = buttons; }
void touchEvent(int id, float a, float b, float c, float d, float e, float f, float g, float h) {
    touch[0] = float(id);
    touch[1] = a - h;
    touch[2] = b * 10.0 + g;
}
export float weigh(int a, vec3 v, float* p) { total = float(a) + v.z + *p; return total; }
int helper() { return 1; }
)";

class VscImage : public ::testing::Test {
protected:
    void SetUp() override {
        vmSystemCreate([](const char*) {});
    }
    void TearDown() override { vmSystemDestroy(); }

    VMState* load(const VscResult& result) {
        EXPECT_TRUE(result.ok) << result.error;
        VMState* vm = vmCreate(result.words.data(), static_cast<int>(result.words.size()));
        EXPECT_TRUE(vm && !vm->errorFlag);
        return vm;
    }
    static uint32_t word(VMState* vm, const VscResult& r, const std::string& name, int i = 0) {
        return vm->memory[r.globals.at(name).address + static_cast<uint32_t>(i)];
    }
    static float real(VMState* vm, const VscResult& r, const std::string& name, int i = 0) {
        uint32_t w = word(vm, r, name, i);
        float f;
        std::memcpy(&f, &w, 4);
        return f;
    }
};

TEST_F(VscImage, EntryPointsTakeTheirExactSignaturesAndArgumentsInOrder) {
    VscResult r = vscCompile({{"scene.vsl", kScene}});
    VMState* vm = load(r);
    ASSERT_TRUE(vm);
    std::vector<std::string> expected = {
        "F weigh(I,Vector3,*F)", "V init()",   "V keyEvent(I)", "V kill()",
        "V mouseEvent(I,I,I)",   "V render()", "V step()",      "V touchEvent(I,F,F,F,F,F,F,F,F)"};
    EXPECT_EQ(expected, vmFunctionNames(vm));
    EXPECT_TRUE(vmExecuteFunction(vm, "V init()", nullptr, 0, 0));
    EXPECT_TRUE(vmExecuteFunction(vm, "V step()", nullptr, 0, 0));
    EXPECT_TRUE(vmExecuteFunction(vm, "V step()", nullptr, 0, 0));
    EXPECT_TRUE(vma_executeArgs(vm, "V keyEvent(I)", 'q'));
    EXPECT_TRUE(vma_executeArgs(vm, "V mouseEvent(I,I,I)", 640, -35, 5));
    EXPECT_TRUE(vma_executeArgs(vm, "V touchEvent(I,F,F,F,F,F,F,F,F)", 9, 1.5, 2.0, 0.0, 0.0, 0.0,
                                0.0, 0.25, 0.5));
    EXPECT_FALSE(vm->errorFlag);
    EXPECT_EQ(1u, word(vm, r, "inits"));
    EXPECT_EQ(4u, word(vm, r, "steps"));
    EXPECT_EQ(static_cast<uint32_t>('q'), word(vm, r, "key"));
    EXPECT_EQ(640u, word(vm, r, "mouse", 0));
    EXPECT_EQ(static_cast<uint32_t>(-35), word(vm, r, "mouse", 1));
    EXPECT_EQ(5u, word(vm, r, "mouse", 2));
    EXPECT_FLOAT_EQ(9.0f, real(vm, r, "touch", 0));
    EXPECT_FLOAT_EQ(1.0f, real(vm, r, "touch", 1));
    EXPECT_FLOAT_EQ(20.25f, real(vm, r, "touch", 2));

    // weigh(7, (1, 2, 3.5), &touch[2]): the pointer argument reads memory.
    uint32_t args[5] = {7, 0x3F800000, 0x40000000, 0x40600000, r.globals.at("touch").address + 2};
    EXPECT_TRUE(vmExecuteFunction(vm, "F weigh(I,Vector3,*F)", args, 5, 0));
    EXPECT_FLOAT_EQ(7.0f + 3.5f + 20.25f, real(vm, r, "total"));
    vmDestroy(vm);
}

TEST_F(VscImage, CompilingAgainGivesTheSameImage) {
    // The standard header's tree is parsed once and reused.
    VscResult first = vscCompile({{"scene.vsl", kScene}});
    VscResult broken = vscCompile({{"broken.vsl", "int x = ;"}});
    VscResult second = vscCompile({{"scene.vsl", kScene}});
    ASSERT_TRUE(first.ok && second.ok) << first.error << second.error;
    EXPECT_FALSE(broken.ok);
    EXPECT_EQ(first.words, second.words);
    EXPECT_EQ(first.assembly, second.assembly);
}

TEST_F(VscImage, FunctionEntriesFollowOnlyControlTransfers) {
    VscResult r = vscCompile({{"scene.vsl", kScene}});
    VMState* vm = load(r);
    ASSERT_TRUE(vm);
    for (const std::string& name : vmFunctionNames(vm)) {
        int at = vmFunctionPosition(vm, name.c_str());
        if (at == 0) continue;
        uint8_t before = r.words[static_cast<size_t>(at - 2)] & 0xFF;
        EXPECT_TRUE(before == op::RETURN || before == op::POP_MULTIPLE_RETURN || before == op::J)
            << name << " follows " << opcodeName(before);
    }
    vmDestroy(vm);
}

TEST_F(VscImage, LoopsComeOutInFusableOrder) {
    VscResult r = vscCompile({{"loop.vsl", R"(
float data[64];
void main() {
    float sum = 0.0;
    for (int i = 0; i < 64; i++) sum += data[i] * 2.0;
    data[0] = sum;
})"}});
    VMState* vm = load(r);
    ASSERT_TRUE(vm);
    int count = 0;
    const uint32_t* code = vmCode(vm, &count);
    int fused = 0;
    for (int i = 0; i < count; i += 2)
        if (opcodeInfo(code[i]).super) ++fused;
    EXPECT_GT(fused, 2);
    vmDestroy(vm);
}

TEST_F(VscImage, OnlyCalledNativesAreBoundAndTheHeaderListsEveryNative) {
    VscResult r = vscCompile({{"one.vsl", "void main() { float x = sin(0.5) + sin(1.5); }"}});
    ASSERT_TRUE(r.ok) << r.error;
    int finds = 0;
    for (size_t i = 0; i < r.words.size(); i += 2)
        if ((r.words[i] & 0xFF) == op::FINDNATIVE) ++finds;
    EXPECT_EQ(1, finds);
    const std::string& header = vscStandardHeader();
    EXPECT_NE(std::string::npos, readFile(VSC_GUIDE).find(header)) << "the guide lists the header";
    ASSERT_GT(vmNativeCount(), 60);
    for (int i = 0; i < vmNativeCount(); ++i) {
        std::string quoted = std::string("\"") + vmNativeSignature(i) + "\"";
        EXPECT_NE(std::string::npos, header.find(quoted)) << quoted;
    }
}

TEST_F(VscImage, ConstantsAreFoldedWithTheVmRules) {
    VscResult r = vscCompile({{"fold.vsl", R"(
const int K = 6;
int a;
float b;
void main() {
    a = (K * 7 + 5) / 0 - (-2147483647 - 1) / -1;
    b = 1.0 / 0.0 * 0.5 + float(K);
})"}});
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(std::string::npos, r.assembly.find("INTMUL"));
    EXPECT_EQ(std::string::npos, r.assembly.find("INTDIV"));
    EXPECT_EQ(std::string::npos, r.assembly.find("FLOATDIV"));
    VMState* vm = load(r);
    ASSERT_TRUE(vm);
    EXPECT_TRUE(vmExecuteFunction(vm, "V main()", nullptr, 0, 0));
    EXPECT_EQ(47u + 2147483648u, word(vm, r, "a"));
    EXPECT_FLOAT_EQ(std::ldexp(1.0f, 125) + 6.0f, real(vm, r, "b"));
    vmDestroy(vm);
}

// Runs the installed tools as a user would.
int shell(const std::string& command) {
    return std::system((command + " 2>/dev/null").c_str());
}

TEST(VscTool, AssemblerTextBuildsTheSameImage) {
    TempDir dir;
    std::vector<std::string> sources = {"arithmetic", "records", "vectors", "heap"};
    for (const std::string& name : sources) {
        std::string source = std::string(VSC_PROGRAM_DIR) + "/" + name + ".vsl";
        std::string image = dir.path() + name + ".vsi";
        std::string text = dir.path() + name + ".vsa";
        std::string again = dir.path() + name + ".2.vsi";
        ASSERT_EQ(0, shell(std::string(VSC_TOOL) + " " + source + " -o " + image));
        ASSERT_EQ(0, shell(std::string(VSC_TOOL) + " -S " + source + " -o " + text));
        ASSERT_EQ(0, shell(std::string(VSASM_TOOL) + " " + text + " -o " + again));
        std::string bytes = readFile(image);
        EXPECT_GT(bytes.size(), 64u);
        EXPECT_EQ(bytes, readFile(again)) << name;
        EXPECT_NE(std::string::npos, readFile(text).find(".func \"V main()\""));
    }
}

TEST(VscTool, BrokenSourceWritesNothingAndFails) {
    TempDir dir;
    std::string source = dir.path() + "/broken.vsl";
    std::ofstream(source) << "void main() {\n  int x = 1.5;\n}\n";
    std::string image = dir.path() + "/broken.vsi";
    std::string errors = dir.path() + "/errors.txt";
    int status = std::system(
        (std::string(VSC_TOOL) + " " + source + " -o " + image + " 2>" + errors).c_str());
    EXPECT_EQ(1, WEXITSTATUS(status));
    EXPECT_FALSE(std::ifstream(image).good());
    EXPECT_EQ(source + ":2:11: cannot convert float to int\n", readFile(errors));
}

}  // namespace
