// The default content's scenes are written in the scene language; the
// assembler programs they replace are kept as references (assembler_scenes/,
// assembled at build time). Each scene is played twice from the same start,
// once from the image in the built default archive and once from its
// reference, with the same synthetic beat, the same random seed and the same
// children, and shots taken at several moments of the beat must match pixel
// for pixel.
//
// The ported programs do every float operation of the originals in the same
// order with the same constants, and both draw through the same natives in
// the same order, so nothing but a real difference in behaviour can change
// a pixel.
#include <GL/glew.h>
#include <gtest/gtest.h>
#include <tinyxml.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <iterator>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/log.h"
#include "app/random.h"
#include "render/renderState.h"
#include "render/renderTexture.h"
#include "render/shader.h"
#include "scene/directTextures.h"
#include "scene/scene.h"
#include "scene/sceneNatives.h"
#include "sound/soundAnalyser.h"
#include "sound/syntheticBeatSource.h"
#include "tests/render/gl_fixture.h"
#include "tests/support/log_capture.h"
#include "vfs/fileSystem.h"
#include "vm/vm.h"

namespace {

constexpr float kFrameTime = 1.0f / 60.0f;
constexpr uint32_t kSeed = 0x2F6A91u;

// One picture read back from the render target, rows bottom first, RGB.
struct Shot {
    int frame;
    std::vector<uint8_t> rgb;
};

// Plays one scene the way the visualiser plays a root scene: a job per
// frame, the scene stepped and rendered, and a child job pushed whenever it
// asks for one. Children are no scenes here: each draws a picture of its
// own (two coloured boxes on a background, different for each index) so
// that blends, wipes and layers have something to show.
class ShotHost : public SceneHost {
public:
    ShotHost(double beatsPerMinute, int width, int height)
        : width_(width), height_(height), beat_(beatsPerMinute) {}

    void setProperty(const std::string& key, const std::string& value) { properties_[key] = value; }
    bool failed() const { return failed_; }

    // One frame into the current render target.
    void frame(CScene& scene) {
        timePass_ = kFrameTime;
        advanceSound();
        renderClear(0, 0, 0, 1, 3);
        jobs_.clear();
        jobs_.push_back(Job{&scene, 0, false, 0, 0, timePass_, false});
        while (!jobs_.empty() && runTopJob()) {
        }
    }

    float* sharedRegisters() override { return registers_; }
    float timePass() override { return timePass_; }
    void setTimePass(float seconds) override { timePass_ = seconds; }
    float aspectRatio() override { return static_cast<float>(width_) / height_; }
    float innermostJobTime() override { return jobs_.empty() ? 0.0f : jobs_.back().time; }
    void pushChildJob(int index, float time, int width, int height) override {
        jobs_.push_back(Job{nullptr, index, width != 0 && height != 0, width, height, time, false});
    }
    int renderedTexture() override { return renderedTexture_; }
    void sceneVMError(CScene&) override {
        failed_ = true;
        jobs_.clear();
    }
    const SoundAnalyser* soundAnalyser() override { return &analyser_; }
    SoundSource* swapSoundSource(SoundSource* source) override {
        SoundSource* previous = source_;
        source_ = source;
        return previous;
    }
    void advanceSound() override {
        source_->produce(static_cast<int>(timePass_ * 1000.0f));
        analyser_.analyse(*source_, timePass_, timePass_);
    }
    std::string evaluateToText(const std::string&) override { return ""; }
    std::string innermostProperty(const std::string& key) override {
        auto found = properties_.find(key);
        return found == properties_.end() ? "" : found->second;
    }
    void executeScript(const std::string&) override {}
    SceneTextures& textures() override { return textures_; }
    std::string baseDirectory() override { return CVFileSystem::get().baseDirectory(); }

private:
    struct Job {
        CScene* scene;  // null: a child picture
        int child;
        bool toTexture;
        int width;
        int height;
        float time;
        bool started;
    };

    // False when the frame ends early (a VM error emptied the jobs).
    bool runTopJob() {
        size_t index = jobs_.size() - 1;
        if (jobs_[index].toTexture && !jobs_[index].started)
            texRenderBegin(jobs_[index].width, jobs_[index].height, false);
        bool finished = true;
        if (CScene* scene = jobs_[index].scene) {
            if (!jobs_[index].started && jobs_[index].time > 0.0f) scene->step();
            if (jobs_.empty()) return false;
            jobs_[index].started = true;
            finished = scene->render();
            if (jobs_.empty()) return false;
        } else {
            drawChild(jobs_[index].child);
        }
        if (!finished) return true;  // the child it asked for goes first
        if (jobs_[index].toTexture) renderedTexture_ = texRenderEnd();
        jobs_.pop_back();
        return true;
    }

    static void drawChild(int index) {
        GLint viewport[4];
        glGetIntegerv(GL_VIEWPORT, viewport);
        int w = viewport[2];
        int h = viewport[3];
        if (index == 0)
            renderClear(0.1f, 0.2f, 0.6f, 1, 3);
        else
            renderClear(0.7f, 0.6f, 0.1f, 1, 3);
        glEnable(GL_SCISSOR_TEST);
        glScissor(viewport[0] + w / 8 + index * w / 2, viewport[1] + h / 5, w / 3, h / 2);
        renderClear(0.9f, 0.3f * index, 0.2f, 1, 1);
        glScissor(viewport[0] + w / 2 - index * w / 3, viewport[1] + 2 * h / 3, w / 5, h / 4);
        renderClear(0.2f, 0.95f, 0.4f + 0.5f * index, 1, 1);
        glDisable(GL_SCISSOR_TEST);
    }

    int width_;
    int height_;
    float registers_[kSharedRegisters] = {};
    float timePass_ = kFrameTime;
    SyntheticBeatSource beat_;
    SoundSource* source_ = &beat_;
    SoundAnalyser analyser_;
    DirectSceneTextures textures_;
    std::map<std::string, std::string> properties_;
    std::vector<Job> jobs_;
    int renderedTexture_ = 0;
    bool failed_ = false;
};

// The Scene element of `id` in the default content's lists, or null.
std::unique_ptr<TiXmlElement> findScene(const std::string& id) {
    for (const char* list : {"default.xml", "blobs.xml", "library.xml", "compose.xml"}) {
        TiXmlDocument document;
        if (!document.LoadFile(std::string(VORTALIS_SCENE_LISTS "/") + list)) continue;
        for (const TiXmlElement* element : sceneElements(document))
            if (element->Attribute("id") && id == element->Attribute("id"))
                return std::make_unique<TiXmlElement>(*element);
    }
    return nullptr;
}

struct Case {
    std::string scene;  // id in the default lists
    std::string label;
    std::map<std::string, std::string> properties;  // render-node values
    int width;
    int height;
    double bpm;
};

void PrintTo(const Case& c, std::ostream* out) {
    *out << c.label;
}

// Frames at which shots are taken: early, both sides of a beat and late,
// at a tempo whose beat falls on no whole frame.
const int kShotFrames[] = {4, 19, 33, 47, 70};

class PortedSceneTest : public GlTest, public testing::WithParamInterface<Case> {
protected:
    void SetUp() override {
        GlTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        // Shaders and images come from the archive, not from the fixture's memory.
        stopUsingTestFiles();
        CVFileSystem::create(VORTALIS_REFERENCE_BASE);
        CVFileSystem::get().addArchive(VORTALIS_CONTENT_DIR "default.vortapack");
        vmSystemCreate(logLevelFromPrefix);
        ASSERT_TRUE(sceneInstallNatives());
    }
    void TearDown() override {
        if (CVFileSystem::instance()) {
            vmSystemDestroy();
            CVFileSystem::destroy();
        }
        GlTest::TearDown();
    }

    // Plays the scene from `filename` (under scenes/) and returns its shots.
    std::vector<Shot> play(const Case& c, const TiXmlElement& element,
                           const std::string& filename) {
        std::vector<Shot> shots;
        // References are disk files beside the mounted archive.
        if (filename.rfind("reference/", 0) == 0) CVFileSystem::get().addFile("scenes/" + filename);
        TiXmlElement copy(element);
        TiXmlElement* name = copy.FirstChildElement("Filename");
        name->Clear();
        name->LinkEndChild(new TiXmlText(filename.c_str()));

        host.width = c.width;
        host.height = c.height;
        ShotHost shotHost(c.bpm, c.width, c.height);
        for (const auto& [key, value] : c.properties)
            shotHost.setProperty(key, value);
        auto definition =
            SceneDefinition::fromElement(copy, "scenes/test.xml", {&shotHost, &shotHost});
        EXPECT_TRUE(definition);
        if (!definition) return shots;
        CScene scene(&shotHost, std::move(definition));
        visSeedRandom(kSeed);
        scene.initialise(true);
        EXPECT_TRUE(scene.initialised()) << filename;
        if (!scene.initialised()) return shots;
        size_t next = 0;
        for (int frame = 1; next < std::size(kShotFrames); ++frame) {
            texRenderBegin(c.width, c.height, false);
            shotHost.frame(scene);
            if (frame == kShotFrames[next]) {
                Shot shot{frame, std::vector<uint8_t>(static_cast<size_t>(c.width) * c.height * 3)};
                glPixelStorei(GL_PACK_ALIGNMENT, 1);
                glReadPixels(0, 0, c.width, c.height, GL_RGB, GL_UNSIGNED_BYTE, shot.rgb.data());
                shots.push_back(std::move(shot));
                ++next;
            }
            texRenderFinished(texRenderEnd());
            if (shotHost.failed()) {
                ADD_FAILURE() << filename << " failed in frame " << frame;
                break;
            }
        }
        scene.kill();
        EXPECT_TRUE(scene.vertexBuffers().empty() && scene.shaders().empty() &&
                    scene.renderTextures().empty())
            << filename << " left resources behind";
        return shots;
    }

    LogCapture log;
};

// Largest channel difference and the number of pixels that differ at all.
std::pair<int, int> compare(const Shot& a, const Shot& b) {
    int largest = 0;
    int pixels = 0;
    for (size_t i = 0; i < a.rgb.size(); i += 3) {
        int d = 0;
        for (size_t k = 0; k < 3; ++k)
            d = std::max(d, std::abs(a.rgb[i + k] - b.rgb[i + k]));
        largest = std::max(largest, d);
        pixels += d > 0;
    }
    return {largest, pixels};
}

// How far apart the darkest and brightest channel values of a shot are.
int spread(const Shot& shot) {
    auto [low, high] = std::minmax_element(shot.rgb.begin(), shot.rgb.end());
    return *high - *low;
}

TEST_P(PortedSceneTest, DrawsWhatItsAssemblerOriginalDraws) {
    const Case& c = GetParam();
    std::unique_ptr<TiXmlElement> element = findScene(c.scene);
    ASSERT_TRUE(element) << c.scene << " is in no default list";
    std::string filename = element->FirstChildElement("Filename")->GetText();

    std::vector<Shot> ported = play(c, *element, filename);
    std::vector<Shot> original = play(c, *element, "reference/" + filename);
    ASSERT_EQ(ported.size(), std::size(kShotFrames));
    ASSERT_EQ(original.size(), ported.size());

    for (size_t i = 0; i < ported.size(); ++i) {
        SCOPED_TRACE("frame " + std::to_string(ported[i].frame));
        auto [largest, pixels] = compare(ported[i], original[i]);
        EXPECT_EQ(pixels, 0) << "largest channel difference " << largest;
        // A blank picture would match anything.
        EXPECT_GT(spread(original[i]), 40);
    }
    // And the shots catch a moving picture, not one still frame five times.
    EXPECT_GT(compare(original.front(), original.back()).second, c.width * c.height / 200);

    for (const CapturedLine& line : log.lines())
        EXPECT_LT(line.level, 2) << line.text;
}

const Case kCases[] = {
    {"pulse", "pulse", {}, 160, 96, 131},
    {"blobs", "blobs", {}, 96, 160, 157},
    // The shader-scene image with each of its options.
    {"embers", "shader_feedback_display_texture", {}, 160, 96, 131},
    {"equalizer", "shader_particles", {}, 160, 96, 173},
    {"lava-tunnel", "shader_params_colours", {}, 120, 72, 131},
    {"ink", "shader_own_vertex_shader", {}, 160, 96, 97},
    {"swing", "shader_random_particles", {}, 96, 160, 131},
    {"scope", "shader_feedback_particles", {}, 160, 96, 131},
    {"fade", "fade_dissolve", {{"Duration", "1.3"}}, 160, 96, 131},
    {"fade", "fade_wipe", {{"Duration", "1.3"}, {"Style", "wipe"}}, 160, 96, 131},
    {"fade", "fade_zoom", {{"Duration", "0.9"}, {"Style", "zoom"}}, 96, 160, 131},
    {"overlay", "overlay", {{"Glow", "0.8"}}, 160, 96, 173},
    {"announce",
     "announce",
     {{"Text", "Jazzy Kaleidoscope {#7}"}, {"Duration", "1.4"}},
     160,
     96,
     131},
    {"announce", "announce_long_text", {{"Text", std::string(63, 'W')}}, 120, 72, 97},
};

std::string caseName(const testing::TestParamInfo<Case>& info) {
    return info.param.label;
}

INSTANTIATE_TEST_SUITE_P(Default, PortedSceneTest, testing::ValuesIn(kCases), caseName);

}  // namespace
