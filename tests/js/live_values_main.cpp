// The main of js_tests: after every test the counts of live values and
// bindings must be back where they were before it, so that a value or binding
// the engine forgets to release fails the test that leaked it, in every build
// and not only under the leak checker.
#include <gtest/gtest.h>

#include "js/value.h"

namespace {

class LiveValueCheck : public ::testing::EmptyTestEventListener {
    void OnTestStart(const ::testing::TestInfo&) override { before_ = jsLiveCounts(); }
    // Runs after the fixture is gone; failures raised here count for the test.
    void OnTestEnd(const ::testing::TestInfo&) override {
        CJsLiveCounts after = jsLiveCounts();
        EXPECT_EQ(before_.values, after.values) << "script values leaked or released twice";
        EXPECT_EQ(before_.bindings, after.bindings) << "bindings leaked or released twice";
    }
    CJsLiveCounts before_;
};

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::UnitTest::GetInstance()->listeners().Append(new LiveValueCheck);
    return RUN_ALL_TESTS();
}
