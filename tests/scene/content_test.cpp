// Every scene of the default content, played by vortalis-preview as a
// process at two tempi and in silence and recorded frame by frame
// (--record): it plays without a VM error, a GL error or a warning, its
// frames are never of one colour and never repeat, a loud beat changes the
// picture against silence at the same moment, and at both tempi no quarter
// or more of the picture swings in brightness more than three times a
// second (the usual limit for viewers sensitive to flashing light).
//
// Scenes are read from the scene lists in the source tree, so a new list
// entry is checked without touching this file. Scenes that compose children
// (fades, overlays) are left out: with black children they show nothing of
// their own.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ostream>
#include <string>
#include <vector>

#include "tests/support/temp_dir.h"
#include "tools/preview/recording.h"
#include "tools/preview/sceneCatalogue.h"

// Names a scene in test output instead of dumping its bytes.
void PrintTo(const CatalogueScene& scene, std::ostream* out) {
    *out << scene.id << " of " << scene.list;
}

namespace {

constexpr int kWidth = 160;
constexpr int kHeight = 96;
constexpr int kFrames = 180;  // three seconds at the preview's fixed 1/60 s
constexpr int kWarmUp = 10;   // frames a feedback scene may take to fill its picture
constexpr int kFramesPerSecond = 60;

// ---- judging recorded frames ----

// Relative luminance, in linear light, of an 8-bit sRGB pixel.
float luminance(const uint8_t* pixel) {
    static const std::array<float, 256> linear = [] {
        std::array<float, 256> table{};
        for (int i = 0; i < 256; ++i) {
            double c = i / 255.0;
            table[i] =
                static_cast<float>(c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4));
        }
        return table;
    }();
    return 0.2126f * linear[pixel[0]] + 0.7152f * linear[pixel[1]] + 0.0722f * linear[pixel[2]];
}

// The picture is cut into kGrid x kGrid cells; a region is any rectangle of
// cells that covers at least a quarter of the picture.
constexpr int kGrid = 4;

struct Region {
    int x0, y0, x1, y1;  // cells, x1 and y1 exclusive
};

std::vector<Region> largeRegions() {
    std::vector<Region> regions;
    for (int x0 = 0; x0 < kGrid; ++x0)
        for (int x1 = x0 + 1; x1 <= kGrid; ++x1)
            for (int y0 = 0; y0 < kGrid; ++y0)
                for (int y1 = y0 + 1; y1 <= kGrid; ++y1)
                    if ((x1 - x0) * (y1 - y0) * 4 >= kGrid * kGrid)
                        regions.push_back(Region{x0, y0, x1, y1});
    return regions;
}

// Summed luminance and pixel count of each cell, row by row.
struct CellSums {
    std::array<double, kGrid * kGrid> sum{};
    std::array<int, kGrid * kGrid> count{};
};

CellSums cellSums(const Recording& recording, const RecordedFrame& frame) {
    CellSums cells;
    for (int y = 0; y < recording.height; ++y) {
        int row = y * kGrid / recording.height;
        for (int x = 0; x < recording.width; ++x) {
            int cell = row * kGrid + x * kGrid / recording.width;
            cells.sum[cell] +=
                luminance(&frame.rgb[(static_cast<size_t>(y) * recording.width + x) * 3]);
            ++cells.count[cell];
        }
    }
    return cells;
}

// Frames at which a series turns: a rise of at least `swing` after a fall
// (or from the start), or a fall of at least `swing` after a rise. Small
// wobbles on the way up or down do not count; a flash is two such changes.
std::vector<int> opposingChanges(const std::vector<float>& series, float swing) {
    std::vector<int> changes;
    if (series.empty()) return changes;
    enum { NONE, UP, DOWN } state = NONE;
    float low = series[0];
    float high = series[0];
    for (size_t t = 0; t < series.size(); ++t) {
        float v = series[t];
        if (state != UP && v - low >= swing) {
            changes.push_back(static_cast<int>(t));
            state = UP;
            high = v;
        } else if (state != DOWN && high - v >= swing) {
            changes.push_back(static_cast<int>(t));
            state = DOWN;
            low = v;
        }
        if (state != DOWN) high = std::max(high, v);
        if (state != UP) low = std::min(low, v);
    }
    return changes;
}

// The most opposing changes of a tenth of full brightness that any large
// region makes within any `window` consecutive frames.
int mostLargeAreaChanges(const Recording& recording, int window) {
    std::vector<CellSums> cells;
    for (const RecordedFrame& frame : recording.frames)
        cells.push_back(cellSums(recording, frame));
    int most = 0;
    for (const Region& region : largeRegions()) {
        std::vector<float> series;
        for (const CellSums& frame : cells) {
            double sum = 0.0;
            int count = 0;
            for (int y = region.y0; y < region.y1; ++y)
                for (int x = region.x0; x < region.x1; ++x) {
                    sum += frame.sum[y * kGrid + x];
                    count += frame.count[y * kGrid + x];
                }
            series.push_back(count ? static_cast<float>(sum / count) : 0.0f);
        }
        std::vector<int> changes = opposingChanges(series, 0.1f);
        for (size_t first = 0; first < changes.size(); ++first) {
            size_t last = first;
            while (last < changes.size() && changes[last] < changes[first] + window)
                ++last;
            most = std::max(most, static_cast<int>(last - first));
        }
    }
    return most;
}

// Mean absolute difference of two frames' bytes, 0 to 1.
double meanDifference(const RecordedFrame& a, const RecordedFrame& b) {
    long total = 0;
    for (size_t i = 0; i < a.rgb.size(); ++i)
        total += std::abs(a.rgb[i] - b.rgb[i]);
    return a.rgb.empty() ? 0.0 : total / (255.0 * a.rgb.size());
}

// Spread between the darkest and the brightest pixel, 0 to 1.
float luminanceSpread(const RecordedFrame& frame) {
    float low = 1.0f;
    float high = 0.0f;
    for (size_t i = 0; i + 2 < frame.rgb.size(); i += 3) {
        float l = luminance(&frame.rgb[i]);
        low = std::min(low, l);
        high = std::max(high, l);
    }
    return high - low;
}

// ---- the scenes and the preview ----

// Scenes of every list under the default content's scenes/ that draw a
// picture of their own.
std::vector<CatalogueScene> defaultScenes() {
    return scenesWithPictures(readSceneCatalogue(VORTALIS_SCENE_LISTS));
}

struct PreviewRun {
    int status = -1;
    std::string output;
    Recording recording;
};

PreviewRun record(const std::string& scene, const std::string& sound, const TempDir& dir) {
    static int runs = 0;
    PreviewRun run;
    std::string file = dir.path() + scene + "-" + std::to_string(++runs) + ".vrec";
    std::string command = std::string(VORTALIS_PREVIEW) + " --base " VORTALIS_CONTENT_DIR +
                          " --size " + std::to_string(kWidth) + "x" + std::to_string(kHeight) +
                          " --frames " + std::to_string(kFrames) + " " + sound + " --record " +
                          file + " " + scene + " 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return run;
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        run.output.append(buffer, n);
    int status = pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    readRecording(file, run.recording);
    std::remove(file.c_str());
    return run;
}

// Log lines that a clean scene never causes: warnings, errors shown and
// survived, GL errors, VM errors.
std::vector<std::string> complaints(const std::string& output) {
    std::vector<std::string> found;
    size_t start = 0;
    while (start < output.size()) {
        size_t end = output.find('\n', start);
        if (end == std::string::npos) end = output.size();
        std::string line = output.substr(start, end - start);
        if (line.rfind("warn: ", 0) == 0 || line.rfind("!!! : ", 0) == 0 ||
            line.rfind("ERR : ", 0) == 0 || line.find("OpenGL Error") != std::string::npos ||
            line.find("VM Error") != std::string::npos)
            found.push_back(line);
        start = end + 1;
    }
    return found;
}

bool displayAvailable() {
    if (std::getenv("DISPLAY") || std::getenv("WAYLAND_DISPLAY")) return true;
    const char* required = std::getenv("VORTALIS_REQUIRE_DISPLAY");
    if (required && std::strcmp(required, "1") == 0) ADD_FAILURE() << "a display is required";
    return false;
}

// Checks that hold at any tempo: a clean run of every frame, never one
// colour, never the same frame twice, and no large-area flashing.
void expectPlaysWell(const PreviewRun& run, const std::string& what) {
    SCOPED_TRACE(what);
    ASSERT_EQ(run.status, 0) << run.output;
    std::vector<std::string> bad = complaints(run.output);
    EXPECT_TRUE(bad.empty()) << bad.size() << " complaints, the first: " << bad[0];
    const Recording& r = run.recording;
    ASSERT_EQ(r.width, kWidth);
    ASSERT_EQ(r.height, kHeight);
    ASSERT_EQ(r.frames.size(), static_cast<size_t>(kFrames));
    float flattest = 1.0f;
    double stillest = 1.0;
    for (int t = kWarmUp; t < kFrames; ++t) {
        flattest = std::min(flattest, luminanceSpread(r.frames[t]));
        stillest = std::min(stillest, meanDifference(r.frames[t], r.frames[t - 1]));
        ASSERT_GT(luminanceSpread(r.frames[t]), 0.02f) << "frame " << t << " is of one colour";
        ASSERT_GT(meanDifference(r.frames[t], r.frames[t - 1]), 0.0)
            << "frame " << t << " repeats the frame before";
    }
    int changes = mostLargeAreaChanges(r, kFramesPerSecond);
    // Figures for whoever tunes a scene: how close it comes to each limit.
    std::printf("%s: smallest spread %.3f, smallest change %.5f, large-area changes %d/s\n",
                what.c_str(), flattest, stillest, changes);
    EXPECT_LE(changes, 6)
        << "a quarter of the picture or more flashes more than three times in a second";
}

class DefaultSceneTest : public testing::TestWithParam<CatalogueScene> {};

TEST_P(DefaultSceneTest, PlaysFollowsTheBeatAndDoesNotFlash) {
    if (!displayAvailable()) GTEST_SKIP() << "no display";
    const std::string& scene = GetParam().id;
    TempDir dir;
    PreviewRun fast = record(scene, "--bpm 200", dir);
    expectPlaysWell(fast, scene + " at 200 beats per minute");
    PreviewRun slow = record(scene, "--bpm 90", dir);
    expectPlaysWell(slow, scene + " at 90 beats per minute");
    PreviewRun silent = record(scene, "--silence", dir);
    ASSERT_EQ(silent.status, 0) << silent.output;
    ASSERT_EQ(silent.recording.frames.size(), static_cast<size_t>(kFrames));

    // The loudest moment after the first second against the same moment in
    // silence: time, and so everything that does not follow the sound, is
    // the same in both.
    const std::vector<RecordedFrame>& beat = slow.recording.frames;
    int loudest = kFramesPerSecond;
    for (int t = kFramesPerSecond; t < kFrames; ++t)
        if (beat[t].level > beat[loudest].level) loudest = t;
    EXPECT_GT(beat[loudest].level, 0.2f) << "the beat never got loud";
    double difference = meanDifference(beat[loudest], silent.recording.frames[loudest]);
    std::printf("%s: beat against silence at frame %d: %.4f\n", scene.c_str(), loudest, difference);
    EXPECT_GT(difference, 0.01) << "frame " << loudest
                                << " looks the same with a strong beat and in silence";
}

std::string sceneName(const testing::TestParamInfo<CatalogueScene>& info) {
    std::string name;
    for (char c : info.param.id)
        name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
    return name;
}

INSTANTIATE_TEST_SUITE_P(Default, DefaultSceneTest, testing::ValuesIn(defaultScenes()), sceneName);

TEST(DefaultContentTest, TheListsHoldALibraryOfScenes) {
    // Guards the parameterised test against an unreadable source tree, which
    // would otherwise check nothing and pass.
    EXPECT_GE(defaultScenes().size(), 16u);
}

// ---- the tools behind these checks ----

TEST(RecordingTest, FramesComeBackWithTheirValuesAndACutFrameIsDropped) {
    TempDir dir;
    std::string path = dir.path() + "run.vrec";
    FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_TRUE(file);
    ASSERT_TRUE(writeRecordingHeader(file, 3, 2));
    RecordedFrame first;
    first.level = 0.25f;
    first.low = -1.5f;
    first.position = 0.75f;
    first.strength = 0.125f;
    for (int i = 0; i < 18; ++i)
        first.rgb.push_back(static_cast<uint8_t>(i * 7));
    RecordedFrame second = first;
    second.level = 0.5f;
    second.rgb[17] = 201;
    ASSERT_TRUE(writeRecordedFrame(file, first));
    ASSERT_TRUE(writeRecordedFrame(file, second));
    // A third frame that the run did not finish writing.
    ASSERT_EQ(std::fwrite(first.rgb.data(), 1, 20, file), 20u);
    std::fclose(file);

    Recording read;
    ASSERT_TRUE(readRecording(path, read));
    EXPECT_EQ(read.width, 3);
    EXPECT_EQ(read.height, 2);
    ASSERT_EQ(read.frames.size(), 2u);
    EXPECT_EQ(read.frames[0].level, 0.25f);
    EXPECT_EQ(read.frames[0].low, -1.5f);
    EXPECT_EQ(read.frames[0].position, 0.75f);
    EXPECT_EQ(read.frames[0].strength, 0.125f);
    EXPECT_EQ(read.frames[0].rgb, first.rgb);
    EXPECT_EQ(read.frames[1].level, 0.5f);
    EXPECT_EQ(read.frames[1].rgb[17], 201);

    dir.write("other.vrec", "VRAC\3\0\0\0");
    Recording wrong;
    EXPECT_FALSE(readRecording(dir.path() + "other.vrec", wrong));
    EXPECT_FALSE(readRecording(dir.path() + "missing.vrec", wrong));
}

TEST(SceneCatalogueTest, ListsEveryListsScenesAndKnowsWhichComposeChildren) {
    TempDir dir;
    dir.write("b.xml",
              "<SceneList><Scene id=\"fader\"><Filename>f.vsi</Filename>"
              "<Data><Type>fade</Type></Data></Scene>"
              "<Scene id=\"layer\"><Filename>o.vsi</Filename>"
              "<Data><Type>overlay</Type><Styles>pop</Styles></Data></Scene>"
              "<Scene id=\"none\"><Filename>n.vsi</Filename>"
              "<Data><Type>fade</Type><Inputs>0</Inputs></Data></Scene></SceneList>");
    dir.write("a.xml",
              "<SceneList><Scene id=\"plain\"><Filename>p.vsi</Filename>"
              "<Data><Styles>heat jazzy</Styles></Data></Scene>"
              "<Scene><Filename>nameless.vsi</Filename></Scene></SceneList>");
    dir.write("c.txt", "<SceneList><Scene id=\"ignored\"/></SceneList>");
    std::vector<CatalogueScene> all = readSceneCatalogue(dir.path());
    ASSERT_EQ(all.size(), 4u);
    EXPECT_EQ(all[0].id, "plain");
    EXPECT_EQ(all[0].list, "a.xml");
    EXPECT_EQ(all[0].styles, "heat jazzy");
    EXPECT_EQ(all[1].id, "fader");
    EXPECT_EQ(all[1].inputs, 2);
    EXPECT_EQ(all[2].inputs, 1);
    EXPECT_EQ(all[2].styles, "pop");
    EXPECT_EQ(all[3].inputs, 0);
    std::vector<CatalogueScene> pictures = scenesWithPictures(all);
    ASSERT_EQ(pictures.size(), 2u);
    EXPECT_EQ(pictures[0].id, "plain");
    EXPECT_EQ(pictures[1].id, "none");
}

TEST(PreviewOptionsTest, SilenceAndRecordingAreCheckedLikeTheRest) {
    for (const char* arguments : {"--silence --bpm 90 pulse", "--bpm 90 --silence pulse",
                                  "--record out.vrec pulse", "--frames 3 --record"}) {
        std::string command = std::string(VORTALIS_PREVIEW) + " " + arguments + " 2>&1";
        FILE* pipe = popen(command.c_str(), "r");
        ASSERT_TRUE(pipe);
        std::string output;
        char buffer[1024];
        size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
            output.append(buffer, n);
        int status = pclose(pipe);
        EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, 2) << arguments << "\n" << output;
        EXPECT_NE(output.find("[--bpm B | --silence] [--record FILE]"), std::string::npos)
            << arguments;
    }
}

// ---- the flash measure itself ----

Recording syntheticRecording(int frames) {
    Recording r;
    r.width = 80;
    r.height = 48;
    r.frames.resize(frames);
    for (RecordedFrame& frame : r.frames)
        frame.rgb.assign(static_cast<size_t>(r.width) * r.height * 3, 40);
    return r;
}

// Paints the rectangle [x0, x1) x [y0, y1) of frame t grey `value`.
void paint(Recording& r, int t, int x0, int y0, int x1, int y1, uint8_t value) {
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x)
            std::memset(&r.frames[t].rgb[(static_cast<size_t>(y) * r.width + x) * 3], value, 3);
}

TEST(FlashMeasureTest, CountsLargeAreasThatSwingAndNotSmallOnesOrSlowFades) {
    // A quarter of the picture, not aligned with the grid, lit for 5 frames
    // in every 12: five flashes a second, ten changes in one second.
    Recording quarter = syntheticRecording(120);
    for (int t = 0; t < 120; ++t)
        if (t % 12 < 5) paint(quarter, t, 15, 10, 57, 36, 230);
    EXPECT_GE(mostLargeAreaChanges(quarter, 60), 9);

    // The same beat on a tenth of the picture, from grey 40 to grey 120
    // (0.02 to 0.19 in linear light), lifts no quarter of it by a tenth.
    Recording small = syntheticRecording(120);
    for (int t = 0; t < 120; ++t)
        if (t % 12 < 5) paint(small, t, 3, 5, 28, 20, 120);
    EXPECT_EQ(mostLargeAreaChanges(small, 60), 0);
    // At full white it does: a small but blinding flash counts.
    for (int t = 0; t < 120; ++t)
        if (t % 12 < 5) paint(small, t, 3, 5, 28, 20, 255);
    EXPECT_GE(mostLargeAreaChanges(small, 60), 9);

    // The whole picture fading up once over a second and back down over the
    // next is two changes, however large.
    Recording fade = syntheticRecording(120);
    for (int t = 0; t < 120; ++t)
        paint(fade, t, 0, 0, 80, 48,
              static_cast<uint8_t>(t < 60 ? 40 + t * 3 : 40 + (119 - t) * 3));
    EXPECT_EQ(mostLargeAreaChanges(fade, 60), 2);

    // A dark swing of the whole picture that stays below a tenth of full
    // brightness in linear light (grey 40 to grey 80 is 0.02 to 0.08) is no
    // flash at any rate.
    Recording dim = syntheticRecording(120);
    for (int t = 0; t < 120; ++t)
        if (t % 4 < 2) paint(dim, t, 0, 0, 80, 48, 80);
    EXPECT_EQ(mostLargeAreaChanges(dim, 60), 0);
}

TEST(FlashMeasureTest, OpposingChangesIgnoreWobblesOnTheWay) {
    std::vector<float> series = {0.0f, 0.05f, 0.04f, 0.12f, 0.3f, 0.28f, 0.31f, 0.15f, 0.27f, 0.1f};
    // Up at 0.12 (index 3); the dip to 0.28 is a wobble; down at 0.15, 0.16
    // below the peak 0.31 (index 7); up again at 0.27 and down at 0.1.
    EXPECT_EQ(opposingChanges(series, 0.1f), (std::vector<int>{3, 7, 8, 9}));
    EXPECT_TRUE(opposingChanges({0.5f, 0.55f, 0.48f, 0.52f}, 0.1f).empty());
}

}  // namespace
