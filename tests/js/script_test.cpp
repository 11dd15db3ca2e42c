// Script tests: every scripts/NAME.js runs through the same code as jsrun and
// must print exactly scripts/NAME.expected (what it writes to standard output
// followed by what it writes to standard error). Files named NAME.math.js run
// with the math library.
#include <dirent.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tools/jsrun/jsRunner.h"

namespace {

std::vector<std::string> scriptNames() {
    std::vector<std::string> names;
    if (DIR* dir = opendir(JS_SCRIPT_DIR)) {
        while (dirent* entry = readdir(dir)) {
            std::string name = entry->d_name;
            if (name.size() > 3 && name.compare(name.size() - 3, 3, ".js") == 0) {
                names.push_back(name.substr(0, name.size() - 3));
            }
        }
        closedir(dir);
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string readText(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

bool endsWith(const std::string& text, const std::string& suffix) {
    return text.size() >= suffix.size() &&
           text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

class ScriptTest : public ::testing::TestWithParam<std::string> {};

TEST_P(ScriptTest, PrintsWhatIsExpected) {
    const std::string base = std::string(JS_SCRIPT_DIR) + "/" + GetParam();
    std::ifstream expectedFile(base + ".expected", std::ios::binary);
    ASSERT_TRUE(expectedFile.good()) << "missing " << base << ".expected";
    std::string expected = readText(base + ".expected");

    std::vector<std::string> args;
    if (endsWith(GetParam(), ".math")) args.push_back("--math");
    args.push_back(base + ".js");
    std::string out;
    std::string err;
    int code = jsRun(
        args, [&](const std::string& text) { out += text; },
        [&](const std::string& text) { err += text; });

    EXPECT_EQ(expected, out + err);
    // A script fails exactly when it reports a script error.
    EXPECT_EQ(err.find("JS Error: ") == 0 ? 1 : 0, code) << err;
}

INSTANTIATE_TEST_SUITE_P(Scripts, ScriptTest, ::testing::ValuesIn(scriptNames()),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                             std::string name = info.param;
                             std::replace(name.begin(), name.end(), '.', '_');
                             return name;
                         });

TEST(ScriptTest, FindsTheScripts) {
    EXPECT_GT(scriptNames().size(), 20u);
}

}  // namespace
