#include "js/value.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "js/tokenizer.h"

namespace {

CJsValueRef make(CJsValue* value) {
    return CJsValueRef(value);
}

std::string operate(CJsValue* a, CJsValue* b, int op) {
    CJsValueRef holdA(a);
    CJsValueRef holdB(b);
    CJsValueRef result(applyOperator(a, b, op));
    return result->asString();
}

std::string failure(CJsValue* a, CJsValue* b, int op) {
    CJsValueRef holdA(a);
    CJsValueRef holdB(b);
    try {
        CJsValueRef result(applyOperator(a, b, op));
        return "no error: " + result->asString();
    } catch (const CScriptException& error) {
        return error.text;
    }
}

CJsValue* text(const char* value) {
    return new CJsValue(std::string(value));
}
CJsValue* integer(int32_t value) {
    return new CJsValue(value);
}
CJsValue* real(double value) {
    return new CJsValue(value);
}
CJsValue* object() {
    return new CJsValue(std::string(), CJsValue::OBJECT);
}
CJsValue* array() {
    return new CJsValue(std::string(), CJsValue::ARRAY);
}

TEST(ValueTest, Conversions) {
    EXPECT_EQ("3", make(integer(3))->asString());
    EXPECT_EQ("2.500000", make(real(2.5))->asString());
    EXPECT_EQ("null", make(new CJsValue(std::string(), CJsValue::NULLTYPE))->asString());
    EXPECT_EQ("undefined", make(new CJsValue())->asString());
    EXPECT_EQ("", make(object())->asString());
    EXPECT_EQ(-2, make(real(-2.9))->asInt());
    EXPECT_EQ(0, make(text("12"))->asInt());
    EXPECT_EQ(0.0, make(text("1.5"))->asDouble());
    EXPECT_EQ(4.0, make(integer(4))->asDouble());
    EXPECT_FALSE(make(text("yes"))->asBool());
    EXPECT_FALSE(make(text("1"))->asBool());
    EXPECT_FALSE(make(real(0.5))->asBool());
    EXPECT_TRUE(make(real(-1.5))->asBool());
    // Huge doubles saturate instead of overflowing the conversion.
    EXPECT_EQ(INT32_MAX, make(real(1e30))->asInt());
    EXPECT_EQ(INT32_MIN, make(real(-1e30))->asInt());
}

TEST(ValueTest, TypedConstructionParsesText) {
    EXPECT_EQ(31, make(new CJsValue("0x1F", CJsValue::INTEGER))->intValue);
    EXPECT_EQ(8, make(new CJsValue("010", CJsValue::INTEGER))->intValue);
    EXPECT_EQ(0, make(new CJsValue("09", CJsValue::INTEGER))->intValue);
    EXPECT_EQ(INT32_MAX, make(new CJsValue("99999999999", CJsValue::INTEGER))->intValue);
    EXPECT_DOUBLE_EQ(0.0015, make(new CJsValue("1.5e-3", CJsValue::DOUBLE))->doubleValue);
    EXPECT_DOUBLE_EQ(1.0, make(new CJsValue("1e", CJsValue::DOUBLE))->doubleValue);
    CJsValueRef keep(new CJsValue("body", CJsValue::FUNCTION));
    EXPECT_EQ("body", keep->text);
}

TEST(ValueTest, SettersReplaceTheTypeButKeepTheNativeMark) {
    CJsValueRef value(new CJsValue("", CJsValue::FUNCTION | CJsValue::NATIVE));
    value->setInt(5);
    EXPECT_EQ(CJsValue::INTEGER | CJsValue::NATIVE, value->flags);
    value->setString("s");
    EXPECT_EQ(0, value->intValue);
    EXPECT_EQ("s", value->text);
    value->appendChild("child");
    value->setArray();
    EXPECT_EQ(0, value->childCount());
    EXPECT_TRUE(value->isArray());
    value->appendChild("0");
    value->setUndefined();
    EXPECT_TRUE(value->isUndefined());
    EXPECT_EQ(0, value->childCount());
}

TEST(ValueTest, NamesDifferingAnywhereAreDifferent) {
    // Every length across the word sizes names are compared in, with one
    // character changed at each place in turn.
    const std::string letters = "abcdefghijklmnopqrstu";
    for (size_t size = 0; size <= 19; size++) {
        const std::string name = letters.substr(0, size);
        EXPECT_TRUE(jsSameName(name, std::string(name)));
        EXPECT_FALSE(jsSameName(name, name + "v"));
        EXPECT_FALSE(jsSameName(name + "v", name));
        for (size_t at = 0; at < size; at++) {
            std::string other = name;
            other[at] = 'Z';
            EXPECT_FALSE(jsSameName(name, other)) << name << " " << other;
        }
    }
}

TEST(ValueTest, ChildrenKeepInsertionOrderAndNames) {
    CJsValueRef value(new CJsValue());
    value->appendChild("a", integer(1));
    EXPECT_EQ(CJsValue::OBJECT, value->flags);
    value->appendChild("b", integer(2));
    value->appendChild("a", integer(3));
    EXPECT_EQ(3, value->childCount());
    EXPECT_EQ(1, value->lookupChild("a")->value->intValue);
    value->setChild("a", integer(4));
    EXPECT_EQ(4, value->firstChild->value->intValue);
    value->setChild("c", integer(5));
    EXPECT_EQ("c", value->lastChild->name);
    EXPECT_EQ(nullptr, value->lookupChild("missing"));

    CJsBinding* path = value->lookupOrAddPath("x.y.z");
    path->rebind(integer(7));
    EXPECT_TRUE(value->lookupChild("x")->value->isObject());
    EXPECT_EQ(7, value->lookupOrAddPath("x.y.z")->value->intValue);

    CJsValue* b = value->lookupChild("b")->value;
    value->unlinkValue(b);
    EXPECT_EQ(nullptr, value->lookupChild("b"));
    value->clearChildren();
    EXPECT_EQ(0, value->childCount());
}

TEST(ValueTest, ArraysCountByTheirLargestIndex) {
    CJsValueRef list(array());
    list->setArrayItem(0, text("a"));
    list->setArrayItem(7, text("h"));
    list->appendChild("name", integer(1));
    EXPECT_EQ(8, list->arrayLength());
    EXPECT_TRUE(list->arrayItem(3)->isNull());
    EXPECT_EQ(2, list->childCount() - 1);  // reading a hole stores nothing
    EXPECT_EQ("h", list->arrayItem(7)->asString());
    CJsValueRef undefinedValue(new CJsValue());
    list->setArrayItem(7, undefinedValue.get());
    EXPECT_EQ(1, list->arrayLength());
    list->setArrayItem(5, undefinedValue.get());
    EXPECT_EQ(nullptr, list->lookupChild("5"));
    EXPECT_EQ(0, make(object())->arrayLength());
}

TEST(ValueTest, LongChildListsFindTheFirstOfEachName) {
    CJsValueRef value(object());
    for (int i = 0; i < 50; i++)
        value->appendChild("k" + std::to_string(i % 25), integer(i));
    EXPECT_EQ(50, value->childCount());
    EXPECT_EQ(3, value->lookupChild("k3")->value->intValue);
    value->removeBinding(value->lookupChild("k3"));
    EXPECT_EQ(28, value->lookupChild("k3")->value->intValue);
    value->removeBinding(value->lookupChild("k3"));
    EXPECT_EQ(nullptr, value->lookupChild("k3"));
    EXPECT_EQ(48, value->childCount());
    value->renameChild(value->lastChild, "k0");
    EXPECT_EQ(0, value->lookupChild("k0")->value->intValue);
    value->renameChild(value->firstChild, "fresh");
    EXPECT_EQ(25, value->lookupChild("k0")->value->intValue);
    EXPECT_EQ(0, value->lookupChild("fresh")->value->intValue);
    value->setChild("k10", integer(-1));
    EXPECT_EQ(-1, value->lookupChild("k10")->value->intValue);
    EXPECT_EQ(48, value->childCount());
    value->clearChildren();
    EXPECT_EQ(nullptr, value->lookupChild("fresh"));
    EXPECT_EQ(0, value->childCount());
}

TEST(ValueTest, IndexedListsAgreeWithTheListThroughGrowthAndRemovals) {
    // Enough members to grow the index several times, names that collide in
    // it, and removals in an order unrelated to insertion.
    CJsValueRef value(object());
    const int kCount = 700;
    const int kNames = 503;
    for (int i = 0; i < kCount; i++)
        value->appendChild("n" + std::to_string((i * 7) % kNames), integer(i));
    auto firstInList = [&](const std::string& name) -> CJsBinding* {
        for (CJsBinding* child = value->firstChild; child; child = child->next) {
            if (child->name == name) return child;
        }
        return nullptr;
    };
    for (int step = 0; step < kCount - 50; step++) {
        int victim = (step * 11) % value->childCount();
        CJsBinding* child = value->firstChild;
        for (int i = 0; i < victim; i++)
            child = child->next;
        value->removeBinding(child);
        for (int n = step % 3; n < kNames; n += 3) {
            std::string name = "n" + std::to_string(n);
            ASSERT_EQ(firstInList(name), value->lookupChild(name)) << name << " at " << step;
        }
    }
    EXPECT_EQ(nullptr, value->lookupChild("n" + std::to_string(kNames)));
}

TEST(ValueTest, CloneCopiesDeeplyButSharesPrototypes) {
    CJsValueRef proto(object());
    CJsValueRef source(new CJsValue("", CJsValue::FUNCTION | CJsValue::NATIVE));
    source->appendChild("prototype", proto.get());
    CJsValue* inner = source->appendChild("inner", object())->value;
    inner->appendChild("v", integer(1));
    CJsValueRef copy(source->cloneDeep());
    EXPECT_EQ(CJsValue::FUNCTION, copy->flags);
    EXPECT_EQ(proto.get(), copy->lookupChild("prototype")->value);
    CJsValue* copiedInner = copy->lookupChild("inner")->value;
    EXPECT_NE(inner, copiedInner);
    copiedInner->lookupChild("v")->rebind(integer(2));
    EXPECT_EQ(1, inner->lookupChild("v")->value->intValue);

    // Copying from one's own child must not lose the child on the way.
    CJsValueRef parent(object());
    CJsValue* child = parent->appendChild("c", object())->value;
    child->appendChild("deep", integer(9));
    parent->copyFrom(child);
    EXPECT_EQ(9, parent->lookupChild("deep")->value->intValue);
    parent->copyFrom(nullptr);
    EXPECT_TRUE(parent->isUndefined());
}

TEST(ValueTest, CyclesDoNotHangCopiesOrText) {
    CJsValue* loop = object();
    loop->appendChild("self", loop);
    CJsValueRef copy(loop->cloneDeep());
    EXPECT_GT(copy->writeJson("").size(), 0u);
    std::string dump;
    loop->dumpTree(dump, "", "");
    EXPECT_GT(dump.size(), 0u);
    // Below the copy limit the copy shares the original; breaking the
    // original's cycle lets both go.
    EXPECT_EQ(2, loop->refCount);
    loop->clearChildren();
}

TEST(ValueTest, LongChainsAreDestroyedWithoutDeepRecursion) {
    CJsValueRef head(object());
    CJsValue* cursor = head.get();
    for (int i = 0; i < 1000000; i++)
        cursor = cursor->appendChild("next", object())->value;
    EXPECT_EQ(1, head->refCount);
}

TEST(ValueTest, BindingsShareValuesAndCountReferences) {
    CJsValueRef shared(integer(1));
    {
        CJsBinding* a = new CJsBinding("a", shared.get());
        EXPECT_EQ(2, shared->refCount);
        a->rebind(shared.get());
        EXPECT_EQ(2, shared->refCount);
        a->hold();
        a->release();
    }
    EXPECT_EQ(1, shared->refCount);
    // A binding removed from its parent stays valid while it is held.
    CJsValueRef parent(object());
    CJsBindingRef held(parent->appendChild("x", integer(3)));
    parent->clearChildren();
    EXPECT_EQ(3, held->value->intValue);
    EXPECT_FALSE(held->linked);
}

TEST(ValueTest, OperatorsFollowTheTypeRules) {
    EXPECT_EQ("a1", operate(text("a"), integer(1), '+'));
    EXPECT_EQ("1", operate(new CJsValue(std::string(), CJsValue::NULLTYPE), integer(1), '+'));
    EXPECT_EQ("undefined", operate(new CJsValue(), new CJsValue(), '+'));
    EXPECT_EQ("1", operate(new CJsValue(), new CJsValue(), TOK_EQUAL));
    EXPECT_EQ("2", operate(integer(5), integer(2), '/'));
    EXPECT_EQ("-2", operate(integer(-5), integer(2), '/'));
    EXPECT_EQ("-1", operate(integer(-5), integer(2), '%'));
    EXPECT_EQ("2.500000", operate(real(5), integer(2), '/'));
    EXPECT_EQ("-2147483648", operate(integer(INT32_MAX), integer(1), '+'));
    EXPECT_EQ("-2147483648", operate(integer(INT32_MIN), integer(-1), '/'));
    EXPECT_EQ("0", operate(integer(INT32_MIN), integer(-1), '%'));
    EXPECT_EQ("0", operate(integer(1), integer(0), '/'));
    EXPECT_EQ("1", operate(text("10"), text("9"), '<'));
    EXPECT_EQ("1", operate(text("\xE9"), text("a"), '>'));  // bytes compare unsigned
    EXPECT_EQ("0", operate(integer(10), integer(9), '<'));
    EXPECT_EQ("1", operate(integer(1), real(1.0), TOK_EQUAL));
    EXPECT_EQ("0", operate(integer(1), real(1.0), TOK_TYPEEQUAL));
    EXPECT_EQ("1", operate(integer(1), real(1.0), TOK_NTYPEEQUAL));
    EXPECT_EQ("0", operate(text("abc"), new CJsValue(), TOK_EQUAL));
    EXPECT_EQ("1", operate(text("undefined"), new CJsValue(), TOK_EQUAL));
    EXPECT_EQ("0", operate(object(), object(), TOK_EQUAL));

    EXPECT_EQ("Operation '*' not supported on the Object datatype",
              failure(object(), integer(2), '*'));
    EXPECT_EQ("Operation '+' not supported on the Array datatype",
              failure(array(), integer(2), '+'));
    EXPECT_EQ("Operation '-' not supported on the string datatype",
              failure(text("a"), integer(1), '-'));
    EXPECT_EQ("Operation '%' not supported on the Double datatype",
              failure(real(1), integer(1), '%'));
    EXPECT_EQ("Operation '&' not supported on the Double datatype",
              failure(real(1), integer(1), '&'));
    EXPECT_EQ("Operation << not supported on the Int datatype",
              failure(integer(1), integer(1), TOK_LSHIFT));
}

TEST(ValueTest, QuotingEscapesControlAndHighBytes) {
    EXPECT_EQ("\"a\\\\b\\n\\r\\a\\\"\"", quoteJsString("a\\b\n\r\a\""));
    EXPECT_EQ("\"\\x09\"", quoteJsString("\t"));
    EXPECT_EQ("\"\\xE9\"", quoteJsString("\xE9"));
    EXPECT_EQ("\"\\x00\"", quoteJsString(std::string(1, '\0')));
    EXPECT_EQ("\"~\x7F\"", quoteJsString("~\x7F"));
}

TEST(ValueTest, JsonLayout) {
    CJsValueRef value(object());
    value->appendChild("a", integer(1));
    value->appendChild("b", text("x"));
    EXPECT_EQ("{ \n  \"a\" : 1,\n  \"b\" : \"x\"\n}", value->writeJson(""));
    EXPECT_EQ("{ \n\n}", make(object())->writeJson(""));

    CJsValueRef nested(object());
    CJsValue* list = nested->appendChild("l", array())->value;
    list->setArrayItem(1, real(0.5));
    EXPECT_EQ("{ \n  \"l\" : [\nnull,\n0.500000\n  ]\n}", nested->writeJson(""));

    CJsValueRef big(array());
    for (int i = 0; i < 20000; i++)
        big->appendChild(std::to_string(i), integer(i));
    std::string json = big->writeJson("");
    EXPECT_NE(std::string::npos, json.find("\n9999\n]"));
    EXPECT_EQ(std::string::npos, json.find("10000"));
}

TEST(ValueTest, SourceTextAndDump) {
    CJsValueRef function(new CJsValue("{ return a; }", CJsValue::FUNCTION));
    function->appendChild("a");
    function->appendChild("b");
    EXPECT_EQ("function (a,b) { return a; }", function->sourceText());
    EXPECT_EQ("undefined", make(object())->sourceText());

    CJsValueRef tree(object());
    tree->appendChild("n", integer(2));
    tree->appendChild("s", text("t"));
    std::string out;
    tree->dumpTree(out, "> ", "root");
    EXPECT_EQ("> 'root' = '' OBJECT \n>  'n' = '2' INTEGER \n>  's' = 't' STRING \n", out);
}

TEST(ValueTest, OverReleaseIsReported) {
    CJsValue* value = integer(1);
    value->ref();
    testing::internal::CaptureStdout();
    value->refCount = 0;  // simulate a double release
    value->unref();
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ("OMFG, we have unreffed too far!\n", out);
    EXPECT_EQ(-1, value->refCount);
    delete value;
}

TEST(ValueTest, LiveCountsFollowValuesAndBindingsAcrossThreads) {
    const CJsLiveCounts before = jsLiveCounts();
    CJsValueRef object(new CJsValue(std::string(), CJsValue::OBJECT));
    object->appendChild("a", new CJsValue(3));
    object->appendChild("b");  // a new undefined value
    object->appendChild("c", new CJsValue(2.5));
    CJsLiveCounts during = jsLiveCounts();
    EXPECT_EQ(before.values + 4, during.values);
    EXPECT_EQ(before.bindings + 3, during.bindings);
    object->removeBinding(object->lookupChild("b"));
    during = jsLiveCounts();
    EXPECT_EQ(before.values + 3, during.values);
    EXPECT_EQ(before.bindings + 2, during.bindings);

    // A value made on a thread that has ended still counts until it goes,
    // and going on another thread balances it.
    CJsValue* leftBehind = nullptr;
    std::thread maker([&] {
        CJsValueRef scratch(new CJsValue(7));  // made and freed on the thread
        leftBehind = (new CJsValue(std::string("kept")))->ref();
    });
    maker.join();
    EXPECT_EQ(before.values + 4, jsLiveCounts().values);
    leftBehind->unref();
    object = CJsValueRef();
    EXPECT_EQ(before.values, jsLiveCounts().values);
    EXPECT_EQ(before.bindings, jsLiveCounts().bindings);
}

// Freed values wait on their thread's free list. Under AddressSanitizer they
// wait poisoned, first in, first out, until kQuarantineBlocks later frees
// have passed; elsewhere the last one freed is the first made again.
TEST(ValueTest, FreedMemoryIsMadeAgainOnlyInItsTurn) {
    const uint32_t extra = 37;
    std::vector<CJsValue*> freed, madeAgain;
    std::thread worker([&] {  // a new thread, so that its lists start empty
        for (uint32_t i = 0; i < CJsFreeList::kQuarantineBlocks + extra; i++)
            freed.push_back(new CJsValue(static_cast<int32_t>(i)));
        for (CJsValue* value : freed)
            delete value;
        for (uint32_t i = 0; i < extra + 1; i++)
            madeAgain.push_back(new CJsValue(-3));
        for (CJsValue* value : madeAgain)
            delete value;
    });
    worker.join();
    ASSERT_EQ(madeAgain.size(), extra + 1);
    if (JS_POOL_QUARANTINE) {
        // The `extra` that waited longest come back oldest first; the next
        // one is new memory, since the rest have not waited long enough.
        for (size_t i = 0; i < extra; i++)
            EXPECT_EQ(madeAgain[i], freed[i]) << i;
        for (CJsValue* old : freed)
            EXPECT_NE(madeAgain[extra], old);
    } else {
        EXPECT_EQ(madeAgain[0], freed.back());
        EXPECT_EQ(madeAgain[1], freed[freed.size() - 2]);
    }
}

#if JS_POOL_QUARANTINE
TEST(ValueDeathTest, ReadingAFreedValueOrBindingIsReported) {
    CJsValue* value = new CJsValue(5);
    delete value;
    EXPECT_DEATH(
        {
            volatile int32_t read = value->intValue;
            (void)read;
        },
        "use-after-poison");
    CJsBinding* binding = new CJsBinding("b", new CJsValue(9));
    delete binding;
    EXPECT_DEATH(
        {
            volatile uint32_t read = binding->hash;
            (void)read;
        },
        "use-after-poison");
}
#endif

}  // namespace
