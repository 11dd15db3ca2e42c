// The scene registry without a display: queueing and reading lists,
// replacement of scenes read again, removal by id, file and archive, and the
// weighted random choice with themes, favourites and ratings.
#include "vis/sceneRegistry.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>

#include "app/random.h"
#include "js/engine.h"
#include "tests/scene/scene_world.h"
#include "tests/support/log_capture.h"
#include "vfs/archiveWriter.h"
#include "vfs/fileSystem.h"
#include "vm/assembler.h"

namespace {

// A scene image whose "V init()" and "V kill()" print `version`, so that the
// log shows which definition of a scene ran.
std::string imageSource(int version) {
    std::string v = std::to_string(version);
    return R"vsa(
.native print "V print(*I,F)"
.string i "init"
.string k "kill"
.func "V init()" init
.func "V render()" render
.func "V kill()" kill
init:
    REF i
    LITERALF )vsa" +
           v + R"vsa(
    NATIVE print
    RETURN
render:
    RETURN
kill:
    REF k
    LITERALF )vsa" +
           v + R"vsa(
    NATIVE print
    RETURN
)vsa";
}

std::string imageBytes(int version) {
    AsmResult image = vmAssemble(imageSource(version), "v" + std::to_string(version) + ".vsa");
    for (const std::string& error : image.errors)
        ADD_FAILURE() << error;
    std::vector<uint8_t> bytes = vmImageBytes(image.words);
    return std::string(bytes.begin(), bytes.end());
}

// One Scene element; `data` is the inner XML of Data, `extra` more children.
std::string sceneXml(const std::string& id, const std::string& file, const std::string& data = "",
                     const std::string& extra = "") {
    return "<Scene id=\"" + id + "\"><Filename>" + file + "</Filename>" + extra + "<Data>" + data +
           "</Data></Scene>";
}

std::string listXml(const std::string& scenes) {
    return "<SceneList>" + scenes + "</SceneList>";
}

class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override {
        world.file("scenes/v1.vsi", imageBytes(1));
        world.file("scenes/v2.vsi", imageBytes(2));
    }

    std::vector<std::string> ids() const {
        std::vector<std::string> result;
        for (int i = 0; i < registry.count(); ++i)
            result.push_back(registry.at(i)->id());
        return result;
    }

    LogCapture log;
    SceneWorld world;
    CSceneRegistry registry{&world.host, SceneContext{&world.host, &world.host}};
};

using Ids = std::vector<std::string>;

TEST_F(RegistryTest, QueuedListsAreReadOnceInOrder) {
    world.file("scenes/a.xml", listXml(sceneXml("alpha", "v1.vsi")));
    world.file("scenes/b.xml", listXml(sceneXml("beta", "v2.vsi") + sceneXml("gamma", "v1.vsi")));
    registry.queueFiles({"scenes/a.xml", "scenes/notes.txt", "scenes/a.xml", "scenes/b.xml"});
    registry.queueFiles({"scenes/b.xml", "scenes/gone.xml"});
    EXPECT_EQ(registry.loadQueue(), (Ids{"scenes/a.xml", "scenes/b.xml", "scenes/gone.xml"}));
    EXPECT_EQ(registry.loadQueueTotal(), 3);

    EXPECT_FALSE(registry.loadNextQueued());
    EXPECT_TRUE(registry.loading());
    EXPECT_EQ(registry.loadQueueTotal(), 3);  // counts down from the fill, not the rest
    EXPECT_FALSE(registry.loadNextQueued());
    EXPECT_TRUE(registry.loadNextQueued());
    EXPECT_FALSE(registry.loading());
    EXPECT_TRUE(registry.loadNextQueued());  // nothing left: still done

    EXPECT_EQ(log.count("loadFromXML 'scenes/a.xml'"), 1u);
    EXPECT_TRUE(log.contains(2, "Cannot load XML file 'scenes/gone.xml'"));
    EXPECT_EQ(ids(), (Ids{"alpha", "beta", "gamma"}));
    EXPECT_EQ(registry.findIndex("gamma"), 2);
    EXPECT_EQ(registry.find("beta")->codePath(), "scenes/v2.vsi");
    EXPECT_EQ(registry.find("beta")->listFile(), "scenes/b.xml");
    EXPECT_EQ(registry.find("delta"), nullptr);
    EXPECT_EQ(registry.at(3), nullptr);
    EXPECT_EQ(registry.at(-1), nullptr);
}

TEST_F(RegistryTest, ReadingAgainReplacesAndKeepsPlayingScenesPlaying) {
    world.file("scenes/a.xml", listXml(sceneXml("first", "v1.vsi") + sceneXml("second", "v1.vsi")));
    world.file("scenes/b.xml", listXml(sceneXml("other", "v1.vsi")));
    registry.loadFromXML("scenes/a.xml");
    registry.loadFromXML("scenes/b.xml");
    registry.find("first")->initialise(true);
    ASSERT_EQ(printed(log), Ids{"init 1.000000"});

    world.file("scenes/a.xml", listXml(sceneXml("first", "v2.vsi") + sceneXml("second", "v2.vsi")));
    registry.loadFromXML("scenes/a.xml");
    EXPECT_TRUE(log.contains(1, "Scene ID first is already loaded. Reloading..."));
    EXPECT_TRUE(log.contains(1, "Removing scene second"));
    EXPECT_EQ(ids(), (Ids{"other", "first", "second"}));
    // The old definition is killed, the new one initialised at once; the
    // scene that was not playing is not started.
    EXPECT_EQ(printed(log), (Ids{"init 1.000000", "kill 1.000000", "init 2.000000"}));
    EXPECT_TRUE(registry.find("first")->initialised());
    EXPECT_EQ(registry.find("first")->codePath(), "scenes/v2.vsi");
    EXPECT_FALSE(registry.find("second")->initialised());
    EXPECT_EQ(registry.find("second")->codePath(), "scenes/v2.vsi");
}

TEST_F(RegistryTest, AFalseConditionKeepsTheOldDefinition) {
    world.file("scenes/a.xml", listXml(sceneXml("kept", "v1.vsi")));
    registry.loadFromXML("scenes/a.xml");
    world.file("scenes/a.xml",
               listXml(sceneXml("kept", "v2.vsi", "", "<Condition>useNew</Condition>") +
                       sceneXml("fresh", "v2.vsi", "", "<Condition>addFresh</Condition>")));
    world.host.scriptValues["useNew"] = "0";
    world.host.scriptValues["addFresh"] = "no";
    registry.loadFromXML("scenes/a.xml");
    EXPECT_EQ(ids(), Ids{"kept"});
    EXPECT_EQ(registry.find("kept")->codePath(), "scenes/v1.vsi");

    world.host.scriptValues["useNew"] = "Yes";
    world.host.scriptValues["addFresh"] = "7";
    registry.loadFromXML("scenes/a.xml");
    EXPECT_EQ(ids(), (Ids{"kept", "fresh"}));
    EXPECT_EQ(registry.find("kept")->codePath(), "scenes/v2.vsi");
}

TEST_F(RegistryTest, DamagedEntriesAndDocumentsAreSkipped) {
    world.file("scenes/a.xml", listXml(sceneXml("patched", "v1.vsi")));
    registry.loadFromXML("scenes/a.xml");
    world.file("scenes/b.xml",
               listXml(sceneXml("good1", "v1.vsi") + "<Scene><Filename>v2.vsi</Filename></Scene>" +
                       "<Scene id=\"patched\"><Data/></Scene>" + sceneXml("good2", "v2.vsi")));
    registry.loadFromXML("scenes/b.xml");
    EXPECT_TRUE(log.contains(5, "Scene without id in 'scenes/b.xml' skipped"));
    EXPECT_TRUE(log.contains(5, "Scene without Filename in 'scenes/b.xml' skipped"));
    // A damaged replacement leaves the scene it named as it was.
    EXPECT_EQ(ids(), (Ids{"patched", "good1", "good2"}));
    EXPECT_EQ(registry.find("patched")->listFile(), "scenes/a.xml");

    registry.loadText("<SceneList>" + sceneXml("broken", "v1.vsi") + "<Scene id='x'>");
    EXPECT_TRUE(log.contains(2, "[JS]"));
    EXPECT_EQ(registry.count(), 3);

    registry.loadText("<Other>" + sceneXml("elsewhere", "v1.vsi") + "</Other>");
    registry.loadText(listXml(sceneXml("scripted", "v2.vsi")));
    EXPECT_EQ(registry.find("elsewhere"), nullptr);
    EXPECT_EQ(registry.find("scripted")->listFile(), "[JS]");
}

TEST_F(RegistryTest, RemovalByIdAndByFile) {
    world.file("scenes/a.xml", listXml(sceneXml("a1", "v1.vsi") + sceneXml("a2", "v2.vsi")));
    world.file("scenes/b.xml", listXml(sceneXml("b1", "v1.vsi")));
    world.file("scenes/c.xml", listXml(sceneXml("c1", "v1.vsi") + sceneXml("c2", "v1.vsi")));
    registry.loadFromXML("scenes/a.xml");
    registry.loadFromXML("scenes/b.xml");
    registry.loadText(listXml(sceneXml("j1", "v1.vsi")));
    registry.loadFromXML("scenes/c.xml");
    registry.find("a2")->initialise(true);
    registry.find("c1")->initialise(true);

    registry.removeScene("ghost");
    EXPECT_TRUE(log.contains(2, "removeScene(ghost) NOT FOUND"));
    registry.removeScene("c1");
    EXPECT_TRUE(log.contains(1, "Removing scene c1"));
    EXPECT_EQ(printed(log), (Ids{"init 2.000000", "init 1.000000", "kill 1.000000"}));

    Ids removedNodes;
    registry.removeScenesOfFiles({"scenes/a.xml", "[JS]"}, [&](const std::string& id) {
        // The scene is still registered while its nodes are removed.
        EXPECT_NE(registry.find(id), nullptr);
        removedNodes.push_back(id);
    });
    EXPECT_EQ(removedNodes, (Ids{"a1", "a2", "j1"}));
    EXPECT_EQ(ids(), (Ids{"b1", "c2"}));
    EXPECT_EQ(printed(log).back(), "kill 2.000000");
}

TEST_F(RegistryTest, RetiringAnArchive) {
    registry.retireArchive("old.vortapack");
    EXPECT_TRUE(log.contains(2, "ARCHIVE: old.vortapack NOT FOUND"));
    EXPECT_EQ(registry.archivesToDelete(), Ids{"old.vortapack"});

    CArchiveWriter writer;
    std::string list = listXml(sceneXml("packed1", "v1.vsi") + sceneXml("packed2", "v2.vsi"));
    writer.add("scenes/pack.xml", list.data(), list.size());
    writer.add("scenes/pack.txt", "x", 1);
    std::string path = world.directory.path() + "pack.vortapack";
    ASSERT_TRUE(writer.writeFile(path));
    CVFileSystem::get().addArchive(path);
    world.file("scenes/loose.xml", listXml(sceneXml("loose", "v1.vsi")));
    registry.loadFromXML("scenes/pack.xml");
    registry.loadFromXML("scenes/loose.xml");
    ASSERT_EQ(registry.count(), 3);

    registry.retireArchive("pack.vortapack");
    EXPECT_TRUE(log.contains(1, "ARCHIVE: removing 2 scenes"));
    EXPECT_TRUE(log.contains(1, "ARCHIVE: deleting " + path));
    EXPECT_EQ(ids(), Ids{"loose"});
    EXPECT_EQ(CVFileSystem::get().findArchive(path), nullptr);
    EXPECT_FALSE(std::ifstream(path).good());
    EXPECT_EQ(registry.archivesToDelete(), Ids{"old.vortapack"});
}

TEST_F(RegistryTest, ReloadVisibleAndDropAll) {
    world.file("scenes/a.xml", listXml(sceneXml("one", "v1.vsi") + sceneXml("idle", "v1.vsi") +
                                       sceneXml("two", "v2.vsi")));
    registry.loadFromXML("scenes/a.xml");
    registry.find("two")->initialise(true);
    registry.find("one")->initialise(true);
    log.clear();

    registry.reloadVisible();
    EXPECT_EQ(printed(log),
              (Ids{"kill 1.000000", "kill 2.000000", "init 1.000000", "init 2.000000"}));
    EXPECT_TRUE(registry.find("two")->initialised());
    EXPECT_FALSE(registry.find("idle")->initialised());

    log.clear();
    registry.queueFiles({"scenes/a.xml"});
    registry.dropAll();
    EXPECT_EQ(printed(log), (Ids{"kill 1.000000", "kill 2.000000"}));
    EXPECT_EQ(registry.count(), 0);
    EXPECT_TRUE(registry.loadQueue().empty());
    EXPECT_FALSE(registry.loading());
}

TEST(SceneThemes, ItemsAreSubstringsOrFavourites) {
    CJsEngine engine;
    engine.runScript("var favs = ['bare', 'calmFav'];");
    const CJsValue* favourites = engine.lookupPath("favs");
    ASSERT_NE(favourites, nullptr);

    EXPECT_TRUE(sceneMatchesThemes("x", "", "", favourites));
    EXPECT_FALSE(sceneMatchesThemes("bare", "", "Heat,favourites", favourites));
    EXPECT_TRUE(sceneMatchesThemes("hot", "Rock Heat", "Heat,favourites", favourites));
    EXPECT_TRUE(sceneMatchesThemes("calmFav", "Calm", "Heat,favourites", favourites));
    EXPECT_FALSE(sceneMatchesThemes("calm", "Calm", "Heat,favourites", favourites));
    EXPECT_TRUE(sceneMatchesThemes("jazz", "Smooth Jazzy", "Jazz", nullptr));
    // No trimming: the space belongs to the item.
    EXPECT_FALSE(sceneMatchesThemes("jazz", "Jazzy", "Rock, Jazz", nullptr));
    EXPECT_TRUE(sceneMatchesThemes("jazz", "Rock Jazzy", "Pop, Jazz", nullptr));
    // Without a favourites array the word is just another substring.
    EXPECT_TRUE(sceneMatchesThemes("any", "my favourites", "favourites", nullptr));
    EXPECT_FALSE(sceneMatchesThemes("any", "my favourites", "favourites", favourites));
}

class RandomSceneTest : public RegistryTest {
protected:
    void SetUp() override {
        RegistryTest::SetUp();
        visSeedRandom(20240611u);
    }

    void load(const std::string& scenes) { registry.loadText(listXml(scenes)); }

    std::map<std::string, int> draw(const std::string& type, const std::string& themes, int times) {
        std::map<std::string, int> counts;
        for (int i = 0; i < times; ++i)
            counts[registry.getRandomScene(type, themes, settings())]++;
        return counts;
    }

    const CJsValue* settings() {
        if (!settingsRun_) {
            engine_.runScript(
                "var settings = {favourites: ['fav', 'bare'], scene: {'rate-x': 1.5, "
                "'rate-zero': 0, other: 9}};");
            settingsRun_ = true;
        }
        return engine_.lookupPath("settings");
    }

    CJsEngine engine_;
    bool settingsRun_ = false;
};

TEST_F(RandomSceneTest, NoSettingsOrNoCandidateDrawsNothing) {
    load(sceneXml("fx", "v1.vsi", "<Type>fade</Type>") + sceneXml("untyped", "v1.vsi"));
    EXPECT_EQ(registry.getRandomScene("fade", "", nullptr), "");
    EXPECT_TRUE(log.contains(2, "JS settings not found!"));
    EXPECT_EQ(registry.getRandomScene("overlay", "", settings()), "");
    EXPECT_EQ(registry.getRandomScene("Fade", "", settings()), "");
    EXPECT_EQ(registry.getRandomScene("fade", "", settings()), "fx");
    EXPECT_EQ(registry.getRandomScene("", "", settings()), "untyped");
}

TEST_F(RandomSceneTest, ThemesAndFavouritesChooseTheCandidates) {
    load(sceneXml("hot", "v1.vsi", "<Type>scene</Type><Styles>Rock Heat</Styles>") +
         sceneXml("fav", "v1.vsi", "<Type>scene</Type><Styles>Calm</Styles>") +
         sceneXml("cold", "v1.vsi", "<Type>scene</Type><Styles>Calm Cold</Styles>") +
         sceneXml("bare", "v1.vsi", "<Type>scene</Type>") +
         sceneXml("heatfx", "v1.vsi", "<Type>fade</Type><Styles>Heat</Styles>"));
    std::map<std::string, int> counts = draw("scene", "Heat,favourites", 400);
    EXPECT_EQ(counts.size(), 2u);
    EXPECT_GT(counts["hot"], 100);
    EXPECT_GT(counts["fav"], 100);
}

TEST_F(RandomSceneTest, WeightsTimesRatingsSetTheOdds) {
    // Effective weights: light 1, rated 2 x 1.5 = 3, zero 5 x 0, plain 1
    // (its SceneId has no rating; a rating under its id does not count).
    load(
        sceneXml("light", "v1.vsi", "<Type>t</Type>") +
        sceneXml("rated", "v1.vsi", "<Type>t</Type><Weight>2</Weight><SceneId>rate-x</SceneId>") +
        sceneXml("zero", "v1.vsi", "<Type>t</Type><Weight>5</Weight><SceneId>rate-zero</SceneId>") +
        sceneXml("other", "v1.vsi", "<Type>t</Type><SceneId>unrated</SceneId>"));
    std::map<std::string, int> counts = draw("t", "", 5000);
    EXPECT_EQ(counts.count("zero"), 0u);
    EXPECT_EQ(counts.count(""), 0u);
    EXPECT_NEAR(counts["rated"], 3000, 200);
    EXPECT_NEAR(counts["light"], 1000, 150);
    EXPECT_NEAR(counts["other"], 1000, 150);
}

TEST_F(RandomSceneTest, AllZeroWeightsPickTheFirst) {
    load(sceneXml("noWeight", "v1.vsi", "<Type>t</Type><Weight>0</Weight>") +
         sceneXml("zeroRated", "v1.vsi", "<Type>t</Type><SceneId>rate-zero</SceneId>"));
    std::map<std::string, int> counts = draw("t", "", 50);
    EXPECT_EQ(counts, (std::map<std::string, int>{{"noWeight", 50}}));
}

}  // namespace
