// The on-screen display's bookkeeping, without a display: colour prefixes,
// the glyph width table, and how messages age, fade and leave.
#include <gtest/gtest.h>

#include <iterator>
#include <string>

#include "vis/onScreenDisplay.h"

namespace {

struct Colour {
    float red, green, blue;
};

void expectColour(const COnScreenDisplay::Message& message, Colour colour) {
    EXPECT_FLOAT_EQ(message.red, colour.red) << message.text;
    EXPECT_FLOAT_EQ(message.green, colour.green) << message.text;
    EXPECT_FLOAT_EQ(message.blue, colour.blue) << message.text;
}

TEST(OsdMessages, ALevelFourLineIsRedWithoutItsPrefixOrLineFeed) {
    COnScreenDisplay osd;
    osd.addMessage("?Vortalis needs OpenGL's GLSL support to work\n");
    ASSERT_EQ(osd.messages().size(), 1u);
    EXPECT_EQ(osd.messages()[0].text, "Vortalis needs OpenGL's GLSL support to work");
    expectColour(osd.messages()[0], {1, 0, 0});
    EXPECT_FLOAT_EQ(osd.messages()[0].age, 0.0f);
}

TEST(OsdMessages, EachPrefixGivesItsColour) {
    const struct {
        const char* text;
        Colour colour;
    } cases[] = {
        {"!yellow", {1, 1, 0}},        {"?red", {1, 0, 0}},   {":blue", {0, 0, 1}},
        {"^cyan", {0, 1, 1}},          {"&green", {0, 1, 0}}, {"*green", {0, 1, 0}},
        {"#grey", {0.5f, 0.5f, 0.5f}}, {"plain", {1, 1, 1}},
    };
    COnScreenDisplay osd;
    for (const auto& c : cases)
        osd.addMessage(c.text);
    ASSERT_EQ(osd.messages().size(), std::size(cases));
    for (size_t i = 0; i < std::size(cases); i++) {
        std::string expected = cases[i].text;
        if (i + 1 < std::size(cases)) expected.erase(0, 1);
        EXPECT_EQ(osd.messages()[i].text, expected);
        expectColour(osd.messages()[i], cases[i].colour);
    }
}

TEST(OsdMessages, PrefixesAreTakenInTableOrderEachAtMostOnce) {
    COnScreenDisplay osd;
    osd.addMessage("!?both\n\n");  // yellow, then red replaces it
    osd.addMessage("?!late");      // '!' comes before '?' in the table: it stays text
    osd.addMessage("??twice");
    osd.addMessage("&*#mixed");
    osd.addMessage("?");
    ASSERT_EQ(osd.messages().size(), 5u);
    EXPECT_EQ(osd.messages()[0].text, "both");
    expectColour(osd.messages()[0], {1, 0, 0});
    EXPECT_EQ(osd.messages()[1].text, "!late");
    expectColour(osd.messages()[1], {1, 0, 0});
    EXPECT_EQ(osd.messages()[2].text, "?twice");
    expectColour(osd.messages()[2], {1, 0, 0});
    EXPECT_EQ(osd.messages()[3].text, "mixed");
    expectColour(osd.messages()[3], {0.5f, 0.5f, 0.5f});
    EXPECT_EQ(osd.messages()[4].text, "");
    expectColour(osd.messages()[4], {1, 0, 0});
}

TEST(OsdCharacterWidths, FollowTheFontSheet) {
    const struct {
        int code, width;
    } cases[] = {
        {0, 18},   {9, 0},    {10, 0},   {13, 0},   {11, 18},  {31, 18},  {32, 7},   {34, 11},
        {37, 18},  {39, 6},   {47, 7},   {48, 13},  {57, 13},  {58, 7},   {63, 15},  {'@', 23},
        {'I', 7},  {'M', 21}, {'O', 18}, {'W', 23}, {'Z', 14}, {'_', 13}, {'`', 8},  {'i', 7},
        {'m', 21}, {'o', 15}, {'r', 9},  {'w', 19}, {'z', 12}, {'~', 14}, {127, 18}, {128, 18},
        {159, 18}, {160, 7},  {169, 18}, {176, 10}, {188, 20}, {191, 15}, {198, 24}, {215, 14},
        {216, 19}, {223, 15}, {230, 21}, {239, 7},  {247, 13}, {254, 15}, {255, 13},
    };
    for (const auto& c : cases)
        EXPECT_EQ(COnScreenDisplay::characterWidth(static_cast<unsigned char>(c.code)), c.width)
            << "code " << c.code;
}

TEST(OsdAgeing, MessagesAgeOnlyWhileScenesPlay) {
    COnScreenDisplay osd;
    osd.addMessage("^idle");
    for (int frame = 0; frame < 40; frame++)
        osd.advance(0.5f, false);
    ASSERT_EQ(osd.messages().size(), 1u);
    EXPECT_FLOAT_EQ(osd.messages()[0].age, 0.0f);

    osd.advance(0.375f, true);
    EXPECT_FLOAT_EQ(osd.messages()[0].age, 0.375f);
    EXPECT_FLOAT_EQ(COnScreenDisplay::messageAlpha(osd.messages()[0].age), 1.0f);
}

TEST(OsdAgeing, FadesInTheTenthSecondAndThenTheNextMovesUp) {
    COnScreenDisplay osd;
    osd.addMessage("?first");
    osd.advance(3.0f, true);
    osd.addMessage("!second");

    osd.advance(6.0f, true);  // first is 9 s old
    ASSERT_EQ(osd.messages().size(), 2u);
    EXPECT_FLOAT_EQ(COnScreenDisplay::messageAlpha(osd.messages()[0].age), 1.0f);

    osd.advance(0.25f, true);
    EXPECT_NEAR(COnScreenDisplay::messageAlpha(osd.messages()[0].age), 0.75f, 1e-5f);
    EXPECT_FLOAT_EQ(COnScreenDisplay::messageAlpha(osd.messages()[1].age), 1.0f);

    osd.advance(0.5f, false);  // the fade pauses with the scenes
    EXPECT_NEAR(COnScreenDisplay::messageAlpha(osd.messages()[0].age), 0.75f, 1e-5f);

    osd.advance(0.625f, true);
    EXPECT_NEAR(COnScreenDisplay::messageAlpha(osd.messages()[0].age), 0.125f, 1e-5f);

    osd.advance(0.125f, true);  // first reaches ten seconds
    ASSERT_EQ(osd.messages().size(), 1u);
    EXPECT_EQ(osd.messages()[0].text, "second");
    EXPECT_FLOAT_EQ(osd.messages()[0].age, 7.0f);
}

TEST(OsdAgeing, ProgressScreenFadesOverOneSecondWithOrWithoutScenes) {
    COnScreenDisplay osd;
    EXPECT_FLOAT_EQ(osd.progressOpacity(), 1.0f);
    osd.advance(0.25f, false);
    EXPECT_FLOAT_EQ(osd.progressOpacity(), 0.75f);
    osd.advance(0.5f, true);
    EXPECT_FLOAT_EQ(osd.progressOpacity(), 0.25f);
    osd.advance(2.0f, true);
    EXPECT_FLOAT_EQ(osd.progressOpacity(), 0.0f);
}

}  // namespace
