// Program tests: every programs/NAME.vsl is compiled and its "V main()" run
// exactly as vmrun runs an image. The texts of the log lines it prints (the
// VM's base size line aside) must equal the file's "// expect: " lines in order, and
// the exit code its "// exit: " line (0 when absent). An expected line that
// ends in " ..." matches any line that starts with the text before it. Each
// program runs both fused and unfused, so fusion can never change a result.
#include <dirent.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>

#include "vm/runner.h"
#include "vm/vm.h"
#include "vsc/compiler.h"

namespace {

std::string readText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<std::string> programNames() {
    std::vector<std::string> names;
    if (DIR* dir = opendir(VSC_PROGRAM_DIR)) {
        while (dirent* entry = readdir(dir)) {
            std::string name = entry->d_name;
            if (name.size() > 4 && name.compare(name.size() - 4, 4, ".vsl") == 0)
                names.push_back(name.substr(0, name.size() - 4));
        }
        closedir(dir);
    }
    std::sort(names.begin(), names.end());
    return names;
}

struct Expectation {
    std::vector<std::string> lines;
    int exitCode = 0;
};

Expectation expectations(const std::string& source) {
    Expectation e;
    std::stringstream in(source);
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("// expect: ", 0) == 0) e.lines.push_back(line.substr(11));
        if (line.rfind("// exit: ", 0) == 0) e.exitCode = std::stoi(line.substr(9));
    }
    return e;
}

bool matches(const std::string& expected, const std::string& actual) {
    const std::string any = " ...";
    if (expected.size() > any.size() &&
        expected.compare(expected.size() - any.size(), any.size(), any) == 0)
        return actual.rfind(expected.substr(0, expected.size() - any.size()), 0) == 0;
    return expected == actual;
}

class ProgramTest : public ::testing::TestWithParam<std::string> {};

std::vector<std::string> run(const std::vector<uint32_t>& words, bool fused, int& exitCode) {
    std::vector<std::string> lines;
    EXPECT_TRUE(vmRunnerInstallLogging([&lines](const std::string& line) {
        // Lines read "LABL: text"; the label only repeats the level.
        std::string text = line.size() > 6 ? line.substr(6) : line;
        if (text.rfind("CVMExec: VM Base Size", 0) != 0) lines.push_back(text);
    }));
    VMState* vm = fused ? vmCreate(words.data(), static_cast<int>(words.size()))
                        : vmCreateUnfused(words.data(), static_cast<int>(words.size()));
    exitCode = 2;
    if (vm && !vm->errorFlag) {
        vmExecuteFunction(vm, "V main()", nullptr, 0, 0);
        exitCode = vm->errorFlag ? 1 : 0;
    }
    if (vm) vmDestroy(vm);
    vmRunnerRemoveLogging();
    return lines;
}

TEST_P(ProgramTest, PrintsWhatItExpects) {
    std::string path = std::string(VSC_PROGRAM_DIR) + "/" + GetParam() + ".vsl";
    std::string source = readText(path);
    VscResult result = vscCompile({{GetParam() + ".vsl", source}});
    ASSERT_TRUE(result.ok) << result.error;
    Expectation expected = expectations(source);
    ASSERT_FALSE(expected.lines.empty()) << "no expectations in " << path;
    for (bool fused : {true, false}) {
        int exitCode = -1;
        std::vector<std::string> lines = run(result.words, fused, exitCode);
        std::string all;
        for (const std::string& l : lines)
            all += l + "\n";
        EXPECT_EQ(expected.exitCode, exitCode) << all;
        ASSERT_EQ(expected.lines.size(), lines.size()) << (fused ? "fused\n" : "unfused\n") << all;
        for (size_t i = 0; i < lines.size(); ++i)
            EXPECT_TRUE(matches(expected.lines[i], lines[i]))
                << "expected: " << expected.lines[i] << "\nactual:   " << lines[i];
    }
}

INSTANTIATE_TEST_SUITE_P(Programs, ProgramTest, ::testing::ValuesIn(programNames()),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                             return info.param;
                         });

}  // namespace
