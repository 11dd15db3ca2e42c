// The base library. Natives read their arguments by parameter name from the
// call scope and convert them silently; none raises an error of its own.
#include <algorithm>
#include <climits>
#include <cstdint>
#include <vector>

#include "app/random.h"
#include "js/engine.h"
#include "js/library.h"

namespace {

CJsEngine& engineOf(void* data) {
    return *static_cast<CJsEngine*>(data);
}
std::string thisText(CJsValue* scope) {
    return scope->argument("this")->asString();
}
void resultInt(CJsValue* scope, int32_t value) {
    scope->setResult(new CJsValue(value));
}
void resultString(CJsValue* scope, std::string value) {
    scope->setResult(new CJsValue(std::move(value)));
}
int32_t signedByte(char c) {
    return static_cast<signed char>(c);
}

void exec(CJsValue* scope, void* data) {
    engineOf(data).runScript(scope->argument("jsCode")->asString());
}

void eval(CJsValue* scope, void* data) {
    CJsValueRef result = engineOf(data).evalExpressions(scope->argument("jsCode")->asString());
    scope->setResult(result.get());
}

void trace(CJsValue*, void* data) {
    std::string out;
    engineOf(data).root()->dumpTree(out, "", "");
    engineOf(data).print(out);
}

void objectDump(CJsValue* scope, void* data) {
    std::string out;
    scope->argument("this")->dumpTree(out, "> ", "");
    engineOf(data).print(out);
}

void objectClone(CJsValue* scope, void*) {
    CJsValueRef source(scope->argument("this"));
    scope->argument("return")->copyFrom(source.get());
}

void mathRand(CJsValue* scope, void*) {
    scope->setResult(new CJsValue(static_cast<double>(visRand()) / kVisRandMax));
}

void mathRandInt(CJsValue* scope, void*) {
    int64_t low = scope->argument("min")->asInt();
    int64_t high = scope->argument("max")->asInt();
    // A reversed range draws from the same numbers as the ordered one.
    if (high < low) std::swap(low, high);
    int64_t span = high - low + 1;
    resultInt(scope, static_cast<int32_t>(low + visRand() % span));
}

void charToInt(CJsValue* scope, void*) {
    std::string text = scope->argument("ch")->asString();
    resultInt(scope, text.empty() ? 0 : signedByte(text[0]));
}

void stringIndexOf(CJsValue* scope, void*) {
    size_t found = thisText(scope).find(scope->argument("search")->asString());
    resultInt(scope, found == std::string::npos ? -1 : static_cast<int32_t>(found));
}

void stringSubstring(CJsValue* scope, void*) {
    std::string text = thisText(scope);
    int64_t low = scope->argument("lo")->asInt();
    int64_t high = scope->argument("hi")->asInt();
    bool empty = high - low <= 0 || low < 0 || high > static_cast<int64_t>(text.size());
    resultString(scope, empty ? std::string() : text.substr(low, high - low));
}

void stringCharAt(CJsValue* scope, void*) {
    std::string text = thisText(scope);
    int64_t pos = scope->argument("pos")->asInt();
    bool inside = pos >= 0 && pos < static_cast<int64_t>(text.size());
    resultString(scope, inside ? text.substr(pos, 1) : std::string());
}

void stringCharCodeAt(CJsValue* scope, void*) {
    std::string text = thisText(scope);
    int64_t pos = scope->argument("pos")->asInt();
    bool inside = pos >= 0 && pos < static_cast<int64_t>(text.size());
    resultInt(scope, inside ? signedByte(text[pos]) : 0);
}

void stringFromCharCode(CJsValue* scope, void*) {
    char code = static_cast<char>(scope->argument("char")->asInt() & 0xFF);
    resultString(scope, code ? std::string(1, code) : std::string());
}

void stringSplit(CJsValue* scope, void*) {
    std::string text = thisText(scope);
    std::string separator = scope->argument("separator")->asString();
    CJsValue* pieces = new CJsValue(std::string(), CJsValue::ARRAY);
    scope->setResult(pieces);
    int index = 0;
    if (separator.empty()) {
        // No separator: every byte is a piece of its own.
        for (char c : text)
            pieces->setArrayItem(index++, new CJsValue(std::string(1, c)));
        return;
    }
    size_t found;
    while ((found = text.find(separator)) != std::string::npos) {
        pieces->setArrayItem(index++, new CJsValue(text.substr(0, found)));
        text.erase(0, found + 1);
    }
    if (!text.empty()) pieces->setArrayItem(index, new CJsValue(text));
}

void integerParseInt(CJsValue* scope, void*) {
    resultInt(scope, parseJsInt(scope->argument("str")->asString()));
}

void integerValueOf(CJsValue* scope, void*) {
    std::string text = scope->argument("str")->asString();
    resultInt(scope, text.size() == 1 ? signedByte(text[0]) : 0);
}

void jsonStringify(CJsValue* scope, void*) {
    resultString(scope, scope->argument("obj")->writeJson(std::string()));
}

void arrayContains(CJsValue* scope, void*) {
    CJsValueRef array(scope->argument("this"));
    CJsValue* wanted = scope->argument("obj");
    for (CJsBinding* child = array->firstChild; child; child = child->next) {
        if (child->value->looselyEquals(wanted)) {
            resultInt(scope, 1);
            return;
        }
    }
    resultInt(scope, 0);
}

long indexOfMember(const std::string& name) {
    long index = 0;
    for (char c : name) {
        if (c < '0' || c > '9') break;
        index = std::min<long>(index * 10 + (c - '0'), INT_MAX);
    }
    return index;
}

void arrayRemove(CJsValue* scope, void*) {
    CJsValueRef array(scope->argument("this"));
    CJsValue* unwanted = scope->argument("obj");
    std::vector<long> removed;
    for (CJsBinding* child = array->firstChild; child;) {
        CJsBinding* next = child->next;
        if (child->value->looselyEquals(unwanted)) {
            removed.push_back(indexOfMember(child->name));
            array->removeBinding(child);
        }
        child = next;
    }
    std::sort(removed.begin(), removed.end());
    for (CJsBinding* child = array->firstChild; child; child = child->next) {
        long index = indexOfMember(child->name);
        long shift = std::upper_bound(removed.begin(), removed.end(), index) - removed.begin();
        if (shift > 0) array->renameChild(child, std::to_string(index - shift));
    }
}

void arrayJoin(CJsValue* scope, void*) {
    CJsValueRef array(scope->argument("this"));
    std::string separator = scope->argument("separator")->asString();
    int length = array->arrayLength();
    // Joining more elements than the limit would only build text nobody can
    // use; a sparse array with a huge index must not exhaust memory.
    if (length > jsLimits().joinItems) {
        throw CScriptException("Array too long to join (" + std::to_string(length) + " items)");
    }
    std::string out;
    for (int i = 0; i < length; i++) {
        if (i > 0) out += separator;
        out += array->arrayItem(i)->asString();
        jsCheckStringLength(out.size());
    }
    resultString(scope, std::move(out));
}

struct Native {
    const char* signature;
    JsCallback callback;
    bool wantsEngine;
};

// Registration order and signature texts are fixed: scripts see them.
const Native kBaseLibrary[] = {
    {"function exec(jsCode)", exec, true},
    {"function eval(jsCode)", eval, true},
    {"function trace()", trace, true},
    {"function Object.dump()", objectDump, true},
    {"function Object.clone()", objectClone, false},
    {"function Math.rand()", mathRand, false},
    {"function Math.randInt(min, max)", mathRandInt, false},
    {"function charToInt(ch)", charToInt, false},
    {"function String.indexOf(search)", stringIndexOf, false},
    {"function String.substring(lo,hi)", stringSubstring, false},
    {"function String.charAt(pos)", stringCharAt, false},
    {"function String.charCodeAt(pos)", stringCharCodeAt, false},
    {"function String.fromCharCode(char)", stringFromCharCode, false},
    {"function String.split(separator)", stringSplit, false},
    {"function Integer.parseInt(str)", integerParseInt, false},
    {"function Integer.valueOf(str)", integerValueOf, false},
    {"function JSON.stringify(obj, replacer)", jsonStringify, false},
    {"function Array.contains(obj)", arrayContains, false},
    {"function Array.remove(obj)", arrayRemove, false},
    {"function Array.join(separator)", arrayJoin, false},
};

}  // namespace

void registerBaseLibrary(CJsEngine& engine) {
    // Read once for all engines (the table never changes).
    static const std::vector<CJsNativeSignature> signatures = [] {
        std::vector<CJsNativeSignature> read;
        for (const Native& native : kBaseLibrary)
            read.push_back(CJsEngine::readNativeSignature(native.signature));
        return read;
    }();
    for (size_t i = 0; i < signatures.size(); i++) {
        const Native& native = kBaseLibrary[i];
        engine.registerNative(signatures[i], native.callback,
                              native.wantsEngine ? &engine : nullptr);
    }
}
