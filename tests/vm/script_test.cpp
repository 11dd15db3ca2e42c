// Script tests: every scripts/NAME.vsa is assembled and run exactly as vmrun
// runs an image, and its log lines plus "exit: CODE" must match NAME.expected.
//
// A line "; vmrun: OPTIONS" in the script gives vmrun's options (quotes group
// words). In expected lines "{n}" matches any integer, and a line starting
// with "{*}" matches any number (zero included) of consecutive lines that fit
// the rest of it.
#include <dirent.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <regex>
#include <sstream>

#include "vm/assembler.h"
#include "vm/runner.h"

namespace {

std::string readText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::stringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

std::vector<std::string> scriptNames() {
    std::vector<std::string> names;
    if (DIR* dir = opendir(VM_SCRIPT_DIR)) {
        while (dirent* entry = readdir(dir)) {
            std::string name = entry->d_name;
            if (name.size() > 4 && name.compare(name.size() - 4, 4, ".vsa") == 0)
                names.push_back(name.substr(0, name.size() - 4));
        }
        closedir(dir);
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::string> optionWords(const std::string& source) {
    std::vector<std::string> words;
    for (const std::string& line : splitLines(source)) {
        const std::string marker = "; vmrun:";
        if (line.compare(0, marker.size(), marker) != 0) continue;
        std::string word;
        bool quoted = false, any = false;
        for (char c : line.substr(marker.size())) {
            if (c == '"') {
                quoted = !quoted;
                any = true;
            } else if (c == ' ' && !quoted) {
                if (any) words.push_back(word);
                word.clear();
                any = false;
            } else {
                word += c;
                any = true;
            }
        }
        if (any) words.push_back(word);
    }
    return words;
}

std::regex linePattern(const std::string& expected) {
    std::string pattern;
    for (size_t i = 0; i < expected.size(); ++i) {
        if (expected.compare(i, 3, "{n}") == 0) {
            pattern += "-?[0-9]+";
            i += 2;
        } else if (std::string("\\^$.|?*+()[]{}").find(expected[i]) != std::string::npos) {
            pattern += std::string("\\") + expected[i];
        } else {
            pattern += expected[i];
        }
    }
    return std::regex(pattern);
}

// Matches actual lines against expected lines with the two wildcards.
bool matches(const std::vector<std::string>& expected, size_t e,
             const std::vector<std::string>& actual, size_t a) {
    if (e == expected.size()) return a == actual.size();
    if (expected[e].compare(0, 3, "{*}") == 0) {
        std::regex repeated = linePattern(expected[e].substr(3));
        for (size_t skip = a;; ++skip) {
            if (matches(expected, e + 1, actual, skip)) return true;
            if (skip == actual.size() || !std::regex_match(actual[skip], repeated)) return false;
        }
    }
    return a < actual.size() && std::regex_match(actual[a], linePattern(expected[e])) &&
           matches(expected, e + 1, actual, a + 1);
}

class Script : public ::testing::TestWithParam<std::string> {};

TEST_P(Script, OutputMatchesExpected) {
    std::string base = std::string(VM_SCRIPT_DIR) + "/" + GetParam();
    std::string source = readText(base + ".vsa");
    std::vector<std::string> actual;
    AsmResult image = vmAssemble(source, GetParam() + ".vsa");
    if (!image.ok) {
        for (const std::string& error : image.errors)
            actual.push_back("asm: " + error);
        actual.push_back("exit: 2");
    } else {
        RunOptions options;
        std::string error;
        ASSERT_TRUE(vmRunParseOptions(optionWords(source), options, error)) << error;
        ASSERT_TRUE(
            vmRunnerInstallLogging([&](const std::string& line) { actual.push_back(line); }));
        int code = vmRunImage(vmImageBytes(image.words), options);
        vmRunnerRemoveLogging();
        actual.push_back("exit: " + std::to_string(code));
    }
    std::vector<std::string> expected = splitLines(readText(base + ".expected"));
    std::string shown;
    for (const std::string& line : actual)
        shown += line + "\n";
    EXPECT_TRUE(matches(expected, 0, actual, 0)) << "actual output:\n" << shown;
}

INSTANTIATE_TEST_SUITE_P(Vm, Script, ::testing::ValuesIn(scriptNames()),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                             return info.param;
                         });

}  // namespace
