#include <gtest/gtest.h>

#include "app/log.h"
#include "script/script.h"
#include "tests/support/log_capture.h"
#include "tests/support/temp_dir.h"
#include "vfs/fileSystem.h"

namespace {

class ScriptHostTest : public ::testing::Test {
protected:
    void SetUp() override { CVFileSystem::create(dir.path()); }
    void TearDown() override { CVFileSystem::destroy(); }

    TempDir dir;
    LogCapture capture;
    CScript script{nullptr};
};

TEST_F(ScriptHostTest, RunCodeReportsErrorsAsOneWarningEndingWithTheCode) {
    EXPECT_TRUE(script.runCode("var a = 1;"));
    EXPECT_FALSE(script.runCode("x = ;"));
    ASSERT_EQ(capture.lines().size(), 1u);
    const CapturedLine& line = capture.lines()[0];
    EXPECT_EQ(line.level, LOG_WARNING);
    EXPECT_EQ(line.text.rfind("JS Error: ", 0), 0u) << line.text;
    EXPECT_NE(line.text.find(" in x = ;\n"), std::string::npos) << line.text;
    // Earlier definitions survive the failed run.
    EXPECT_EQ(script.evalString("a"), "1");
    EXPECT_EQ(currentScript, &script);
}

TEST_F(ScriptHostTest, EvalStringGivesTextOrEmpty) {
    EXPECT_EQ(script.evalString("1+1"), "2");
    EXPECT_EQ(script.evalString(""), "undefined");
    EXPECT_TRUE(capture.lines().empty());
    EXPECT_EQ(script.evalString("nosuch("), "");
    EXPECT_EQ(capture.count("JS Error: "), 1u);
}

TEST_F(ScriptHostTest, HandlersAreOptionalAndKeyNamesAreNotEscaped) {
    EXPECT_TRUE(script.runCode("if (onFrame!=undefined) onFrame();"));
    EXPECT_TRUE(script.runCode("var keys = ''; function onKeyPress(k) { keys = keys + k; }"));
    EXPECT_TRUE(script.callHandler("if (onKeyPress!=undefined) onKeyPress", "a"));
    EXPECT_EQ(script.evalString("keys"), "a");
    EXPECT_TRUE(capture.lines().empty());
    // A double quote in the key name breaks the snippet: one warning, nothing else.
    EXPECT_FALSE(script.callHandler("if (onKeyPress!=undefined) onKeyPress", "\""));
    EXPECT_EQ(capture.count("JS Error: "), 1u);
    EXPECT_EQ(script.evalString("keys"), "a");
}

TEST_F(ScriptHostTest, ExecuteFileRunsFilesAndIgnoresMissingOnes) {
    dir.write("data/utils.js", "function twice(x) { return x * 2; }\n");
    CVFileSystem::get().addFile("data/utils.js");
    script.executeFile("data/utils.js");
    EXPECT_EQ(script.evalString("twice(21)"), "42");
    capture.clear();
    script.executeFile("data/missing.js");
    EXPECT_TRUE(capture.contains(LOG_INFO, "CScript::executeFile('data/missing.js')"));
    EXPECT_EQ(capture.count("JS Error"), 0u);
}

TEST_F(ScriptHostTest, BrokenScriptKeepsWhatWasDefinedBeforeIt) {
    dir.write("data/script.js", "function early() { return 5; }\nvar x = ;\nfunction late() {}\n");
    CVFileSystem::get().addFile("data/script.js");
    script.executeFile("data/script.js");
    EXPECT_EQ(capture.count("JS Error: "), 1u);
    // The warning quotes the whole file.
    EXPECT_TRUE(capture.contains("function late() {}"));
    EXPECT_EQ(script.evalString("early()"), "5");
}

TEST_F(ScriptHostTest, Globals) {
    script.setGlobalString("OS", "WINDOWS");
    script.setGlobalNumber("timePass", 0.25);
    EXPECT_EQ(script.evalString("OS + ':' + (timePass * 4 == 1)"), "WINDOWS:1");
    EXPECT_EQ(script.getGlobalString("OS", "none"), "WINDOWS");
    EXPECT_EQ(script.getGlobalString("DEVICE_UID", "none"), "none");
    script.runCode("var DEVICE_UID = 'abc-123';");
    EXPECT_EQ(script.getGlobalString("DEVICE_UID", "none"), "abc-123");
}

TEST(ScriptHostInstances, EachHostHasItsOwnGlobals) {
    CScript first(nullptr), second(nullptr);
    first.runCode("var shared = 1;");
    EXPECT_EQ(second.evalString("shared"), "undefined");
    EXPECT_EQ(first.evalString("shared"), "1");
}

}  // namespace
