// The configuration dialog's logic on temporary base directories: what the
// controls show for the files found there and what OK writes back.
#include "app/configDialog.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "app/log.h"
#include "js/engine.h"
#include "script/script.h"
#include "script/settings.h"
#include "tests/support/log_capture.h"
#include "tests/support/temp_dir.h"

namespace {

constexpr int kHeat = 0;
constexpr int kPop = 1;
constexpr int kJazzy = 2;
constexpr int kChilled = 3;
constexpr int kRomance = 4;
constexpr int kBlackWhite = 5;

using Themes = std::array<bool, kConfigThemeCount>;

class ConfigDialogTest : public ::testing::Test {
protected:
    bool exists(const std::string& name) { return access((dir.path() + name).c_str(), F_OK) == 0; }
    // Runs a file the dialog wrote in an engine of its own; the value of
    // `expression` afterwards.
    std::string evalAfter(const std::string& name, const std::string& expression) {
        CScript script(nullptr);
        EXPECT_TRUE(script.runCode(dir.read(name))) << capture.all();
        return script.evalString(expression);
    }
    bool warned() const { return capture.contains(LOG_WARNING, ""); }

    TempDir dir;
    LogCapture capture;
    CConfigDialog dialog{dir.path()};
};

TEST_F(ConfigDialogTest, WithoutFilesNothingIsCheckedAndOkWritesTheThreeSettings) {
    dialog.open();
    EXPECT_EQ(dialog.choices().themes, Themes{});
    EXPECT_EQ(dialog.choices().sceneChangeSpeed, 15);
    EXPECT_EQ(dialog.choices().movementSpeed, 120);
    EXPECT_EQ(dialog.choices().deviceId, "");

    ASSERT_TRUE(dialog.accept()) << dialog.error();
    EXPECT_EQ(dir.read("settings.js"),
              "var settings = { \n"
              "  \"vis\" : { \n"
              "    \"scene_length\" : 15\n"
              "  },\n"
              "  \"fakesound\" : { \n"
              "    \"bpm\" : 120\n"
              "  },\n"
              "  \"theme_string\" : \"\"\n"
              "};\n");
    EXPECT_TRUE(exists("deviceid.js"));
    EXPECT_EQ(dir.read("deviceid.js"), "");
    EXPECT_FALSE(exists("settings.js.tmp"));
    EXPECT_FALSE(exists("deviceid.js.tmp"));
    EXPECT_EQ(dialog.error(), "");
    EXPECT_FALSE(warned()) << capture.all();
}

TEST_F(ConfigDialogTest, ThemesAreReadInAnyOrderAndStoredInTheOrderOfTheBoxes) {
    dir.write("settings.js", "var settings = { \"theme_string\" : \"blackwhite,disco,pop\" };");
    dialog.open();
    Themes shown{};
    shown[kPop] = shown[kBlackWhite] = true;
    EXPECT_EQ(dialog.choices().themes, shown);

    ASSERT_TRUE(dialog.accept());
    EXPECT_EQ(evalAfter("settings.js", "settings.theme_string"), "pop,blackwhite");

    dialog.choices().themes = Themes{};
    dialog.choices().themes[kJazzy] = dialog.choices().themes[kHeat] = true;
    ASSERT_TRUE(dialog.accept());
    EXPECT_EQ(evalAfter("settings.js", "settings.theme_string"), "heat,jazzy");

    dialog.choices().themes = Themes{};
    dialog.choices().themes[kRomance] = dialog.choices().themes[kChilled] = true;
    ASSERT_TRUE(dialog.accept());
    dialog.open();
    Themes stored{};
    stored[kChilled] = stored[kRomance] = true;
    EXPECT_EQ(dialog.choices().themes, stored);
}

TEST_F(ConfigDialogTest, SlidersShowTheIntegerValueClampedToTheirRanges) {
    struct Case {
        const char* bpm;
        const char* sceneLength;
        int shownBpm;
        int shownSceneLength;
    };
    const Case cases[] = {
        {"300", "\"1\"", 240, 2},    // above and below the ranges, one stored as text
        {"\"95\"", "37.9", 95, 37},  // text and a double inside them
        {"-5", "121", 40, 120},
        {"undefined", "\"x\"", 120, 2},  // undefined shows the default; "x" reads as 0
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.bpm) + " / " + c.sceneLength);
        dir.write("settings.js", std::string("var settings = { \"fakesound\" : { \"bpm\" : ") +
                                     c.bpm + " }, \"vis\" : { \"scene_length\" : " + c.sceneLength +
                                     " } };");
        dialog.open();
        EXPECT_EQ(dialog.choices().movementSpeed, c.shownBpm);
        EXPECT_EQ(dialog.choices().sceneChangeSpeed, c.shownSceneLength);
        ASSERT_TRUE(dialog.accept());
        EXPECT_EQ(evalAfter("settings.js", "settings.fakesound.bpm"), std::to_string(c.shownBpm));
        EXPECT_EQ(evalAfter("settings.js", "settings.vis.scene_length"),
                  std::to_string(c.shownSceneLength));
    }
    // Values set outside the ranges by the window layer are stored clamped.
    dialog.choices().movementSpeed = 999;
    dialog.choices().sceneChangeSpeed = 0;
    ASSERT_TRUE(dialog.accept());
    EXPECT_EQ(
        evalAfter("settings.js", "settings.fakesound.bpm + \"/\" + settings.vis.scene_length"),
        "240/2");
}

TEST_F(ConfigDialogTest, OkKeepsEverySettingItDoesNotEditAndTheVisualiserReadsItBack) {
    dir.write("settings.js",
              "var settings = { \"window\" : { \"width\" : 211, \"height\" : \"97\" },"
              " \"gl\" : { \"use_vbo\" : 1 }, \"fakesound\" : { \"bpm\" : 66, \"gain\" : 3 },"
              " \"scenes\" : { \"tunnel&co\" : { \"time\" : 12.5, \"frames\" : 750 } } };");
    dialog.open();
    dialog.choices().movementSpeed = 173;
    dialog.choices().sceneChangeSpeed = 44;
    dialog.choices().themes[kChilled] = dialog.choices().themes[kRomance] = true;
    ASSERT_TRUE(dialog.accept());
    const std::string written = dir.read("settings.js");

    CScript script(nullptr);
    CSettings settings(script);
    settings.load(dir.path());
    EXPECT_EQ(settings.getInt("fakesound.bpm", 0), 173);
    EXPECT_EQ(settings.getInt("vis.scene_length", 0), 44);
    EXPECT_EQ(settings.getString("theme_string", ""), "chilled,romance");
    EXPECT_EQ(settings.getInt("window.width", 0), 211);
    EXPECT_EQ(settings.getString("window.height", ""), "97");
    EXPECT_EQ(settings.getInt("gl.use_vbo", 0), 1);
    EXPECT_EQ(settings.getInt("fakesound.gain", 0), 3);
    EXPECT_EQ(settings.sceneStatsXml(),
              "<Scenes><Scene id=\"tunnel&amp;co\" time=\"12.500000\" frames=\"750\"/></Scenes>");
    // Saved again by the visualiser, nothing changes but the closing line feed.
    ASSERT_TRUE(settings.save());
    EXPECT_EQ(dir.read("settings.js") + "\n", written);
    EXPECT_FALSE(warned()) << capture.all();
}

TEST_F(ConfigDialogTest, TheIdentifierIsQuotedSoThatAnyTextReadsBack) {
    const std::string id = "unit \"7\" at C:\\vis\\\ncaf\xC3\xA9";
    dialog.open();
    dialog.choices().deviceId = id;
    ASSERT_TRUE(dialog.accept());
    EXPECT_EQ(dir.read("deviceid.js"),
              "var DEVICE_UID = \"unit \\\"7\\\" at C:\\\\vis\\\\\\ncaf\xC3\xA9\";\n");
    EXPECT_EQ(evalAfter("deviceid.js", "DEVICE_UID"), id);
    dialog.open();
    EXPECT_EQ(dialog.choices().deviceId, id);
    EXPECT_FALSE(warned()) << capture.all();
}

TEST_F(ConfigDialogTest, AnEmptyIdentifierLeavesTheFileEmpty) {
    dir.write("deviceid.js", "var DEVICE_UID = 'old-42';");
    dialog.open();
    EXPECT_EQ(dialog.choices().deviceId, "old-42");
    dialog.choices().deviceId.clear();
    ASSERT_TRUE(dialog.accept());
    EXPECT_EQ(dir.read("deviceid.js"), "");
    CScript script(nullptr);
    script.runCode(dir.read("deviceid.js"));
    EXPECT_EQ(script.getGlobalString("DEVICE_UID", "none"), "none");
}

TEST_F(ConfigDialogTest, TheIdentifierIsCutTo255BytesWithoutSplittingACharacter) {
    const std::string a254(254, 'a');
    dir.write("deviceid.js", "var DEVICE_UID = \"" + a254 + "\xC3\xA9zz\";");
    dialog.open();
    EXPECT_EQ(dialog.choices().deviceId, a254);

    dialog.choices().deviceId = std::string(300, 'q');
    ASSERT_TRUE(dialog.accept());
    EXPECT_EQ(evalAfter("deviceid.js", "DEVICE_UID"), std::string(255, 'q'));
    EXPECT_EQ(cutToLength("ab\xE2\x82\xAC", 4), "ab");
    EXPECT_EQ(cutToLength("ab\xE2\x82\xAC", 5), "ab\xE2\x82\xAC");
}

TEST_F(ConfigDialogTest, BrokenFilesShowWhatRanAndOkWritesAWholeFile) {
    dir.write("settings.js",
              "var settings = { \"fakesound\" : { \"bpm\" : 77 }, \"theme_string\" : \"pop\" };\n"
              "settings.vis.scene_length = ;");
    dir.write("deviceid.js", "var DEVICE_UID = \"dev-3\"; DEVICE_UID = ;");
    dialog.open();
    EXPECT_TRUE(capture.contains(LOG_WARNING, "JS Error")) << capture.all();
    EXPECT_EQ(dialog.choices().movementSpeed, 77);
    EXPECT_EQ(dialog.choices().sceneChangeSpeed, 15);
    EXPECT_TRUE(dialog.choices().themes[kPop]);
    EXPECT_EQ(dialog.choices().deviceId, "dev-3");

    ASSERT_TRUE(dialog.accept());
    capture.clear();
    EXPECT_EQ(
        evalAfter("settings.js", "settings.fakesound.bpm + \"/\" + settings.vis.scene_length"),
        "77/15");
    EXPECT_EQ(evalAfter("deviceid.js", "DEVICE_UID"), "dev-3");
    EXPECT_FALSE(warned()) << capture.all();
}

TEST_F(ConfigDialogTest, SettingsThatAreNoObjectsAreReplacedSoThatOkStoresItsValues) {
    dir.write("settings.js",
              "var settings = { \"vis\" : 9, \"fakesound\" : \"fast\", \"LOG\" : 0 };");
    dialog.open();
    dialog.choices().sceneChangeSpeed = 31;
    dialog.choices().movementSpeed = 151;
    ASSERT_TRUE(dialog.accept());
    EXPECT_EQ(evalAfter("settings.js",
                        "settings.vis.scene_length + \"/\" + "
                        "settings.fakesound.bpm + \"/\" + settings.LOG"),
              "31/151/0");

    dir.write("settings.js", "var settings = 5;");
    dialog.open();
    ASSERT_TRUE(dialog.accept());
    EXPECT_EQ(evalAfter("settings.js", "settings.vis.scene_length"), "15");
}

TEST_F(ConfigDialogTest, AFileThatCannotBeWrittenIsReportedAndTheOtherIsStillWritten) {
    // A directory in the way fails the write even for root.
    ASSERT_EQ(mkdir((dir.path() + "deviceid.js").c_str(), 0755), 0);
    dialog.open();
    dialog.choices().deviceId = "dev-9";
    dialog.choices().movementSpeed = 88;
    EXPECT_FALSE(dialog.accept());
    EXPECT_NE(dialog.error().find("Unable to write " + dir.path() + "deviceid.js"),
              std::string::npos)
        << dialog.error();
    EXPECT_EQ(dialog.error().find("settings.js"), std::string::npos) << dialog.error();
    EXPECT_TRUE(capture.contains(LOG_WARNING, "deviceid.js")) << capture.all();
    EXPECT_EQ(evalAfter("settings.js", "settings.fakesound.bpm"), "88");
    EXPECT_FALSE(exists("deviceid.js.tmp"));

    // The temporary file blocked as well: the old settings.js stays whole.
    dir.write("settings.js.tmp/keep", "x");
    dir.write("settings.js", "var settings = { \"LOG\" : 4 };");
    EXPECT_FALSE(dialog.accept());
    EXPECT_NE(dialog.error().find(dir.path() + "settings.js"), std::string::npos);
    EXPECT_NE(dialog.error().find(dir.path() + "deviceid.js"), std::string::npos);
    EXPECT_NE(dialog.error().find('\n'), std::string::npos) << "one line per file";
    EXPECT_EQ(dir.read("settings.js"), "var settings = { \"LOG\" : 4 };");

    // Once the way is clear the error goes away.
    ASSERT_EQ(rmdir((dir.path() + "deviceid.js").c_str()), 0);
    ASSERT_EQ(unlink((dir.path() + "settings.js.tmp/keep").c_str()), 0);
    ASSERT_EQ(rmdir((dir.path() + "settings.js.tmp").c_str()), 0);
    EXPECT_TRUE(dialog.accept());
    EXPECT_EQ(dialog.error(), "");
    EXPECT_EQ(evalAfter("deviceid.js", "DEVICE_UID"), "dev-9");
}

}  // namespace
