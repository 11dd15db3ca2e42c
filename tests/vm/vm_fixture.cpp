#include "tests/vm/vm_fixture.h"

#include <cstring>

#include "vm/assembler.h"

void VmTest::SetUp() {
    ASSERT_TRUE(vmSystemCreate([this](const char* text) { messages.push_back(text); }));
}

void VmTest::TearDown() {
    for (VMState* vm : vms)
        vmDestroy(vm);
    vmSystemDestroy();
}

std::vector<uint32_t> VmTest::assemble(const std::string& source) {
    AsmResult result = vmAssemble(source, "test.vsa");
    std::string errors;
    for (const std::string& e : result.errors)
        errors += e + "\n";
    EXPECT_TRUE(result.ok) << errors;
    return result.words;
}

VMState* VmTest::load(const std::string& source, bool fused) {
    return loadWords(assemble(source), fused);
}

VMState* VmTest::loadWords(const std::vector<uint32_t>& image, bool fused) {
    int n = static_cast<int>(image.size());
    VMState* vm = fused ? vmCreate(image.data(), n) : vmCreateUnfused(image.data(), n);
    vms.push_back(vm);
    return vm;
}

bool VmTest::run(VMState* vm, const char* name, uint32_t budgetMs) {
    return vmExecuteFunction(vm, name, nullptr, 0, budgetMs);
}

bool VmTest::logged(const std::string& fragment) const {
    return count(fragment) > 0;
}

size_t VmTest::count(const std::string& fragment) const {
    size_t n = 0;
    for (const std::string& m : messages)
        if (m.find(fragment) != std::string::npos) ++n;
    return n;
}

std::string VmTest::allMessages() const {
    std::string all;
    for (const std::string& m : messages)
        all += m;
    return all;
}

float VmTest::asFloat(uint32_t word) {
    float f;
    std::memcpy(&f, &word, 4);
    return f;
}

uint32_t VmTest::floatWord(float f) {
    uint32_t word;
    std::memcpy(&word, &f, 4);
    return word;
}

std::vector<uint32_t> words(std::initializer_list<std::pair<uint32_t, uint32_t>> instructions) {
    std::vector<uint32_t> out;
    for (const auto& [opcode, operand] : instructions) {
        out.push_back(opcode);
        out.push_back(operand);
    }
    return out;
}
