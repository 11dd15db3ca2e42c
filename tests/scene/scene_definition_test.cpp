#include <gtest/gtest.h>
#include <tinyxml.h>

#include <map>

#include "app/log.h"
#include "scene/sceneDefinition.h"
#include "tests/support/log_capture.h"

namespace {

// Evaluates the few expressions the tests use and counts the calls, so that
// per-read evaluation is visible.
struct FakeScript : ScriptEvaluator {
    std::map<std::string, std::string> results;
    int calls = 0;
    std::string evaluateToText(const std::string& expression) override {
        ++calls;
        auto found = results.find(expression);
        return found == results.end() ? "" : found->second;
    }
};

struct FakeRenderNode : RenderNodeProperties {
    std::map<std::string, std::string> properties;
    std::string innermostProperty(const std::string& key) override {
        auto found = properties.find(key);
        return found == properties.end() ? "" : found->second;
    }
};

class SceneListTest : public ::testing::Test {
protected:
    std::vector<std::unique_ptr<SceneDefinition>> load(const char* xml) {
        document.Parse(xml);
        std::vector<std::unique_ptr<SceneDefinition>> scenes;
        for (const TiXmlElement* element : sceneElements(document)) {
            if (!SceneDefinition::conditionHolds(*element, context)) continue;
            auto scene = SceneDefinition::fromElement(*element, "scenes/test.xml", context);
            if (scene) scenes.push_back(std::move(scene));
        }
        return scenes;
    }

    TiXmlDocument document;
    FakeScript script;
    FakeRenderNode node;
    SceneContext context{&script, &node};
};

TEST(StringToBool, WordsDigitsAndEverythingElse) {
    for (const char* yes : {"true", "TRUE", "Yes", "yes", "1", "0010", "42"})
        EXPECT_TRUE(stringToBool(yes)) << yes;
    for (const char* no : {"", "0", "000", "-1", "1.5", "false", "no", "y", " 1"})
        EXPECT_FALSE(stringToBool(no)) << no;
}

TEST_F(SceneListTest, ScenesInDocumentOrderOthersIgnored) {
    auto scenes = load(
        "<SceneList><Scene id='a'><Filename>a.vsc</Filename></Scene>"
        "<Other id='x'><Filename>x</Filename></Other>"
        "<Scene id='b'><Filename>sub/b.vsc</Filename></Scene></SceneList>");
    ASSERT_EQ(scenes.size(), 2u);
    EXPECT_EQ(scenes[0]->id(), "a");
    EXPECT_EQ(scenes[1]->filename(), "sub/b.vsc");
    EXPECT_EQ(scenes[1]->listFile(), "scenes/test.xml");
}

TEST_F(SceneListTest, NonSceneListRootDefinesNothing) {
    LogCapture capture;
    EXPECT_TRUE(load("<Scenes><Scene id='a'><Filename>a</Filename></Scene></Scenes>").empty());
    EXPECT_TRUE(load("not xml at all").empty());
    EXPECT_TRUE(capture.lines().empty());
}

TEST_F(SceneListTest, DamagedEntriesAreSkippedWithTheListNamed) {
    LogCapture capture;
    auto scenes = load(
        "<SceneList><Scene id='a'></Scene><Scene><Filename>b</Filename></Scene>"
        "<Scene id='c'><Filename></Filename></Scene>"
        "<Scene id='d'><Filename>d</Filename></Scene></SceneList>");
    ASSERT_EQ(scenes.size(), 1u);
    EXPECT_EQ(scenes[0]->id(), "d");
    EXPECT_EQ(capture.count("scenes/test.xml"), 3u);
    EXPECT_TRUE(capture.contains(LOG_SERIOUS, "without Filename"));
    EXPECT_TRUE(capture.contains(LOG_SERIOUS, "without id"));
}

TEST_F(SceneListTest, ConditionDecidesWithBooleanConversion) {
    script.results = {{"isYes()", "yes"}, {"isZero()", "0"}, {"isWord()", "maybe"}};
    auto scenes = load(
        "<SceneList>"
        "<Scene id='y'><Condition>isYes()</Condition><Filename>y</Filename></Scene>"
        "<Scene id='z'><Condition>isZero()</Condition><Filename>z</Filename></Scene>"
        "<Scene id='w'><Condition>isWord()</Condition><Filename>w</Filename></Scene>"
        "<Scene id='f'><Condition>broken(</Condition><Filename>f</Filename></Scene>"
        "<Scene id='n'><Filename>n</Filename></Scene></SceneList>");
    ASSERT_EQ(scenes.size(), 2u);
    EXPECT_EQ(scenes[0]->id(), "y");
    EXPECT_EQ(scenes[1]->id(), "n");
}

TEST_F(SceneListTest, InputsDefaultFollowsType) {
    auto scenes = load(
        "<SceneList>"
        "<Scene id='plain'><Filename>p</Filename></Scene>"
        "<Scene id='fade'><Filename>f</Filename><Data><Type>fade</Type></Data></Scene>"
        "<Scene id='fade0'><Filename>f</Filename><Data><Type>fade</Type><Inputs>0</Inputs>"
        "</Data></Scene>"
        "<Scene id='over'><Filename>o</Filename><Data><Type>overlay</Type></Data></Scene>"
        "<Scene id='ann'><Filename>a</Filename><Data><Type>announce</Type></Data></Scene>"
        "</SceneList>");
    ASSERT_EQ(scenes.size(), 5u);
    EXPECT_EQ(scenes[0]->inputs(), 0);
    EXPECT_EQ(scenes[0]->type(), "");
    EXPECT_EQ(scenes[1]->inputs(), 2);
    EXPECT_EQ(scenes[2]->inputs(), 0);
    EXPECT_EQ(scenes[3]->inputs(), 1);
    EXPECT_EQ(scenes[4]->inputs(), 1);
}

TEST_F(SceneListTest, ValuesDefaultsAndConversions) {
    auto scenes = load(
        "<SceneList><Scene id='s'><Filename>s</Filename><Data>"
        "<Weight>2.5x</Weight><Count>12abc</Count><Empty></Empty><Styles>heat,pop</Styles>"
        "<SceneId>rate-me</SceneId><SchemeId>blue</SchemeId><Word>abc</Word>"
        "</Data></Scene></SceneList>");
    ASSERT_EQ(scenes.size(), 1u);
    const SceneDefinition& scene = *scenes[0];
    EXPECT_DOUBLE_EQ(scene.weight(), 2.5);
    EXPECT_EQ(scene.integer("Count", 7), 12);
    EXPECT_EQ(scene.integer("Empty", 7), 7);
    EXPECT_EQ(scene.integer("Missing", 7), 7);
    EXPECT_EQ(scene.integer("Word", 7), 0);
    EXPECT_DOUBLE_EQ(scene.decimal("Missing", 0.25), 0.25);
    EXPECT_EQ(scene.styles(), "heat,pop");
    EXPECT_EQ(scene.sceneId(), "rate-me");
    EXPECT_EQ(scene.schemeId(), "blue");
    EXPECT_EQ(scene.text("Missing", "dflt"), "dflt");
}

TEST_F(SceneListTest, ScriptValuedEntryIsEvaluatedOnEveryRead) {
    script.results = {{"1+1", "2"}};
    auto scenes = load(
        "<SceneList><Scene id='s'><Filename>s</Filename><Data>"
        "<Sum type='js'>1+1</Sum><Plain type='text'>1+1</Plain></Data></Scene></SceneList>");
    ASSERT_EQ(scenes.size(), 1u);
    EXPECT_EQ(scenes[0]->text("Sum", ""), "2");
    EXPECT_EQ(scenes[0]->text("Sum", ""), "2");
    EXPECT_EQ(script.calls, 2);
    EXPECT_EQ(scenes[0]->text("Plain", ""), "1+1");
}

TEST_F(SceneListTest, RenderNodePropertiesOverrideUnlessEmpty) {
    auto scenes = load(
        "<SceneList><Scene id='s'><Filename>s</Filename><Data><Colour>red</Colour>"
        "</Data></Scene></SceneList>");
    ASSERT_EQ(scenes.size(), 1u);
    node.properties["Colour"] = "";
    EXPECT_EQ(scenes[0]->text("Colour", ""), "red");
    node.properties["Colour"] = "blue";
    EXPECT_EQ(scenes[0]->text("Colour", ""), "blue");
    node.properties["Extra"] = "7";
    EXPECT_EQ(scenes[0]->integer("Extra", 0), 7);
}

TEST_F(SceneListTest, ResourceReferencesResolveOnce) {
    script.results = {{"pick()", "chosen.png"}};
    auto scenes = load(
        "<SceneList><Scene id='s'><Filename>s</Filename><Data><Image>stone.jpg</Image>"
        "<Nested>xml://Image</Nested></Data></Scene></SceneList>");
    ASSERT_EQ(scenes.size(), 1u);
    const SceneDefinition& scene = *scenes[0];
    EXPECT_EQ(scene.resolve("xml://Image", "tex/"), "tex/stone.jpg");
    EXPECT_EQ(scene.resolve("file://a/b.png", "tex/"), "tex/a/b.png");
    EXPECT_EQ(scene.resolve("js://pick()", "tex/"), "tex/chosen.png");
    EXPECT_EQ(scene.resolve("plain.glsl", "shaders/"), "shaders/plain.glsl");
    EXPECT_EQ(scene.resolve("/abs/x.png", "tex/"), "tex//abs/x.png");
    EXPECT_EQ(scene.resolve("xml://Nested", "tex/"), "tex/xml://Image");
    EXPECT_EQ(scene.resolve("xml://Missing", "data/"), "data/");
}

}  // namespace
