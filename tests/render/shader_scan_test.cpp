// The text scan that finds sampler declarations needs no GL context.
#include <gtest/gtest.h>

#include "render/shader.h"

namespace {

std::vector<std::string> scan(const std::string& source, bool expectSuccess = true) {
    std::vector<std::string> names;
    EXPECT_EQ(shaderCollectSamplers(source, &names), expectSuccess) << source;
    return names;
}

TEST(SamplerScan, NamesInDeclarationOrder) {
    EXPECT_EQ(scan("uniform sampler2D base;\nuniform\tsampler3D \t volume ;\n"
                   "uniform sampler1D line;\nvoid main() {}\n"),
              (std::vector<std::string>{"base", "volume", "line"}));
    // The scan skips a two-character suffix only: a longer type name leaks in.
    EXPECT_EQ(scan("uniform samplerCube sky;"), (std::vector<std::string>{"be sky"}));
    EXPECT_TRUE(scan("void main() { gl_FragColor = vec4(1.0); }").empty());
}

TEST(SamplerScan, IsATextScanNotAParser) {
    // Comments count, and one statement declaring two samplers is one name.
    EXPECT_EQ(scan("// sampler2D old;\nuniform sampler2D a, b;\n"),
              (std::vector<std::string>{"old", "a, b"}));
}

TEST(SamplerScan, CutShortDeclarationsFailKeepingEarlierNames) {
    EXPECT_EQ(scan("uniform sampler2D a;\nsampler2D", false), std::vector<std::string>{"a"});
    EXPECT_TRUE(scan("uniform sampler2D neverEnds", false).empty());
    EXPECT_TRUE(scan("uniform sampler2D " + std::string(256, 'x') + ";", false).empty());
    EXPECT_EQ(scan("uniform sampler2D " + std::string(255, 'y') + ";"),
              std::vector<std::string>{std::string(255, 'y')});
}

}  // namespace
