#include "script/settings.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

#include "app/log.h"
#include "js/engine.h"
#include "script/script.h"
#include "tests/support/log_capture.h"
#include "tests/support/temp_dir.h"

namespace {

class SettingsTest : public ::testing::Test {
protected:
    CJsValue* at(const std::string& path) { return script.engine().lookupPath(path); }
    bool exists(const std::string& name) { return access((dir.path() + name).c_str(), F_OK) == 0; }

    TempDir dir;
    LogCapture capture;
    CScript script{nullptr};
    CSettings settings{script};
};

size_t occurrences(const std::string& text, const std::string& part) {
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        count++;
    return count;
}

TEST_F(SettingsTest, DefaultsAreStoredAsTextAndSetIntAsNumbers) {
    settings.load(dir.path());
    EXPECT_EQ(settings.getInt("window.width", 640), 640);
    EXPECT_EQ(settings.getString("window.height", "480"), "480");
    settings.setInt("gl.vsync", -3);
    // A second read finds the stored value, not its own default.
    EXPECT_EQ(settings.getInt("window.width", 17), 640);
    ASSERT_TRUE(settings.save());
    EXPECT_EQ(dir.read("settings.js"),
              "var settings = { \n"
              "  \"window\" : { \n"
              "    \"width\" : \"640\",\n"
              "    \"height\" : \"480\"\n"
              "  },\n"
              "  \"gl\" : { \n"
              "    \"vsync\" : -3\n"
              "  }\n"
              "};");
    EXPECT_FALSE(exists("settings.js.tmp"));
    EXPECT_TRUE(capture.lines().empty()) << capture.all();
}

TEST_F(SettingsTest, GetIntReadsTheLeadingIntegerOfAnyValue) {
    ASSERT_TRUE(
        script.runCode("settings.rate = 60.5; settings.drop = -7.9; settings.obj = { a : 2 };"
                       "settings.label = '12abc'; settings.nothing = undefined;"));
    EXPECT_EQ(settings.getInt("rate", 1), 60);
    EXPECT_EQ(settings.getInt("drop", 2), -7);
    EXPECT_EQ(settings.getInt("obj", 3), 0);
    EXPECT_EQ(settings.getInt("label", 4), 12);
    EXPECT_EQ(settings.getInt("nothing", 5), 0);
    EXPECT_EQ(settings.getString("rate", "x"), "60.500000");
    // Reading never changes what is there.
    EXPECT_TRUE(at("settings.rate")->isDouble());
    EXPECT_EQ(at("settings.obj.a")->asInt(), 2);
}

TEST_F(SettingsTest, LoadRunsTheFileAndForgetsEarlierSettings) {
    settings.setInt("stale", 3);
    dir.write("settings.js", "var settings = { \"gl\" : { \"use_vbo\" : 1 } };");
    settings.load(dir.path());
    EXPECT_TRUE(capture.contains(LOG_INFO, "CSettings - loading " + dir.path() + "settings.js"));
    EXPECT_EQ(at("settings.stale"), nullptr);
    EXPECT_EQ(settings.getInt("gl.use_vbo", 0), 1);
    EXPECT_EQ(settings.getInt("gl.vsync", -1), -1);
    EXPECT_EQ(settings.directory(), dir.path());
}

TEST_F(SettingsTest, BrokenFileKeepsWhatRanBeforeTheError) {
    dir.write("settings.js", "settings.before = 4;\nsettings.broken = ;\nsettings.after = 6;\n");
    settings.load(dir.path());
    EXPECT_EQ(capture.count("JS Error: "), 1u);
    EXPECT_EQ(settings.getInt("before", 0), 4);
    EXPECT_EQ(settings.getInt("after", 9), 9);
    ASSERT_NE(settings.object(), nullptr);

    // An empty file is no script at all: the empty object stays.
    dir.write("settings.js", "");
    settings.load(dir.path());
    ASSERT_NE(settings.object(), nullptr);
    EXPECT_EQ(settings.object()->childCount(), 0);
}

TEST_F(SettingsTest, LoadStartsFromANewObjectThatScriptsSee) {
    ASSERT_TRUE(script.runCode("settings.kept = 12; var old = settings;"));
    dir.write("settings.js", "settings.fresh = old.kept + 1;");
    settings.load(dir.path());
    // The object a script still holds is not emptied; the store has a new one.
    EXPECT_EQ(settings.object()->childCount(), 1);
    EXPECT_EQ(script.evalString("old.kept + '/' + settings.fresh"), "12/13");

    // Reads walk the dotted key from the settings object and never through
    // a member that is not there or has no members.
    ASSERT_TRUE(script.runCode("settings.deep = { a : { b : 'ab' } }; settings.flat = 7;"));
    EXPECT_EQ(settings.getString("deep.a.b", "none"), "ab");
    EXPECT_EQ(settings.getString("flat.x", "dflt"), "dflt");
    EXPECT_EQ(script.evalString("settings.flat.x"), "dflt");
}

TEST_F(SettingsTest, WritesRepairWhatScriptsPutInTheWay) {
    ASSERT_TRUE(script.runCode("settings = 5;"));
    EXPECT_EQ(settings.object(), nullptr);
    EXPECT_EQ(settings.getInt("window.width", 640), 640);
    ASSERT_NE(settings.object(), nullptr);

    ASSERT_TRUE(script.runCode("settings.window = 'wide'; var shared = 3; settings.w = shared;"));
    settings.setInt("window.height", 480);
    EXPECT_EQ(script.evalString("settings.window.height"), "480");
    // The setting gets a value of its own; the script's variable keeps 3.
    settings.setString("w", "nine");
    EXPECT_EQ(script.evalString("shared + ':' + settings.w"), "3:nine");
}

TEST_F(SettingsTest, MessagesAreDistinctAndAtMostTen) {
    EXPECT_EQ(settings.messagesXml(), "<Messages></Messages>");
    settings.addMessage("warn:a <b>");
    settings.addMessage("warn:a <b>");
    settings.addMessage("ERR :second");
    EXPECT_EQ(settings.messagesXml(),
              "<Messages><Message>warn:a &lt;b&gt;</Message>"
              "<Message>ERR :second</Message></Messages>");
    EXPECT_EQ(script.evalString("settings.messages['1']"), "ERR :second");

    for (int i = 0; i < 12; i++)
        settings.addMessage("m" + std::to_string(i));
    std::string xml = settings.messagesXml();
    EXPECT_EQ(occurrences(xml, "<Message>"), 10u) << xml;
    EXPECT_NE(xml.find("<Message>m7</Message>"), std::string::npos) << xml;
    EXPECT_EQ(xml.find("<Message>m8</Message>"), std::string::npos) << xml;

    settings.clearMessages();
    EXPECT_EQ(settings.messagesXml(), "<Messages></Messages>");
    settings.addMessage("again");
    EXPECT_EQ(script.evalString("settings.messages['0']"), "again");
}

TEST_F(SettingsTest, MessageCountMemberIsNeitherComparedNorReported) {
    ASSERT_TRUE(script.runCode("settings.messages = { count : 'warn:x', '0' : 'warn:y' };"));
    settings.addMessage("warn:x");
    settings.addMessage("warn:y");
    EXPECT_EQ(settings.messagesXml(),
              "<Messages><Message>warn:y</Message><Message>warn:x</Message></Messages>");
    EXPECT_EQ(script.evalString("settings.messages['1']"), "warn:x");
}

TEST_F(SettingsTest, SceneStatsAccumulatePerIdAndQuoteIds) {
    EXPECT_EQ(settings.sceneStatsXml(), "");
    settings.accumulateSceneStats({"lake.day", "a&b", "lake.day"}, 0.25f);
    settings.accumulateSceneStats({"a&b"}, 0.5f);
    settings.accumulateSceneStats({"a&b"}, 0.5f);
    EXPECT_EQ(settings.sceneStatsXml(),
              "<Scenes><Scene id=\"lake.day\" time=\"0.500000\" frames=\"2\"/>"
              "<Scene id=\"a&amp;b\" time=\"1.250000\" frames=\"3\"/></Scenes>");
    EXPECT_TRUE(
        at("settings.scenes")->lookupChild("a&b")->value->lookupChild("frames")->value->isInt());

    settings.clearSceneStats();
    EXPECT_EQ(settings.sceneStatsXml(), "<Scenes></Scenes>");
}

TEST_F(SettingsTest, SceneStatsContinueFromTheLoadedFile) {
    dir.write("settings.js",
              "var settings = { \"scenes\" : { \"s\" : { \"time\" : 2.5, \"frames\" : 7 } } };");
    settings.load(dir.path());
    settings.accumulateSceneStats({"s", "t"}, 0.75f);
    EXPECT_EQ(settings.sceneStatsXml(),
              "<Scenes><Scene id=\"s\" time=\"3.250000\" frames=\"8\"/>"
              "<Scene id=\"t\" time=\"0.750000\" frames=\"1\"/></Scenes>");
}

TEST(XmlEscapeTest, QuotesTheFiveCharactersAndCopiesEverythingElse) {
    EXPECT_EQ(xmlEscape("a\"b&c'd<e>f"), "a&quot;b&amp;c&apos;d&lt;e&gt;f");
    EXPECT_EQ(xmlEscape("&amp; \xC3\xA9\n"), "&amp;amp; \xC3\xA9\n");
    EXPECT_EQ(xmlEscape(""), "");
}

TEST_F(SettingsTest, FailedSaveLeavesTheOldFileWhole) {
    const std::string old = "var settings = { \"old\" : 1 };";
    dir.write("settings.js", old);
    settings.load(dir.path());
    settings.setInt("added", 2);
    // A directory where the temporary file goes cannot be opened for writing.
    ASSERT_EQ(mkdir((dir.path() + "settings.js.tmp").c_str(), 0755), 0);
    capture.clear();
    EXPECT_FALSE(settings.save());
    EXPECT_EQ(dir.read("settings.js"), old);
    EXPECT_TRUE(capture.contains(LOG_WARNING, "settings.js.tmp: " + std::string(strerror(EISDIR))))
        << capture.all();

    ASSERT_EQ(rmdir((dir.path() + "settings.js.tmp").c_str()), 0);
    EXPECT_TRUE(settings.save());
    EXPECT_NE(dir.read("settings.js").find("\"added\" : 2"), std::string::npos);
}

TEST_F(SettingsTest, FailedRenameRemovesTheTemporaryFile) {
    settings.load(dir.path());
    dir.write("settings.js/keep", "x");
    EXPECT_FALSE(settings.save());
    EXPECT_TRUE(capture.contains(LOG_WARNING, "unable to replace " + dir.path() + "settings.js"))
        << capture.all();
    EXPECT_FALSE(exists("settings.js.tmp"));
    EXPECT_EQ(dir.read("settings.js/keep"), "x");
}

TEST_F(SettingsTest, SaveIntoAVanishedDirectoryFails) {
    const std::string gone = dir.path() + "gone/";
    ASSERT_EQ(mkdir(gone.c_str(), 0755), 0);
    settings.load(gone);
    ASSERT_EQ(rmdir(gone.c_str()), 0);
    EXPECT_FALSE(settings.save());
    EXPECT_TRUE(capture.contains(LOG_WARNING, gone + "settings.js.tmp")) << capture.all();
}

TEST_F(SettingsTest, StoreThatWasNeverLoadedDoesNotSave) {
    settings.setInt("x", 1);
    EXPECT_FALSE(settings.save());
    EXPECT_TRUE(capture.lines().empty()) << capture.all();
}

TEST_F(SettingsTest, SaveAndLoadKeepTypesAndNesting) {
    settings.load(dir.path());
    ASSERT_TRUE(
        script.runCode("settings.rate = 60.5; settings.deep = { inner : { n : -3, list : 'x,y' } };"
                       "settings.name = 'say \"hi\" \\\\ there\\n';"));
    settings.setInt("window.left", 12);
    settings.setString("theme_string", "jazzy,pop");
    settings.setString("owner",
                       "Ren\xC3\xA9"
                       "e\tM\r\x01");
    settings.accumulateSceneStats({"s1"}, 1.5f);
    ASSERT_TRUE(settings.save());
    const std::string first = settings.object()->writeJson();

    CScript otherScript(nullptr);
    CSettings other(otherScript);
    other.load(dir.path());
    ASSERT_NE(other.object(), nullptr);
    EXPECT_EQ(other.object()->writeJson(), first);
    CJsEngine& engine = otherScript.engine();
    EXPECT_TRUE(engine.lookupPath("settings.rate")->isDouble());
    EXPECT_EQ(engine.lookupPath("settings.deep.inner.n")->asInt(), -3);
    EXPECT_TRUE(engine.lookupPath("settings.window.left")->isInt());
    EXPECT_EQ(engine.lookupPath("settings.name")->asString(), "say \"hi\" \\ there\n");
    EXPECT_EQ(other.getString("theme_string", "none"), "jazzy,pop");
    EXPECT_EQ(other.getString("owner", "none"),
              "Ren\xC3\xA9"
              "e\tM\r\x01");
    EXPECT_EQ(other.sceneStatsXml(), settings.sceneStatsXml());
    EXPECT_EQ(capture.count("JS Error"), 0u) << capture.all();
}

// A number without a literal form must not make the saved file unreadable:
// everything after it would be lost at the next start.
TEST_F(SettingsTest, NumbersWithoutALiteralFormDoNotBreakTheSavedFile) {
    settings.load(dir.path());
    ASSERT_TRUE(
        script.runCode("var zero = 0.0; settings.before = 3; settings.odd = zero / zero;"
                       "settings.big = 1.0 / zero; settings.small = -1.0 / zero;"
                       "settings.after = { n : 7 };"));
    ASSERT_TRUE(settings.save());

    CScript otherScript(nullptr);
    CSettings other(otherScript);
    other.load(dir.path());
    const std::string saved = dir.read("settings.js");
    EXPECT_NE(saved.find("nan"), std::string::npos) << saved;
    EXPECT_NE(saved.find("-inf"), std::string::npos) << saved;
    EXPECT_EQ(capture.count("JS Error"), 0u) << capture.all() << saved;
    EXPECT_EQ(other.getInt("before", 0), 3);
    EXPECT_EQ(other.getInt("after.n", 0), 7);
}

}  // namespace
