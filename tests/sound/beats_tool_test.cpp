// vortalis-beats on generated drum loops whose beats are known.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cmath>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "tests/sound/test_music.h"
#include "tests/support/temp_dir.h"

namespace {

struct ToolRun {
    int status = -1;
    std::string out;
};

ToolRun beats(const std::string& arguments) {
    ToolRun run;
    const std::string command = std::string(VORTALIS_BEATS) + " " + arguments + " 2>/dev/null";
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return run;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0)
        run.out.append(buffer, n);
    const int status = pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

// The harmonic mean of precision and recall, each estimate matching at most
// one true beat within ±70 ms; both counted from `from` to `to` seconds.
double fMeasure(const std::vector<double>& found, const std::vector<double>& truth, double from,
                double to) {
    std::vector<double> estimates, actual;
    for (double t : found)
        if (t >= from && t <= to) estimates.push_back(t);
    for (double t : truth)
        if (t >= from && t <= to) actual.push_back(t);
    std::vector<bool> used(actual.size(), false);
    int hits = 0;
    for (double t : estimates) {
        for (size_t j = 0; j < actual.size(); ++j) {
            if (!used[j] && std::abs(t - actual[j]) <= 0.070) {
                used[j] = true;
                ++hits;
                break;
            }
        }
    }
    if (hits == 0) return 0.0;
    const double precision = double(hits) / estimates.size();
    const double recall = double(hits) / actual.size();
    return 2.0 * precision * recall / (precision + recall);
}

class DrumLoops : public ::testing::TestWithParam<double> {};

// The first five seconds are left out: the tempo needs about three to be
// found and the beat a few more to settle on the drums.
TEST_P(DrumLoops, BeatsMatchTheDrumsWithAnFMeasureOfAtLeast09) {
    TempDir dir;
    music::Loop loop;
    loop.bpm = GetParam();
    loop.seconds = 16.0;
    loop.seed = static_cast<uint32_t>(loop.bpm * 3);
    const std::string path = dir.path() + "loop.wav";
    ASSERT_TRUE(music::writeWav(path, music::render(loop, 44100), 44100, 2, 0.8));

    const ToolRun run = beats(path);
    ASSERT_EQ(run.status, 0);
    std::istringstream lines(run.out);
    std::string word;
    double tempo = 0.0;
    ASSERT_TRUE(lines >> word >> tempo) << run.out;
    EXPECT_EQ(word, "tempo");
    std::vector<double> found;
    for (double t; lines >> t;) {
        if (!found.empty()) {
            EXPECT_GT(t, found.back());
        }
        found.push_back(t);
    }
    const double f = fMeasure(found, music::beatTimes(loop.bpm, loop.seconds), 5.0, 15.9);
    std::printf("%.0f bpm: tempo %.2f, %zu beats, F-measure %.3f\n", loop.bpm, tempo, found.size(),
                f);
    EXPECT_GE(f, 0.9);
    EXPECT_NEAR(tempo, loop.bpm, 0.02 * loop.bpm);
}

INSTANTIATE_TEST_SUITE_P(Tempi, DrumLoops, ::testing::Values(70.0, 96.0, 123.0, 151.0, 180.0));

TEST(BeatsTool, ReportsBadUsageAndUnreadableFiles) {
    TempDir dir;
    music::Loop loop;
    loop.seconds = 2.0;
    const std::string path = dir.path() + "short.wav";
    ASSERT_TRUE(music::writeWav(path, music::render(loop, 22050), 22050, 1));
    dir.write("noise.wav", "not a wave file");

    EXPECT_EQ(beats("").status, 2);
    EXPECT_EQ(beats(path + " --fps").status, 2);
    EXPECT_EQ(beats(path + " --fps 0").status, 2);
    EXPECT_EQ(beats(path + " --fps 12x").status, 2);
    EXPECT_EQ(beats(path + " --speed 3").status, 2);
    EXPECT_EQ(beats(path + " " + path).status, 2);
    EXPECT_EQ(beats(dir.path() + "missing.wav").status, 1);
    EXPECT_EQ(beats(dir.path() + "noise.wav").status, 1);

    const ToolRun run = beats("--fps 24.5 " + path);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out.compare(0, 6, "tempo "), 0) << run.out;
    // Every beat lies within the two seconds of the file.
    std::istringstream lines(run.out.substr(run.out.find('\n') + 1));
    int count = 0;
    for (double t; lines >> t; ++count) {
        EXPECT_GE(t, 0.0);
        EXPECT_LE(t, 2.0);
    }
    EXPECT_GE(count, 1);
}

}  // namespace
