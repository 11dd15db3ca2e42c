#include <gtest/gtest.h>

#include <regex>
#include <thread>
#include <vector>

#include "app/log.h"
#include "tests/support/log_capture.h"
#include "tests/support/temp_dir.h"

namespace {

class LogFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        logSetDirectory(dir.path());
        logSetEnabled(true);
        logResetClock();
    }
    void TearDown() override {
        logSetEnabled(false);
        logSetObserver(nullptr);
    }
    std::string logText() const { return dir.read("log.txt"); }

    TempDir dir;
};

struct RecordingObserver : LogObserver {
    std::vector<std::string> shown, recorded;
    void showOnScreen(const char* text) override { shown.push_back(text); }
    void recordMessage(const std::string& entry) override { recorded.push_back(entry); }
};

TEST_F(LogFileTest, LinesCarryStampLabelAndText) {
    Log(LOG_INFO, "first %d\n", 1);
    Log(LOG_WARNING, "careful\n");
    Log(LOG_SERIOUS, "bad\n");
    Log(LOG_OSD, "!shown\n");
    Log(42, "odd level\n");
    std::string text = logText();
    // The first message of a run is stamped 0.
    EXPECT_EQ(text.substr(0, 20), "       0     : first");
    std::regex line(R"((^|\n) {0,7}\d{1,8} warn: careful\n)");
    EXPECT_TRUE(std::regex_search(text, line)) << text;
    EXPECT_NE(text.find("!!! : bad\n"), std::string::npos);
    EXPECT_NE(text.find("OSD : !shown\n"), std::string::npos);
    EXPECT_NE(text.find("     : odd level\n"), std::string::npos);
}

TEST_F(LogFileTest, MissingNewlineIsFlaggedButEmptyMessageIsNot) {
    Log(LOG_INFO, "no newline");
    Log(LOG_INFO, "%s", "");
    std::string text = logText();
    EXPECT_NE(text.find(": no newline\nERR  : LAST LOG STRING HAD NO NEWLINE AT THE END\n"),
              std::string::npos);
    // The empty message is a bare stamp and label with nothing after it.
    EXPECT_EQ(text.size(), text.find("END\n") + 4 + 8 + 7);
    EXPECT_EQ(text.find("NEWLINE AT THE END", text.find("END\n") + 1), std::string::npos);
}

TEST_F(LogFileTest, LevelZeroWritesNothing) {
    LogCapture capture;
    Log(LOG_SUPPRESSED, "hidden\n");
    EXPECT_EQ(logText(), "");
    EXPECT_TRUE(capture.lines().empty());
}

TEST_F(LogFileTest, DisabledLogLeavesFileAloneButKeepsOtherEffects) {
    logSetEnabled(false);
    RecordingObserver observer;
    logSetObserver(&observer);
    Log(LOG_OSD, "?red\n");
    EXPECT_THROW(Log(LOG_FATAL, "fatal\n"), VisException);
    EXPECT_EQ(logText(), "");
    ASSERT_EQ(observer.shown.size(), 1u);
    EXPECT_EQ(observer.shown[0], "?red\n");
}

TEST_F(LogFileTest, FatalWritesThenThrowsWithText) {
    try {
        Log(LOG_FATAL, "Unable to create OpenGL window\n");
        FAIL() << "level 3 returned";
    } catch (const VisException& e) {
        EXPECT_EQ(e.message, "Unable to create OpenGL window\n");
    }
    EXPECT_NE(logText().find("ERR : Unable to create OpenGL window\n"), std::string::npos);
}

TEST_F(LogFileTest, AssertionNamesFileAndLine) {
    EXPECT_THROW(VIS_ASSERT(1 + 1 == 3), VisException);
    EXPECT_NE(logText().find("ERR : ASSERT FAILED AT "), std::string::npos);
    EXPECT_NE(logText().find("log_test.cpp:"), std::string::npos);
}

TEST_F(LogFileTest, ObserverGetsOnScreenAndRecordedMessages) {
    RecordingObserver observer;
    logSetObserver(&observer);
    Log(LOG_INFO, "info\n");
    Log(LOG_WARNING, "w\n");
    Log(LOG_SERIOUS, "s\n");
    Log(LOG_OSD, "o\n");
    EXPECT_THROW(Log(LOG_FATAL, "f\n"), VisException);
    EXPECT_EQ(observer.shown, std::vector<std::string>{"o\n"});
    EXPECT_EQ(observer.recorded, (std::vector<std::string>{"warn:w\n", "!!! :s\n", "ERR :f\n"}));
}

TEST_F(LogFileTest, OtherThreadsLogToFileButNeverReachObserver) {
    RecordingObserver observer;
    logSetObserver(&observer);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([t] {
            for (int i = 0; i < 200; ++i)
                Log(LOG_WARNING, "thread %d line %d\n", t, i);
        });
    for (auto& thread : threads)
        thread.join();
    EXPECT_TRUE(observer.recorded.empty());
    // Lines never interleave: every line is whole.
    std::string text = logText();
    std::regex whole(R"( {0,7}\d{1,8} warn: thread \d line \d+)");
    size_t lines = 0, start = 0;
    for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1, ++lines)
        ASSERT_TRUE(std::regex_match(text.substr(start, end - start), whole))
            << text.substr(start, end - start);
    EXPECT_EQ(lines, 800u);
}

TEST_F(LogFileTest, OverlongMessageIsCutNotOverflowed) {
    std::string huge(100000, 'x');
    Log(LOG_INFO, "%s\n", huge.c_str());
    std::string text = logText();
    EXPECT_LT(text.size(), 33000u);
    EXPECT_GT(text.size(), 32000u);
}

TEST(LogPrefix, FirstCharacterChoosesLevelAndIsDropped) {
    LogCapture capture;
    logLevelFromPrefix("WHttp: connect failed\n");
    logLevelFromPrefix("Xsomething\n");
    logLevelFromPrefix("Sserious\n");
    logLevelFromPrefix(".quiet\n");
    logLevelFromPrefix("");
    logLevelFromPrefix(nullptr);
    ASSERT_EQ(capture.lines().size(), 3u);
    EXPECT_EQ(capture.lines()[0].level, LOG_WARNING);
    EXPECT_EQ(capture.lines()[0].text, "Http: connect failed\n");
    EXPECT_EQ(capture.lines()[1].level, LOG_INFO);
    EXPECT_EQ(capture.lines()[1].text, "something\n");
    EXPECT_EQ(capture.lines()[2].level, LOG_SERIOUS);
    EXPECT_THROW(logLevelFromPrefix("Efatal\n"), VisException);
}

TEST(LogPrefix, PercentSignsInTextAreNotFormatted) {
    LogCapture capture;
    logLevelFromPrefix("I100% %s %d\n");
    ASSERT_EQ(capture.lines().size(), 1u);
    EXPECT_EQ(capture.lines()[0].text, "100% %s %d\n");
}

}  // namespace
