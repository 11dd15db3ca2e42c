// The jsrun command line, through the function its main() calls.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/temp_dir.h"
#include "tools/jsrun/jsRunner.h"

namespace {

struct RunResult {
    int code;
    std::string out;
    std::string err;
};

RunResult run(const std::vector<std::string>& args) {
    RunResult result{0, "", ""};
    result.code = jsRun(
        args, [&](const std::string& text) { result.out += text; },
        [&](const std::string& text) { result.err += text; });
    return result;
}

TEST(JsRunTest, FilesShareOneEngine) {
    TempDir dir;
    dir.write("a.js", "function greet(who) { return \"hi \" + who; }");
    dir.write("b.js", "print(greet(\"there\"));");
    RunResult result = run({dir.path() + "/a.js", dir.path() + "/b.js"});
    EXPECT_EQ(0, result.code);
    EXPECT_EQ("hi there\n", result.out);
    EXPECT_EQ("", result.err);
}

TEST(JsRunTest, AFailingFileStopsTheRun) {
    TempDir dir;
    dir.write("bad.js", "print(\"first\");\nx = ;");
    dir.write("later.js", "print(\"never\");");
    RunResult result = run({dir.path() + "/bad.js", dir.path() + "/later.js"});
    EXPECT_EQ(1, result.code);
    EXPECT_EQ("first\n", result.out);
    EXPECT_EQ("JS Error: Error Got ';' expected EOF at (line: 2, col: 4) at (line: 2, col: 2)\n",
              result.err);
}

TEST(JsRunTest, ExpressionsPrintTheirValue) {
    RunResult sum = run({"-e", "1 + 2"});
    EXPECT_EQ(0, sum.code);
    EXPECT_EQ("3\n", sum.out);
    EXPECT_EQ("2.500000\n", run({"-e", "5.0 / 2"}).out);
    EXPECT_EQ("undefined\n", run({"-e", ""}).out);
    EXPECT_EQ("1.000000\n", run({"--math", "-e", "Math.abs(-1.0)"}).out);
    RunResult missingMath = run({"-e", "Math.abs(-1)"});
    EXPECT_EQ(1, missingMath.code);
    EXPECT_EQ(0u, missingMath.err.find("JS Error: Error Expecting 'abs' to be a function"));
}

TEST(JsRunTest, BadCommandLinesAndMissingFiles) {
    EXPECT_EQ(1, run({}).code);
    EXPECT_EQ(1, run({"--bogus", "x.js"}).code);
    EXPECT_EQ(1, run({"-e", "1", "file.js"}).code);
    RunResult usage = run({"-e"});
    EXPECT_EQ(1, usage.code);
    EXPECT_EQ(0u, usage.err.find("usage: jsrun"));
    RunResult missing = run({"/nonexistent/dir/script.js"});
    EXPECT_EQ(1, missing.code);
    EXPECT_EQ("jsrun: cannot read /nonexistent/dir/script.js\n", missing.err);
    RunResult help = run({"--help"});
    EXPECT_EQ(0, help.code);
    EXPECT_EQ(0u, help.out.find("usage: jsrun"));
}

}  // namespace
