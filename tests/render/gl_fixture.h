// A real GL context for tests: one hidden SDL window per test binary, with a
// compatibility-profile context (fixed-function matrices and client arrays).
// Tests skip when there is no display, unless VORTALIS_REQUIRE_DISPLAY=1,
// which turns the skip into a failure (CI runs them under Xvfb).
//
// Each test starts from freshly reset rendering services, a frame buffer
// pool, an output of kGlWidth x kGlHeight and files served from memory.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "app/settingsAccess.h"
#include "render/frameBufferObjects.h"
#include "render/renderState.h"
#include "tests/render/memory_files.h"

constexpr int kGlWidth = 128;
constexpr int kGlHeight = 96;

class TestHost : public RenderHost {
public:
    int outputWidth() const override { return width; }
    int outputHeight() const override { return height; }
    SettingsAccess* settings() override { return &store; }
    int width = kGlWidth;
    int height = kGlHeight;
    MemorySettings store;
};

class GlTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // The colour of the pixel at (x, y) of the current read buffer, y from the bottom.
    std::array<uint8_t, 4> pixel(int x, int y) const;
    // Loads a program that draws the vertex colour (or `fragment` when given).
    unsigned colourShader(const std::string& fragment = "");

    TestHost host;
    RenderCaps caps;
    std::unique_ptr<CFrameBufferObjects> pool;
};

// True when the window and context exist.
bool glTestContextReady();
void glTestSwap();
