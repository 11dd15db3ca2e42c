// Shared set-up of the tests that open real windows. Without a display they
// are skipped, unless VORTALIS_REQUIRE_DISPLAY=1 (as in CI) makes that a failure.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/glWin.h"

// True when SDL can open its video subsystem here.
bool displayAvailable();
bool displayRequired();

struct RecordedBox {
    CGLWin::BoxKind kind;
    std::string title;
    std::string text;
};

class DisplayTest : public ::testing::Test {
protected:
    void SetUp() override;

    // A window whose message boxes are recorded instead of shown; questions
    // are answered with `answer`.
    void prepare(CGLWin& window);

    std::vector<RecordedBox> boxes;
    bool answer = true;
};
