#include "js/tokenizer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "js/value.h"

namespace {

struct Read {
    int kind;
    std::string text;
};

std::vector<Read> readAll(const std::string& code) {
    CJsTokenizer reader(code);
    std::vector<Read> tokens;
    while (reader.token() != TOK_EOF) {
        tokens.push_back({reader.token(), reader.tokenText()});
        reader.nextToken();
    }
    return tokens;
}

std::vector<int> kinds(const std::string& code) {
    std::vector<int> result;
    for (const Read& token : readAll(code))
        result.push_back(token.kind);
    return result;
}

TEST(TokenizerTest, NumbersKeepTheirTextAndKind) {
    auto hex = readAll("0x1F");
    ASSERT_EQ(1u, hex.size());
    EXPECT_EQ(TOK_INT, hex[0].kind);
    EXPECT_EQ("0x1F", hex[0].text);

    auto upper = readAll("0X1F");
    ASSERT_EQ(2u, upper.size());
    EXPECT_EQ(TOK_INT, upper[0].kind);
    EXPECT_EQ("0", upper[0].text);
    EXPECT_EQ(TOK_ID, upper[1].kind);
    EXPECT_EQ("X1F", upper[1].text);

    auto exponent = readAll("1.5e-3");
    ASSERT_EQ(1u, exponent.size());
    EXPECT_EQ(TOK_FLOAT, exponent[0].kind);
    EXPECT_EQ("1.5e-3", exponent[0].text);

    auto plus = readAll("1e+3");
    ASSERT_EQ(3u, plus.size());
    EXPECT_EQ(TOK_FLOAT, plus[0].kind);
    EXPECT_EQ("1e", plus[0].text);
    EXPECT_EQ('+', plus[1].kind);
    EXPECT_EQ(TOK_INT, plus[2].kind);

    auto trailingDot = readAll("5.");
    ASSERT_EQ(1u, trailingDot.size());
    EXPECT_EQ(TOK_FLOAT, trailingDot[0].kind);
    EXPECT_EQ("5.", trailingDot[0].text);

    // Hexadecimal numbers take no fraction.
    EXPECT_EQ((std::vector<int>{TOK_INT, '.', TOK_INT}), kinds("0x1.5"));
}

// Settings and JSON are written with quoteJsString and read back by the
// tokenizer: every byte must survive the trip, UTF-8 text included.
TEST(TokenizerTest, QuotedStringsReadBackExactly) {
    std::string every;
    for (int byte = 1; byte < 256; byte++)
        every += static_cast<char>(byte);
    for (const std::string& text : {every, std::string("Caf\xC3\xA9 \xE2\x80\x93 tab\there"),
                                    std::string("x\x7F\r\n\a\"'\\")}) {
        auto tokens = readAll(quoteJsString(text));
        ASSERT_EQ(1u, tokens.size());
        EXPECT_EQ(text, tokens[0].text);
    }
    // Escapes quoteJsString never writes keep their letter in double quotes.
    EXPECT_EQ("tz", readAll("\"\\t\\z\"")[0].text);
}

TEST(TokenizerTest, StringEscapesDependOnTheQuote) {
    EXPECT_EQ("atb", readAll("\"a\\tb\"")[0].text);
    EXPECT_EQ("a\tb", readAll("'a\\tb'")[0].text);
    EXPECT_EQ("A", readAll("'\\101'")[0].text);
    EXPECT_EQ("A", readAll("'\\x41'")[0].text);
    EXPECT_EQ("a\nb", readAll("\"a\\nb\"")[0].text);
    EXPECT_EQ("\"\\", readAll("\"\\\"\\\\\"")[0].text);
    EXPECT_EQ("'\\\a\r", readAll("'\\'\\\\\\a\\r'")[0].text);
    // Escapes may produce NUL bytes, which stay in the text.
    EXPECT_EQ(std::string("a\0b", 3), readAll("'a\\000b'")[0].text);
    // Unterminated strings end at the end of input.
    auto open = readAll("\"abc");
    ASSERT_EQ(1u, open.size());
    EXPECT_EQ(TOK_STRING, open[0].kind);
    EXPECT_EQ("abc", open[0].text);
}

TEST(TokenizerTest, OperatorsTakeTheLongestKnownForm) {
    EXPECT_EQ((std::vector<int>{TOK_ID, TOK_RSHIFTUNSIGNED, '=', TOK_ID}), kinds("a>>>=b"));
    EXPECT_EQ((std::vector<int>{TOK_TYPEEQUAL, TOK_EQUAL, TOK_NTYPEEQUAL, TOK_NEQUAL}),
              kinds("=== == !== !="));
    EXPECT_EQ((std::vector<int>{TOK_LSHIFTEQUAL, TOK_LSHIFT, TOK_LEQUAL, '='}),
              kinds("<<= << <=="));
    EXPECT_EQ((std::vector<int>{TOK_RSHIFTEQUAL, TOK_RSHIFT, TOK_GEQUAL}), kinds(">>= >> >="));
    EXPECT_EQ(
        (std::vector<int>{TOK_PLUSEQUAL, TOK_PLUSPLUS, '+', TOK_MINUSEQUAL, TOK_MINUSMINUS, '-'}),
        kinds("+= ++ + -= -- -"));
    EXPECT_EQ(
        (std::vector<int>{TOK_ANDEQUAL, TOK_ANDAND, TOK_OREQUAL, TOK_OROR, TOK_XOREQUAL, '^'}),
        kinds("&= && |= || ^= ^"));
    // A vertical tab is no white space; bytes above 127 are tokens of their own.
    EXPECT_EQ((std::vector<int>{'\v', 0xE9}), kinds("\v\xE9"));
}

TEST(TokenizerTest, KeywordsHaveTheirCodes) {
    EXPECT_EQ((std::vector<int>{TOK_IF, TOK_ELSE, TOK_DO, TOK_WHILE, TOK_FOR, TOK_BREAK,
                                TOK_CONTINUE, TOK_FUNCTION, TOK_RETURN, TOK_VAR, TOK_TRUE,
                                TOK_FALSE, TOK_NULL, TOK_UNDEFINED, TOK_NEW, TOK_ID}),
              kinds("if else do while for break continue function return var true false "
                    "null undefined new newer"));
    EXPECT_EQ(280, TOK_IF);
    EXPECT_EQ(294, TOK_NEW);
    EXPECT_EQ(279, TOK_XOREQUAL);
}

TEST(TokenizerTest, WordsThatOnlyResembleKeywordsAreNames) {
    // Same first letter and length as a keyword, a keyword with more or less,
    // another case, or digits and underscores: all names, read whole.
    const std::vector<Read> read =
        readAll("fox fals functiom nul nev iff Do undefinex vars whilst r3turn _if t2ue brea");
    ASSERT_EQ(14u, read.size());
    for (const Read& token : read)
        EXPECT_EQ(TOK_ID, token.kind) << token.text;
    EXPECT_EQ("functiom", read[2].text);
    EXPECT_EQ("r3turn", read[10].text);
    EXPECT_EQ((std::vector<int>{TOK_FOR, '(', TOK_FALSE, TOK_INT, TOK_NULL, TOK_ID}),
              kinds("for(false 7null nulla"));
}

TEST(TokenizerTest, TokenNames) {
    EXPECT_EQ("EOF", tokenName(0));
    EXPECT_EQ("'('", tokenName('('));
    EXPECT_EQ("ID", tokenName(TOK_ID));
    EXPECT_EQ("STRING", tokenName(TOK_STRING));
    EXPECT_EQ(">>>", tokenName(TOK_RSHIFTUNSIGNED));
    EXPECT_EQ("^=", tokenName(TOK_XOREQUAL));
    EXPECT_EQ("undefined", tokenName(TOK_UNDEFINED));
    EXPECT_EQ("?[10]", tokenName('\n'));
    EXPECT_EQ("?[200]", tokenName(200));
    EXPECT_EQ("?[295]", tokenName(295));
}

TEST(TokenizerTest, CommentsAndEmptyTextsEndAtOnce) {
    EXPECT_TRUE(readAll("").empty());
    EXPECT_TRUE(readAll("  // only a comment").empty());
    EXPECT_TRUE(readAll("/* open block comment").empty());
    EXPECT_EQ((std::vector<int>{TOK_ID, TOK_ID}), kinds("a /* x */ b // c"));
    // A NUL byte ends the text.
    EXPECT_EQ((std::vector<int>{TOK_ID}), kinds(std::string("a\0b c", 5)));
}

TEST(TokenizerTest, PositionsCountColumnsFromOneOnlyOnTheFirstLine) {
    CJsTokenizer reader("ab\ncd");
    EXPECT_EQ("(line: 1, col: 1)", reader.positionText(0));
    EXPECT_EQ("(line: 1, col: 2)", reader.positionText(1));
    EXPECT_EQ("(line: 2, col: 0)", reader.positionText(3));
    EXPECT_EQ("(line: 2, col: 1)", reader.positionText(4));
    EXPECT_EQ(0, reader.tokenStart());
    EXPECT_EQ(1, reader.tokenEnd());
    reader.nextToken();
    EXPECT_EQ(3, reader.tokenStart());
    EXPECT_EQ(4, reader.tokenEnd());
    EXPECT_EQ(1, reader.lastTokenEnd());
    // A negative offset means the end of the previous token.
    EXPECT_EQ("(line: 1, col: 2)", reader.positionText(-1));
}

TEST(TokenizerTest, ExpectTokenReportsWhatItGot) {
    CJsTokenizer reader("x = 1;\ny = 2\n  z;");
    reader.expectToken(TOK_ID);
    reader.expectToken('=');
    reader.expectToken(TOK_INT);
    reader.expectToken(';');
    reader.expectToken(TOK_ID);
    reader.expectToken('=');
    reader.expectToken(TOK_INT);
    try {
        reader.expectToken(';');
        FAIL() << "expected an error";
    } catch (const CScriptException& error) {
        EXPECT_EQ("Got ID expected ';' at (line: 3, col: 2)", error.text);
    }
    // A failed expectation leaves the reader where it was.
    EXPECT_EQ(TOK_ID, reader.token());
    EXPECT_EQ("z", reader.tokenText());
}

TEST(TokenizerTest, WindowReadersReplayPartOfTheText) {
    CJsTokenizer reader("while (i < 10) i++; rest");
    reader.expectToken(TOK_WHILE);
    reader.expectToken('(');
    int start = reader.tokenStart();
    while (reader.token() != ')')
        reader.nextToken();
    auto condition = reader.subReader(start);
    EXPECT_EQ(start, condition->windowStart());
    for (int pass = 0; pass < 2; pass++) {
        condition->reset();
        EXPECT_EQ(TOK_ID, condition->token());
        EXPECT_EQ(7, condition->tokenStart());
        condition->nextToken();
        EXPECT_EQ('<', condition->token());
        condition->nextToken();
        EXPECT_EQ(TOK_INT, condition->token());
        EXPECT_EQ("10", condition->tokenText());
        condition->nextToken();
        EXPECT_EQ(TOK_EOF, condition->token());
    }
    // Positions stay those of the whole text.
    EXPECT_EQ("(line: 1, col: 13)", condition->positionText(-1));
}

TEST(TokenizerTest, WindowPositionsIgnoreLineFeedsBeyondTheWindow) {
    CJsTokenizer reader("a\nb");
    reader.nextToken();
    auto window = reader.subReader(0);
    EXPECT_EQ(1, window->windowEnd());
    window->nextToken();
    EXPECT_EQ(TOK_EOF, window->token());
    EXPECT_EQ(1, window->tokenStart());
    window->nextToken();
    EXPECT_EQ(2, window->tokenStart());
    EXPECT_EQ("(line: 1, col: 3)", window->positionText(window->tokenStart()));
    EXPECT_EQ("(line: 2, col: 0)", reader.positionText(2));
}

TEST(TokenizerTest, SourceSinceCapturesThroughThePreviousToken) {
    CJsTokenizer reader("function f(a) { return a; } next");
    while (reader.token() != '{')
        reader.nextToken();
    int start = reader.tokenStart();
    while (reader.token() != '}')
        reader.nextToken();
    reader.nextToken();
    EXPECT_EQ("{ return a; }", reader.sourceSince(start));
}

TEST(TokenizerTest, ReadingPastTheEndKeepsGivingEnd) {
    CJsTokenizer reader("a");
    reader.nextToken();
    EXPECT_EQ(TOK_EOF, reader.token());
    reader.nextToken();
    reader.nextToken();
    EXPECT_EQ(TOK_EOF, reader.token());
    reader.reset();
    EXPECT_EQ(TOK_ID, reader.token());
}

}  // namespace
