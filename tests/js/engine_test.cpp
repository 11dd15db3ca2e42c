#include "js/engine.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "js/library.h"

namespace {

class EngineTest : public ::testing::Test {
protected:
    EngineTest() {
        engine.setOutput([this](const std::string& text) { output += text; });
    }

    std::string errorOf(const std::string& code) {
        try {
            engine.runScript(code);
        } catch (const CScriptException& error) {
            return error.text;
        }
        return "no error";
    }

    std::string eval(const std::string& code) { return engine.evalToString(code); }

    CJsEngine engine;
    std::string output;
};

TEST_F(EngineTest, ErrorsLeaveTheEngineUsableAndKeepEarlierAssignments) {
    EXPECT_EQ("Error Got ';' expected EOF at (line: 1, col: 17) at (line: 1, col: 15)",
              errorOf("before = 1; x = ; after = 2;"));
    EXPECT_EQ("1", eval("before"));
    EXPECT_EQ(nullptr, engine.lookupPath("after"));
    engine.runScript("after = before + 1;");
    EXPECT_EQ(2, engine.lookupPath("after")->asInt());
}

TEST_F(EngineTest, ErrorsInsideFunctionsCarryTheCallTrace) {
    engine.runScript("function f() {\n  x = {} * 2;\n}\nfunction g() { f(); }");
    EXPECT_EQ(
        "Error Operation '*' not supported on the Object datatype\n"
        "1: f from (line: 1, col: 5)\n"
        "0: g from (line: 2, col: 2) at (line: 2, col: 2)",
        errorOf("x = 1;\ng();"));
    // The trace of a failed run does not reach the next one; the callee is
    // checked before its "(" is read.
    EXPECT_EQ("Error Expecting 'h' to be a function at (line: 1, col: 1)", errorOf("h();"));
}

TEST_F(EngineTest, EvalExpressionsGivesTheLastValue) {
    EXPECT_EQ("2", eval("1+1"));
    EXPECT_EQ("undefined", eval(""));
    EXPECT_EQ("3", eval("a = 1; b = 2; a + b"));
    EXPECT_EQ("3", eval("a + b;"));
    EXPECT_EQ(CJsValue::INTEGER, engine.evalExpressions("a")->type());
    EXPECT_THROW(engine.evalExpressions("a b"), CScriptException);
}

TEST_F(EngineTest, LookupPathWalksMembers) {
    engine.runScript("var settings = {video: {width: 640}};");
    EXPECT_EQ(640, engine.lookupPath("settings.video.width")->asInt());
    EXPECT_EQ(nullptr, engine.lookupPath("settings.audio.rate"));
    EXPECT_EQ(nullptr, engine.lookupPath("nothing"));
    EXPECT_EQ(engine.stringClass(), engine.lookupPath("String"));
}

TEST_F(EngineTest, MemberChainsOnMissingNamesStayTemporary) {
    engine.runScript("a.b.c = 1;");
    EXPECT_EQ(nullptr, engine.lookupPath("a"));
    engine.runScript("function f() { q = 1; } f();");
    EXPECT_EQ(1, engine.lookupPath("q")->asInt());
}

void add(CJsValue* scope, void* data) {
    *static_cast<int*>(data) += 1;
    scope->setResult(new CJsValue(scope->argument("a")->asInt() + scope->argument("b")->asInt()));
}

void describeThis(CJsValue* scope, void*) {
    scope->setResult(new CJsValue("this=" + scope->argument("this")->asString()));
}

TEST_F(EngineTest, NativesReceiveArgumentsByNameAndTheirData) {
    int calls = 0;
    engine.registerNative("function host.math.add(a, b)", add, &calls);
    engine.registerNative("function String.describe()", describeThis, nullptr);
    EXPECT_EQ("5", eval("host.math.add(2, 3)"));
    EXPECT_EQ(1, calls);
    EXPECT_TRUE(engine.lookupPath("host.math")->isObject());
    EXPECT_EQ("this=abc", eval("s = \"abc\"; s.describe()"));
    // A second registration of the same name is never reached.
    engine.registerNative("function host.math.add(x)", describeThis, nullptr);
    EXPECT_EQ("7", eval("host.math.add(3, 4)"));
    EXPECT_THROW(engine.registerNative("nonsense", add, nullptr), CScriptException);
}

TEST_F(EngineTest, TopLevelReturnEndsOnlyThatRun) {
    engine.runScript("a = 1; return; a = 2;");
    EXPECT_EQ("RETURN statement, but not in a function.\n", output);
    EXPECT_EQ(1, engine.lookupPath("a")->asInt());
    engine.runScript("a = 3;");
    EXPECT_EQ(3, engine.lookupPath("a")->asInt());
}

TEST_F(EngineTest, LoopLimitPrintsTheTreeAndTheMessage) {
    engine.runScript("for (i = 0; i < 8191; i++) {}");
    EXPECT_EQ("", output);
    EXPECT_EQ("Error LOOP_ERROR at (line: 1, col: 12)", errorOf("while (1) {}"));
    EXPECT_NE(std::string::npos, output.find(" 'i' = '8191' INTEGER \n"));
    EXPECT_NE(std::string::npos,
              output.find("WHILE Loop exceeded 8192 iterations at (line: 1, col: 12)\n"));
    // A loop inside a function is stopped the same way and the engine goes on.
    output.clear();
    EXPECT_EQ("Error LOOP_ERROR\n0: f from (line: 1, col: 33) at (line: 1, col: 33)",
              errorOf("function f() { while (1) {} } f();"));
    EXPECT_NE(std::string::npos,
              output.find("WHILE Loop exceeded 8192 iterations at (line: 1, col: 14)\n"));
    EXPECT_EQ("5", eval("2 + 3"));
}

TEST_F(EngineTest, NestedRunsExecuteGloballyAndWrapErrorsTwice) {
    registerBaseLibrary(engine);
    EXPECT_EQ(
        "Error Error Got EOF expected ';' at (line: 1, col: 6) at (line: 1, col: 5)\n"
        "0: exec from (line: 1, col: 13) at (line: 1, col: 13)",
        errorOf("exec(\"x = 1\");"));
    // The enclosing call still sees its own locals after a nested run.
    engine.runScript("function f() { var local = 4; exec(\"g = 1;\"); return local; } r = f();");
    EXPECT_EQ(4, engine.lookupPath("r")->asInt());
    EXPECT_EQ(1, engine.lookupPath("g")->asInt());
}

void runAndSwallow(CJsValue* scope, void* data) {
    CJsEngine* engine = static_cast<CJsEngine*>(data);
    try {
        engine->runScript(scope->argument("code")->asString());
    } catch (const CScriptException&) {
        scope->setResult(new CJsValue(std::string("failed")));
    }
}

TEST_F(EngineTest, AHostCatchingANestedErrorLeavesTheOuterCallIntact) {
    engine.registerNative("function tryRun(code)", runAndSwallow, &engine);
    engine.runScript(
        "function f() { var mine = 7; var r = tryRun(\"x = ;\"); return r + mine; } out = f();");
    EXPECT_EQ("failed7", engine.lookupPath("out")->asString());
}

TEST_F(EngineTest, RunawayRecursionIsAnErrorNotACrash) {
    std::string text = errorOf("function f(n) { return f(n + 1); } f(0);");
    EXPECT_TRUE(text.find("Too much recursion") != std::string::npos ||
                text.find("nested too deeply") != std::string::npos)
        << text.substr(0, 200);
    EXPECT_EQ("3", eval("1 + 2"));
    engine.setMaxCallDepth(10);
    EXPECT_NE(std::string::npos,
              errorOf("function g(n) { if (n > 0) g(n - 1); } g(20);").find("Too much recursion"));
    engine.runScript("g(5);");
}

TEST_F(EngineTest, DeepNestingInTheSourceIsAnError) {
    for (const char* open : {"(", "[", "{a:", "!(", "-("}) {
        std::string code = "x = ";
        for (int i = 0; i < 200000; i++)
            code += open;
        code += "1;";
        EXPECT_EQ(0u, errorOf(code).find("Error Script nested too deeply")) << open;
    }
    std::string blocks;
    for (int i = 0; i < 200000; i++)
        blocks += "{";
    EXPECT_EQ(0u, errorOf(blocks).find("Error Script nested too deeply"));
    // Moderate nesting works.
    EXPECT_EQ("1", eval("((((((((((((((((((((1))))))))))))))))))))"));
}

TEST_F(EngineTest, AMistakeAfterAReturnFailsOnEveryCall) {
    engine.runScript("function f(v) { if (v) return v; x = ; }");
    std::string first = errorOf("f(1);");
    EXPECT_EQ(0u, first.find("Error Got ';' expected EOF at (line: 1, col: 24)")) << first;
    for (int i = 0; i < 3; i++)
        EXPECT_EQ(first, errorOf("f(1);")) << i;
}

namespace {

// The smallest recursion depth at which calling s() from g fails for want of
// stack (-1 when none up to `most` does); with `warm`, s is called once at the
// top first, so that its statements after the return have been read before.
int firstDepthOutOfStack(bool warm, int most) {
    int low = 0;
    int high = most + 1;
    while (low < high) {
        int middle = (low + high) / 2;
        CJsEngine engine;
        engine.setOutput([](const std::string&) {});
        engine.setMaxCallDepth(1000000);
        engine.setStackBudget(256u << 10);
        std::string nested = "1";
        for (int i = 0; i < 40; i++)
            nested = "(" + nested + ")";
        engine.runScript("function s() { return 1; x = " + nested +
                         "; }"
                         "function g(n) { if (n > 0) return g(n - 1); return s(); }");
        if (warm) engine.runScript("s();");
        bool failed = false;
        try {
            engine.runScript("g(" + std::to_string(middle) + ");");
        } catch (const CScriptException& error) {
            EXPECT_NE(std::string::npos, error.text.find("nested too deeply")) << error.text;
            failed = true;
        }
        if (failed) {
            high = middle;
        } else {
            low = middle + 1;
        }
    }
    return low > most ? -1 : low;
}

}  // namespace

TEST(EngineStackTest, StatementsReadBeforeNeedTheSameStackAgain) {
    // Reading statements without effect a second time may take a shortcut,
    // but it runs out of stack exactly where the first reading would.
    int cold = firstDepthOutOfStack(false, 4000);
    ASSERT_GT(cold, 0);
    EXPECT_EQ(cold, firstDepthOutOfStack(true, 4000));
}

TEST_F(EngineTest, WorkBudgetStopsNestedLoops) {
    engine.setWorkBudget(100000);
    std::string text = errorOf("for (i = 0; i < 8000; i++) for (j = 0; j < 8000; j++) x = 1;");
    EXPECT_NE(std::string::npos, text.find("work limit")) << text;
    // Each run has its own budget.
    engine.runScript("for (i = 0; i < 8000; i++) x = i;");
    EXPECT_EQ(7999, engine.lookupPath("x")->asInt());
}

TEST_F(EngineTest, StringsCannotGrowWithoutBound) {
    std::string text = errorOf("s = \"0123456789abcdef\"; for (i = 0; i < 100; i++) s = s + s;");
    EXPECT_NE(std::string::npos, text.find("String too long")) << text;
}

TEST_F(EngineTest, BindingsRemovedDuringAnExpressionStayValid) {
    // The element binding dies with its array while the assignment is pending.
    engine.runScript("a = [1]; a[0] = (a = 5);");
    EXPECT_EQ(5, engine.lookupPath("a")->asInt());
    registerBaseLibrary(engine);
    engine.runScript("b = [1, 2]; b[0] = b.remove(1);");
    EXPECT_EQ(1, engine.lookupPath("b")->arrayLength());
    // The function being called is replaced while it runs.
    engine.runScript("function f() { f = 0; return 9; } r = f();");
    EXPECT_EQ(9, engine.lookupPath("r")->asInt());
}

void keepScope(CJsValue* scope, void* data) {
    static_cast<std::vector<CJsValueRef>*>(data)->emplace_back(scope);
    scope->setResult(new CJsValue(scope->argument("v")->asInt() * 10));
}

TEST_F(EngineTest, ACallScopeANativeKeepsStaysWhole) {
    std::vector<CJsValueRef> kept;
    engine.registerNative("function keep(v)", keepScope, &kept);
    engine.runScript(
        "function twice(a) { var local = a; return local + local; }"
        "r = keep(1) + twice(2) + keep(3) + twice(4);");
    EXPECT_EQ(10 + 4 + 30 + 8, engine.lookupPath("r")->asInt());
    ASSERT_EQ(2u, kept.size());
    for (size_t i = 0; i < kept.size(); i++) {
        // The call took its result away; the argument stays, and nothing of
        // the calls that ran afterwards shows up.
        CJsValue* scope = kept[i].get();
        EXPECT_EQ(1, scope->childCount());
        ASSERT_NE(nullptr, scope->lookupChild("v"));
        EXPECT_EQ(static_cast<int>(i * 2 + 1), scope->lookupChild("v")->value->asInt());
        EXPECT_EQ(nullptr, scope->lookupChild("return"));
        EXPECT_EQ(nullptr, scope->lookupChild("local"));
    }
    kept.clear();
}

TEST_F(EngineTest, FunctionsDefinedInACallBelongToIt) {
    engine.runScript(
        "function outer() { function inner() { return 2; } return inner(); } v = outer();");
    EXPECT_EQ(2, engine.lookupPath("v")->asInt());
    EXPECT_EQ(nullptr, engine.lookupPath("inner"));
}

TEST_F(EngineTest, UnknownClassNamesArePrinted) {
    EXPECT_NE(std::string::npos, errorOf("x = new Nothing;").find("Got ID expected ';'"));
    EXPECT_EQ("Nothing is not a valid class name", output);
}

TEST_F(EngineTest, CyclesAreCollectedWhenNothingElseHoldsThem) {
    // Left to the destructor: under the leak checker these would be reported.
    engine.runScript(
        "a = {}; a.self = a; function f() { var l = {}; l.me = l; } f();"
        "b = [1]; b[1] = b; c = {}; d = {other: c}; c.other = d;");
    CJsValueRef held = engine.evalExpressions("c");
    engine.runScript("a = 0; b = 0; c = 0; d = 0;");
    engine.collectCycles();
    // What the host still holds keeps its members, and what it reaches too.
    CJsBinding* other = held->lookupChild("other");
    ASSERT_NE(nullptr, other);
    EXPECT_EQ(held.get(), other->value->lookupChild("other")->value);
    // Values still in use by root are untouched.
    engine.runScript("keep = {v: 1}; keep.me = keep;");
    engine.collectCycles();
    EXPECT_EQ("1", eval("keep.me.me.v"));
}

TEST_F(EngineTest, CyclesThroughLibraryAndHostObjectsAreCollected) {
    // Under the leak checker each of these would be reported if the engine
    // lost track of objects made outside its runs.
    registerBaseLibrary(engine);
    CJsValue* host =
        engine.root()->setChild("host", new CJsValue(std::string(), CJsValue::OBJECT))->value;
    host->appendChild("inner", new CJsValue(std::string(), CJsValue::OBJECT));
    engine.runScript(
        "x = Math.t = Math; Math = 0; String.me = String; host.inner.back = host; host = 0;");
    EXPECT_TRUE(engine.lookupPath("host")->isInt());
    EXPECT_TRUE(engine.lookupPath("x.t.t")->isObject());
}

TEST_F(EngineTest, LimitsBoundLoopsStringsCopiesAndJoins) {
    registerBaseLibrary(engine);
    CJsLimits limits;
    limits.loopPasses = 10;
    limits.stringBytes = 100;
    limits.copyValues = 1;
    limits.joinItems = 3;
    engine.setLimits(limits);
    engine.runScript("n = 0; for (i = 0; i < 9; i++) n++;");
    EXPECT_EQ(9, engine.lookupPath("n")->asInt());
    output.clear();
    EXPECT_EQ(0u, errorOf("for (i = 0; i < 10; i++) n++;").find("Error LOOP_ERROR"));
    EXPECT_NE(std::string::npos, output.find("FOR Loop exceeded 10 iterations"));
    EXPECT_NE(std::string::npos, errorOf("s = \"0123456789abcdef\"; while (1) s = s + s;")
                                     .find("String too long (more than 100 bytes)"));
    // Beyond the copy limit a clone shares what is left.
    engine.runScript("a = {x: {y: {z: 1}}}; b = a.clone(); b.x.y.z = 2;");
    EXPECT_EQ(2, engine.lookupPath("a.x.y.z")->asInt());
    EXPECT_EQ("1,2,3", eval("l = [1, 2, 3]; l.join(\",\")"));
    EXPECT_NE(std::string::npos,
              errorOf("l = [1, 2, 3, 4]; l.join(\",\");").find("too long to join"));
    // The defaults give real scripts room.
    engine.setLimits(CJsLimits());
    engine.runScript("c = {x: {y: {z: 1}}}; d = c.clone(); d.x.y.z = 2; t = \"\";");
    engine.runScript("for (i = 0; i < 8000; i++) t = t + \"ab\";");
    EXPECT_EQ(1, engine.lookupPath("c.x.y.z")->asInt());
    EXPECT_EQ(16000u, engine.lookupPath("t")->text.size());
}

TEST(EngineSignatureTest, PlainAndIrregularSignaturesReadAlike) {
    CJsNativeSignature plain = CJsEngine::readNativeSignature("function a.bb.c3(x, y_1,z)");
    EXPECT_EQ((std::vector<std::string>{"a", "bb", "c3"}), plain.path);
    EXPECT_EQ((std::vector<std::string>{"x", "y_1", "z"}), plain.parameters);
    // Tabs, comments and text after the list take the token reader's way.
    CJsNativeSignature odd =
        CJsEngine::readNativeSignature("function\ta /* b */ .bb.c3(x,\n y_1, z) trailing");
    EXPECT_EQ(plain.path, odd.path);
    EXPECT_EQ(plain.parameters, odd.parameters);
    EXPECT_TRUE(CJsEngine::readNativeSignature("function f()").parameters.empty());
    try {
        CJsEngine::readNativeSignature("function f(if)");
        ADD_FAILURE() << "a keyword is no parameter name";
    } catch (const CScriptException& error) {
        EXPECT_EQ("Got if expected ID at (line: 1, col: 12)", error.text);
    }
    EXPECT_THROW(CJsEngine::readNativeSignature("function f(a b)"), CScriptException);
    EXPECT_THROW(CJsEngine::readNativeSignature("function .f()"), CScriptException);
}

TEST_F(EngineTest, ResultsOfScriptCallsWhateverTheWayTheyReturn) {
    engine.runScript(
        "function none() { x = 1; }"
        "function bare() { return; }"
        "function deep(v) { if (v) { while (v) { return v + 1; } } return 0; }"
        "function pass(f) { return f(); }"
        "a = none(); b = bare(); c = deep(4); d = deep(0); e = pass(none);");
    EXPECT_TRUE(engine.lookupPath("a")->isUndefined());
    EXPECT_TRUE(engine.lookupPath("b")->isUndefined());
    EXPECT_EQ(5, engine.lookupPath("c")->asInt());
    EXPECT_EQ(0, engine.lookupPath("d")->asInt());
    EXPECT_TRUE(engine.lookupPath("e")->isUndefined());
    // The result value is the one returned, shared, not a copy.
    engine.runScript("o = {k: 1}; function same() { return o; } same().k = 9;");
    EXPECT_EQ(9, engine.lookupPath("o.k")->asInt());
}

TEST_F(EngineTest, ShortOperandsAgreeWithTheFullGrammar) {
    // Names, literals, one operator between two of them, steps and calls are
    // read without the levels of the grammar; the same text in parentheses
    // or followed by more operators takes every level.
    engine.runScript(
        "a = 7; b = 3; d = 2.5; s = \"x\";"
        "r1 = a - b; q1 = (a - b) * 1;"
        "r2 = d * b; q2 = (d * b) + 0;"
        "r3 = s + a; q3 = (s + a) + \"\";"
        "r4 = a % b; r5 = b < a; r6 = a == 7; r7 = b / a; r8 = s === \"x\";"
        "n = 5; n++; m = n--; u++;"
        "function sub(x, y) { return x - y; }"
        "r9 = sub(a, b); q9 = sub(a, b) * 1;"
        "t = 0; for (i = 0; i < 4; i++) t = t + i; w = 3; while (w > 0) w = w - 1;");
    EXPECT_EQ("4 4 7.500000 7.500000 x7 x7", eval("r1 + \" \" + q1 + \" \" + r2 + \" \" + q2 + "
                                                  "\" \" + r3 + \" \" + q3"));
    EXPECT_EQ("1 1 1 0 1", eval("r4 + \" \" + r5 + \" \" + r6 + \" \" + r7 + \" \" + r8"));
    EXPECT_EQ("5 6 4 4 6 0",
              eval("n + \" \" + m + \" \" + r9 + \" \" + q9 + \" \" + t + \" \" + w"));
    EXPECT_EQ(nullptr, engine.lookupPath("u"));  // stepping makes no global
    // Results of operators and calls are not places to assign to.
    engine.runScript("a + b = 1; sub(a, b) = 2;");
    EXPECT_EQ(
        "Trying to assign to an un-named type\n"
        "Trying to assign to an un-named type\n",
        output);
    EXPECT_EQ("7 3", eval("a + \" \" + b"));
    // Brackets in a function's body are not read until it is called.
    engine.runScript(
        "function twice(f, n) { return n * 2; } r10 = twice(function() { ) }, 4) + 2;");
    EXPECT_EQ(10, engine.lookupPath("r10")->asInt());
}

TEST_F(EngineTest, LiteralsNextToOperatorsStayWhatTheySay) {
    // A literal that an operator reads is made once; whatever a script does
    // to results and to literals it keeps must not show in later readings.
    engine.runScript(
        "function f(n) { var v = n + 1; v.tag = n; var k = 2; k.tag = 8; return 2 * n; }"
        "a = f(1); b = f(2); c = f(3);"
        "function lit() { return 5; } p = lit(); p.mark = 1; q = lit();"
        "z = 0 && 1; z.mark = 2; y = 0 && 1;"
        "text = \"\"; for (i = 0; i < 3; i++) { text = text + \"ab\"; }");
    EXPECT_EQ("2 4 6", eval("a + \" \" + b + \" \" + c"));
    EXPECT_TRUE(engine.lookupPath("q")->isBasic());
    EXPECT_TRUE(engine.lookupPath("y")->isBasic());
    EXPECT_EQ(0, engine.lookupPath("y")->asInt());
    EXPECT_EQ("ababab", eval("text"));
    EXPECT_EQ("3", eval("1 + 2"));
}

TEST_F(EngineTest, CallScopesUsedAgainKeepNothingOfEarlierCalls) {
    engine.runScript(
        "b = 7;"
        "function two(a, b) { return a + b; }"
        "function one(c) { return c + b; }"
        "function local(d) { var e = d * 2; return e; }"
        "function fib(n) { if (n < 2) return n; return fib(n - 1) + fib(n - 2); }"
        "o = {v: 30, m: function(k) { return this.v + k; }};"
        "r1 = two(1, 2); r2 = one(10); r3 = local(3); r4 = o.m(4); r5 = one(20);"
        "r6 = fib(11); r7 = two(4, 5); r8 = local(6) + one(1);");
    EXPECT_EQ("3 17 6 34 27 89 9 20", eval("r1 + \" \" + r2 + \" \" + r3 + \" \" + r4 + \" \" + "
                                           "r5 + \" \" + r6 + \" \" + r7 + \" \" + r8"));
    EXPECT_EQ(nullptr, engine.lookupPath("e"));
    EXPECT_EQ(nullptr, engine.lookupPath("this"));
}

TEST_F(EngineTest, NamesAreFoundInTheCallersScopesFirst) {
    // A called function sees the locals of every call below it, also those
    // made after it was called, before the globals.
    engine.runScript(
        "x = 1;"
        "function inner() { return x; }"
        "function viaParameter(x) { return inner(); }"
        "function viaLocal() { var x = 4; return inner(); }"
        "function deeper(y) { var x = y + 1; return viaNothing(); }"
        "function viaNothing() { return inner(); }"
        "r = inner() + \" \" + viaParameter(3) + \" \" + viaLocal() + \" \" + deeper(8) + "
        "\" \" + inner();");
    EXPECT_EQ("1 3 4 9 1", eval("r"));
}

TEST_F(EngineTest, GlobalsFollowChangesToRoot) {
    engine.runScript("g = 1; function read() { return g; } a = read();");
    EXPECT_EQ(1, engine.lookupPath("a")->asInt());
    CJsValue* root = engine.root();
    {
        CJsBindingRef removed(root->lookupChild("g"));  // outlives its place
        root->removeBinding(removed.get());
        engine.runScript("b = read();");
    }
    EXPECT_TRUE(engine.lookupPath("b")->isUndefined());
    root->appendChild("g", new CJsValue(5));
    engine.runScript("c = read();");
    EXPECT_EQ(5, engine.lookupPath("c")->asInt());
    root->renameChild(root->lookupChild("a"), "g");  // now before the other g
    engine.runScript("d = read();");
    EXPECT_EQ(1, engine.lookupPath("d")->asInt());
}

TEST(EngineGlobalsTest, AFunctionReadsTheGlobalsOfTheEngineRunningIt) {
    CJsValueRef read;
    auto run = [&read](CJsEngine& engine, int global) {
        engine.runScript("g = " + std::to_string(global) + ";");
        engine.root()->appendChild("read", read.get());
        engine.runScript("r = read();");
        return engine.lookupPath("r")->asInt();
    };
    CJsEngine second;
    {
        CJsEngine first;
        first.runScript("g = 10; function read() { return g; } r = read();");
        EXPECT_EQ(10, first.lookupPath("r")->asInt());
        read = CJsValueRef(first.lookupPath("read"));
        EXPECT_EQ(20, run(second, 20));
    }
    // The function outlives the engine that made it.
    CJsEngine third;
    EXPECT_EQ(30, run(third, 30));
    EXPECT_EQ(40, run(second, 40));
}

TEST(EngineThreadsTest, SeparateEnginesRunConcurrently) {
    auto work = [](int seed, std::string* result) {
        CJsEngine engine;
        registerBaseLibrary(engine);
        engine.runScript("total = 0; for (i = 0; i < 8000; i++) total += i % " +
                         std::to_string(seed) + "; parts = \"a,b,c\"; list = parts.split(\",\");");
        *result = engine.evalToString("total + \":\" + list.length");
    };
    std::string first;
    std::string second;
    std::thread a(work, 7, &first);
    std::thread b(work, 13, &second);
    a.join();
    b.join();
    int expectFirst = 0;
    int expectSecond = 0;
    for (int i = 0; i < 8000; i++) {
        expectFirst += i % 7;
        expectSecond += i % 13;
    }
    EXPECT_EQ(std::to_string(expectFirst) + ":3", first);
    EXPECT_EQ(std::to_string(expectSecond) + ":3", second);
}

}  // namespace
