#include "js/library.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "app/random.h"
#include "js/engine.h"

namespace {

std::vector<std::string> memberNames(const CJsValue* value) {
    std::vector<std::string> names;
    for (CJsBinding* child = value->firstChild; child; child = child->next) {
        names.push_back(child->name);
    }
    return names;
}

class LibraryTest : public ::testing::Test {
protected:
    LibraryTest() {
        engine.setOutput([this](const std::string& text) { output += text; });
        registerBaseLibrary(engine);
    }
    std::string eval(const std::string& code) { return engine.evalToString(code); }

    CJsEngine engine;
    std::string output;
};

TEST_F(LibraryTest, RegistersInItsOrderWithItsParameterNames) {
    EXPECT_EQ((std::vector<std::string>{"String", "Array", "Object", "exec", "eval", "trace",
                                        "Math", "charToInt", "Integer", "JSON"}),
              memberNames(engine.root()));
    EXPECT_EQ((std::vector<std::string>{"indexOf", "substring", "charAt", "charCodeAt",
                                        "fromCharCode", "split"}),
              memberNames(engine.stringClass()));
    EXPECT_EQ((std::vector<std::string>{"contains", "remove", "join"}),
              memberNames(engine.arrayClass()));
    EXPECT_EQ((std::vector<std::string>{"dump", "clone"}), memberNames(engine.objectClass()));
    EXPECT_EQ((std::vector<std::string>{"min", "max"}),
              memberNames(engine.lookupPath("Math.randInt")));
    EXPECT_EQ((std::vector<std::string>{"obj", "replacer"}),
              memberNames(engine.lookupPath("JSON.stringify")));
    EXPECT_EQ((std::vector<std::string>{"lo", "hi"}),
              memberNames(engine.lookupPath("String.substring")));
    EXPECT_TRUE(engine.lookupPath("exec")->isNative());
}

TEST_F(LibraryTest, MathLibraryAddsItsFunctionsInOrder) {
    EXPECT_EQ(nullptr, engine.lookupPath("Math.abs"));
    registerMathLibrary(engine);
    std::vector<std::string> names = memberNames(engine.lookupPath("Math"));
    EXPECT_EQ((std::vector<std::string>{
                  "rand", "randInt",   "abs",       "round", "min",   "max",   "range", "sign",
                  "PI",   "toDegrees", "toRadians", "sin",   "asin",  "cos",   "acos",  "tan",
                  "atan", "sinh",      "cosh",      "tanh",  "asinh", "acosh", "atanh", "E",
                  "log",  "log10",     "exp",       "pow",   "sqr",   "sqrt"}),
              names);
    EXPECT_EQ((std::vector<std::string>{"x", "a", "b"}),
              memberNames(engine.lookupPath("Math.range")));
}

TEST_F(LibraryTest, RandomIntegersCoverTheirInclusiveRange) {
    visSeedRandom(1234);
    std::set<int> seen;
    for (int i = 0; i < 200; i++)
        seen.insert(engine.evalExpressions("Math.randInt(0, 1)")->asInt());
    EXPECT_EQ((std::set<int>{0, 1}), seen);
    for (int i = 0; i < 20; i++)
        EXPECT_EQ("3", eval("Math.randInt(3, 3)"));
    // A reversed range draws from the same numbers; extreme ranges do not overflow.
    std::set<int> reversed;
    for (int i = 0; i < 200; i++)
        reversed.insert(engine.evalExpressions("Math.randInt(5, 2)")->asInt());
    EXPECT_EQ((std::set<int>{2, 3, 4, 5}), reversed);
    int wide = engine.evalExpressions("Math.randInt(-2147483647 - 1, 2147483647)")->asInt();
    EXPECT_LE(wide, -2147483647 + 32767);
    for (int i = 0; i < 50; i++) {
        double r = engine.evalExpressions("Math.rand()")->asDouble();
        EXPECT_GE(r, 0.0);
        EXPECT_LE(r, 1.0);
    }
}

TEST_F(LibraryTest, RandomDrawsFollowTheProcessGenerator) {
    visSeedRandom(99);
    int first = visRand();
    visSeedRandom(99);
    EXPECT_EQ(first % 10, engine.evalExpressions("Math.randInt(0, 9)")->asInt());
    visSeedRandom(99);
    EXPECT_DOUBLE_EQ(first / 32767.0, engine.evalExpressions("Math.rand()")->asDouble());
}

TEST_F(LibraryTest, TraceAndDumpPrintThroughTheEngine) {
    engine.runScript("var marker = 42; trace();");
    EXPECT_EQ(0u, output.find("'' = '' OBJECT \n 'String' = '' OBJECT \n"));
    EXPECT_NE(std::string::npos, output.find("\n 'marker' = '42' INTEGER \n"));
    output.clear();
    engine.runScript("var o = {a: 1}; o.dump();");
    EXPECT_EQ("> '' = '' OBJECT \n>  'a' = '1' INTEGER \n", output);
}

TEST_F(LibraryTest, CloneIsDeepAndKeepsPrototypesShared) {
    engine.runScript(
        "var proto = {p: 1}; var obj = new proto; obj.inner = {v: 1}; var c = obj.clone();"
        "c.inner.v = 2;");
    EXPECT_EQ(1, engine.lookupPath("obj.inner.v")->asInt());
    EXPECT_EQ(2, engine.lookupPath("c.inner.v")->asInt());
    EXPECT_EQ(engine.lookupPath("proto"), engine.lookupPath("c.prototype"));
}

TEST_F(LibraryTest, JoinRefusesAbsurdLengths) {
    try {
        engine.runScript("var a = []; a[2000000000] = 1; s = a.join(\",\");");
        FAIL() << "expected an error";
    } catch (const CScriptException& error) {
        EXPECT_NE(std::string::npos, error.text.find("Array too long to join"));
    }
}

}  // namespace

// settings.js is written with writeJson and run again at the next start: a
// native function or an object made with new must not make it unreadable.
TEST_F(LibraryTest, WrittenObjectsHoldingNativesReadBack) {
    engine.runScript("var s = { keep : 7, f : eval, made : new Object(), name : 'n' };");
    std::string json = engine.lookupPath("s")->writeJson("");
    CJsEngine fresh;
    registerBaseLibrary(fresh);
    fresh.runScript("var back = " + json + ";");
    EXPECT_EQ(7, fresh.lookupPath("back.keep")->asInt());
    EXPECT_EQ("n", fresh.lookupPath("back.name")->asString());
    EXPECT_TRUE(fresh.lookupPath("back.f")->isUndefined());
}
