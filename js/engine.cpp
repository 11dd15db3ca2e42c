// Runs, statements and loops. Expressions are in expressions.cpp.
#include "js/engine.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <unordered_map>
#include <unordered_set>

class CJsEngine::RunState {
public:
    explicit RunState(CJsEngine& engine)
        : engine_(engine),
          reader_(engine.reader_),
          scopes_(engine.scopes_),
          scopeNames_(engine.scopeNames_),
          returned_(engine.returned_),
          callTrace_(std::move(engine.callTrace_)),
          registry_(jsSetValueRegistry(&engine.registry_)) {
        if (engine_.runDepth_++ == 0) {
            engine_.stackBase_ = reinterpret_cast<uintptr_t>(__builtin_frame_address(0));
            engine_.lowestChecked_ = UINTPTR_MAX;
            engine_.workDone_ = 0;
        }
        engine_.callTrace_.clear();
        engine_.scopes_.assign(1, engine_.root_);
        engine_.scopeNames_.assign(1, 0);
        engine_.returned_ = nullptr;
    }
    ~RunState() {
        engine_.reader_ = reader_;
        engine_.scopes_ = std::move(scopes_);
        engine_.scopeNames_ = std::move(scopeNames_);
        engine_.returned_ = returned_;
        engine_.callTrace_ = std::move(callTrace_);
        engine_.runDepth_--;
        jsSetValueRegistry(registry_);
    }

private:
    CJsEngine& engine_;
    CJsTokenizer* reader_;
    std::vector<CJsValue*> scopes_;
    std::vector<uint64_t> scopeNames_;
    CJsValueRef* returned_;
    std::vector<TraceEntry> callTrace_;
    CJsValueRegistry* registry_;
};

namespace {

// Lists the values made while it lives in `registry` (outside runs too).
class RegistryScope {
public:
    explicit RegistryScope(CJsValueRegistry* registry) : previous_(jsSetValueRegistry(registry)) {}
    ~RegistryScope() { jsSetValueRegistry(previous_); }

private:
    CJsValueRegistry* previous_;
};

}  // namespace

namespace {

uint32_t nextEngineSerial() {
    static std::atomic<uint32_t> last{0};
    uint32_t serial = ++last;
    return serial != 0 ? serial : ++last;
}

}  // namespace

CJsEngine::CJsEngine() : serial_(nextEngineSerial()) {
    // The engine's own objects are listed too: scripts can make them cyclic.
    RegistryScope listing(&registry_);
    root_ = (new CJsValue(std::string(), CJsValue::OBJECT))->ref();
    stringClass_ = (new CJsValue(std::string(), CJsValue::OBJECT))->ref();
    arrayClass_ = (new CJsValue(std::string(), CJsValue::OBJECT))->ref();
    objectClass_ = (new CJsValue(std::string(), CJsValue::OBJECT))->ref();
    root_->appendChild("String", stringClass_);
    root_->appendChild("Array", arrayClass_);
    root_->appendChild("Object", objectClass_);
    scopes_.push_back(root_);
    scopeNames_.push_back(0);
    skipped_ = Ref::temporary(new CJsValue());
    one_ = Ref::temporary(new CJsValue(1));
}

CJsEngine::~CJsEngine() {
    sparedScopes_.clear();
    root_->unref();
    stringClass_->unref();
    arrayClass_->unref();
    objectClass_->unref();
    collectCycles();
    // Values the host still holds outlive the engine, unlisted.
    while (registry_.first)
        jsDelist(registry_.first);
}

void CJsEngine::collectCycles() {
    // Trial deletion: a listed value whose count exceeds the references it
    // gets from other listed values is held from outside, and so is all it
    // reaches; listed values not reached that way are only held by cycles.
    // Members the host made and linked under listed values are candidates too.
    {
        RegistryScope listing(&registry_);
        std::vector<CJsValue*> walk;
        for (CJsValue* value = registry_.first; value; value = value->registryNext) {
            walk.push_back(value);
        }
        while (!walk.empty()) {
            CJsValue* value = walk.back();
            walk.pop_back();
            for (CJsBinding* child = value->firstChild; child; child = child->next) {
                if (!child->value->registry) {
                    jsEnlist(child->value);
                    walk.push_back(child->value);
                }
            }
        }
    }
    std::unordered_map<CJsValue*, int> outside;
    for (CJsValue* value = registry_.first; value; value = value->registryNext) {
        outside[value] = value->refCount;
    }
    for (auto& entry : outside) {
        for (CJsBinding* child = entry.first->firstChild; child; child = child->next) {
            auto found = outside.find(child->value);
            if (found != outside.end()) found->second--;
        }
    }
    std::vector<CJsValue*> pending;
    std::unordered_set<CJsValue*> reached;
    for (auto& entry : outside) {
        // A value nobody counts is no cycle; it is left for leak checkers.
        if (entry.second > 0 || entry.first->refCount <= 0) {
            pending.push_back(entry.first);
            reached.insert(entry.first);
        }
    }
    while (!pending.empty()) {
        CJsValue* value = pending.back();
        pending.pop_back();
        for (CJsBinding* child = value->firstChild; child; child = child->next) {
            if (outside.count(child->value) && reached.insert(child->value).second) {
                pending.push_back(child->value);
            }
        }
    }
    std::vector<CJsValueRef> garbage;
    for (auto& entry : outside) {
        if (!reached.count(entry.first)) garbage.emplace_back(entry.first);
    }
    for (CJsValueRef& value : garbage)
        value->clearChildren();
}

void CJsEngine::print(const std::string& text) {
    printCount_++;
    // Printing large trees over and over is work like any other.
    if (runDepth_ > 0) chargeWork(static_cast<int64_t>(text.size() >> 12));
    if (output_) {
        output_(text);
    } else {
        std::fwrite(text.data(), 1, text.size(), stdout);
        std::fflush(stdout);
    }
}

std::string CJsEngine::errorText(const std::string& message, const CJsTokenizer& program) const {
    std::string text = "Error " + message;
    for (size_t i = callTrace_.size(); i-- > 0;) {
        char position[64];
        std::snprintf(position, sizeof position, "(line: %d, col: %d)", callTrace_[i].line,
                      callTrace_[i].column);
        text += "\n" + std::to_string(i) + ": " + callTrace_[i].name + " from " + position;
    }
    return text + " at " + program.positionText(-1);
}

void CJsEngine::runScript(const std::string& code) {
    RunState state(*this);
    CJsTokenizer program(code);
    reader_ = &program;
    bool execute = true;
    try {
        while (reader_->token() != TOK_EOF)
            statement(execute);
    } catch (const CScriptException& error) {
        throw CScriptException(errorText(error.text, program));
    }
}

CJsValueRef CJsEngine::evalExpressions(const std::string& code) {
    RunState state(*this);
    CJsTokenizer program(code);
    reader_ = &program;
    bool execute = true;
    Ref last;
    try {
        while (reader_->token() != TOK_EOF) {
            last = assignment(execute);
            if (reader_->token() != TOK_EOF) reader_->expectToken(';');
        }
    } catch (const CScriptException& error) {
        throw CScriptException(errorText(error.text, program));
    }
    return CJsValueRef(last ? last.value() : new CJsValue());
}

std::string CJsEngine::evalToString(const std::string& code) {
    return evalExpressions(code)->asString();
}

CJsValue* CJsEngine::lookupPath(const std::string& path) const {
    CJsValue* value = root_;
    size_t from = 0;
    for (;;) {
        size_t dot = path.find('.', from);
        CJsBinding* child = value->lookupChild(path.substr(from, dot - from));
        if (!child) return nullptr;
        value = child->value;
        if (dot == std::string::npos) return value;
        from = dot + 1;
    }
}

namespace {

bool isNameStart(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
}
bool isNamePart(char c) {
    return isNameStart(c) || (c >= '0' && c <= '9');
}

// Reads a plain signature - "function a.b(x, y)" with nothing but spaces
// between its parts - without a token reader: hosts register dozens of natives
// for every engine they make. False for anything else, which the token reader
// then reads (and reports, if it is wrong).
bool readPlainSignature(const std::string& text, std::vector<std::string>* path,
                        std::vector<std::string>* parameters) {
    size_t at = 0;
    auto skipSpaces = [&] {
        while (at < text.size() && text[at] == ' ')
            at++;
    };
    auto name = [&](std::string* out) {
        skipSpaces();
        size_t start = at;
        if (at >= text.size() || !isNameStart(text[at])) return false;
        while (at < text.size() && isNamePart(text[at]))
            at++;
        *out = text.substr(start, at - start);
        return keywordKind(*out) == TOK_ID;
    };
    auto punctuation = [&](char c) {
        skipSpaces();
        if (at >= text.size() || text[at] != c) return false;
        at++;
        return true;
    };
    std::string word;
    skipSpaces();
    if (text.compare(at, 8, "function") != 0) return false;
    at += 8;
    if (at >= text.size() || text[at] != ' ') return false;
    do {
        if (!name(&word)) return false;
        path->push_back(word);
    } while (punctuation('.'));
    if (!punctuation('(')) return false;
    if (!punctuation(')')) {
        do {
            if (!name(&word)) return false;
            parameters->push_back(word);
        } while (punctuation(','));
        if (!punctuation(')')) return false;
    }
    skipSpaces();
    return at == text.size();
}

}  // namespace

CJsNativeSignature CJsEngine::readNativeSignature(const std::string& signature) {
    CJsNativeSignature read;
    if (readPlainSignature(signature, &read.path, &read.parameters)) return read;
    read = CJsNativeSignature();
    CJsTokenizer reader(signature);
    reader.expectToken(TOK_FUNCTION);
    read.path.push_back(reader.tokenText());
    reader.expectToken(TOK_ID);
    while (reader.token() == '.') {
        reader.expectToken('.');
        read.path.push_back(reader.tokenText());
        reader.expectToken(TOK_ID);
    }
    reader.expectToken('(');
    while (reader.token() != ')') {
        read.parameters.push_back(reader.tokenText());
        reader.expectToken(TOK_ID);
        if (reader.token() != ')') reader.expectToken(',');
    }
    reader.expectToken(')');
    return read;
}

void CJsEngine::registerNative(const std::string& signature, JsCallback callback, void* data) {
    registerNative(readNativeSignature(signature), callback, data);
}

void CJsEngine::registerNative(const CJsNativeSignature& signature, JsCallback callback,
                               void* data) {
    RegistryScope listing(&registry_);
    CJsValue* object = root_;
    for (size_t i = 0; i + 1 < signature.path.size(); i++) {
        CJsBinding* member = object->lookupChild(signature.path[i]);
        if (!member) {
            member = object->appendChild(signature.path[i],
                                         new CJsValue(std::string(), CJsValue::OBJECT));
        }
        object = member->value;
    }
    CJsValueRef function(new CJsValue(std::string(), CJsValue::FUNCTION | CJsValue::NATIVE));
    function->callback = callback;
    function->callbackData = data;
    for (const std::string& parameter : signature.parameters)
        function->setChild(parameter);
    object->appendChild(signature.path.back(), function.get());
}

void CJsEngine::nestedTooDeeply() {
    throw CScriptException("Script nested too deeply");
}

void CJsEngine::workLimitReached() const {
    throw CScriptException("Script exceeded its work limit of " +
                           std::to_string(registry_.limits.work) + " steps");
}

void CJsEngine::statement(bool& execute) {
    checkStack();
    if (execute) {
        statementBody(execute);
    } else {
        skippedStatement(execute);
    }
}

void CJsEngine::skippedStatement(bool& execute) {
    // A statement read without effect does nothing but move the reader on -
    // unless it prints, fails or runs out of stack - and the same tokens in
    // the same window always read the same way. Function bodies read the
    // statements after a return on every call, so the first reading notes
    // where the statement ended and how much stack it took, and later
    // readings jump there when the stack check would have passed.
    const uintptr_t frame = reinterpret_cast<uintptr_t>(__builtin_frame_address(0));
    CJsTokenizer* reader = reader_;
    const size_t start = reader->tokenIndex();
    const size_t limit = reader->windowLimit();
    if (start >= limit) {
        statementBody(execute);
        return;
    }
    const CJsToken& first = reader->current();
    if (first.skipEnd != 0 && first.skipWindowEnd == limit && first.skipStack <= frame) {
        const uintptr_t deepest = frame - first.skipStack;
        if (deepest >= lowestChecked_ || frameFits(deepest)) {
            if (deepest < lowestChecked_) lowestChecked_ = deepest;
            reader->skipTo(first.skipEnd);
            return;
        }
    }
    const uintptr_t checkedBefore = lowestChecked_;
    const uint64_t printsBefore = printCount_;
    lowestChecked_ = UINTPTR_MAX;  // measures the reading's deepest frame
    statementBody(execute);
    const uintptr_t deepest = std::min(lowestChecked_, frame);
    lowestChecked_ = std::min(checkedBefore, lowestChecked_);
    const size_t end = reader->tokenIndex();
    if (reader_ == reader && printCount_ == printsBefore && end > start && end < limit &&
        frame - deepest <= UINT32_MAX && limit <= UINT32_MAX) {
        first.skipEnd = static_cast<uint32_t>(end);
        first.skipWindowEnd = static_cast<uint32_t>(limit);
        first.skipStack = static_cast<uint32_t>(frame - deepest);
    }
}

void CJsEngine::statementBody(bool& execute) {
    switch (reader_->token()) {
        case TOK_ID:
        case TOK_INT:
        case TOK_FLOAT:
        case TOK_STRING:
        case '-':
            assignment(execute);
            reader_->expectToken(';');
            break;
        case '{':
            block(execute);
            break;
        case ';':
            reader_->nextToken();
            break;
        case TOK_VAR:
            varStatement(execute);
            break;
        case TOK_IF:
            ifStatement(execute);
            break;
        case TOK_WHILE:
            whileStatement(execute);
            break;
        case TOK_FOR:
            forStatement(execute);
            break;
        case TOK_RETURN:
            returnStatement(execute);
            break;
        case TOK_FUNCTION: {
            Ref function = functionDefinition();
            if (execute) {
                if (function.name().empty()) {
                    print("Functions defined at statement-level are meant to have a name\n");
                } else {
                    scopes_.back()->setChild(function.name(), function.value());
                }
            }
            break;
        }
        default:
            reader_->expectToken(TOK_EOF);
    }
}

void CJsEngine::block(bool& execute) {
    reader_->expectToken('{');
    if (execute) {
        while (reader_->token() != TOK_EOF && reader_->token() != '}')
            statement(execute);
        reader_->expectToken('}');
        return;
    }
    int depth = 1;
    while (reader_->token() != TOK_EOF && depth > 0) {
        if (reader_->token() == '{') depth++;
        if (reader_->token() == '}') depth--;
        reader_->nextToken();
    }
}

void CJsEngine::ifStatement(bool& execute) {
    reader_->expectToken(TOK_IF);
    reader_->expectToken('(');
    Ref test = assignment(execute);
    bool taken = execute && test.value()->asBool();
    reader_->expectToken(')');
    bool skip = false;
    statement(taken ? execute : skip);
    if (reader_->token() == TOK_ELSE) {
        reader_->nextToken();
        statement(taken ? skip : execute);
    }
}

void CJsEngine::loopError(const char* format) {
    std::string tree;
    root_->dumpTree(tree, "", "");
    print(tree);
    char message[256];
    std::snprintf(message, sizeof message, format, registry_.limits.loopPasses,
                  reader_->positionText(-1).c_str());
    print(message);
    throw CScriptException("LOOP_ERROR");
}

void CJsEngine::whileStatement(bool& execute) {
    reader_->expectToken(TOK_WHILE);
    reader_->expectToken('(');
    int conditionStart = reader_->tokenStart();
    Ref test = assignment(execute);
    bool proceed = execute && test.value()->asBool();
    test.reset();
    std::unique_ptr<CJsTokenizer> conditionReader = reader_->subReader(conditionStart);
    reader_->expectToken(')');
    int bodyStart = reader_->tokenStart();
    bool skip = false;
    statement(proceed ? execute : skip);
    std::unique_ptr<CJsTokenizer> bodyReader = reader_->subReader(bodyStart);

    CJsTokenizer* main = reader_;
    int passes = registry_.limits.loopPasses;
    try {
        while (proceed && passes-- > 0) {
            chargeWork(1);
            conditionReader->reset();
            reader_ = conditionReader.get();
            proceed = execute && assignment(execute).value()->asBool();
            if (proceed) {
                bodyReader->reset();
                reader_ = bodyReader.get();
                statement(execute);
            }
        }
    } catch (...) {
        reader_ = main;
        throw;
    }
    reader_ = main;
    if (passes <= 0) loopError("WHILE Loop exceeded %d iterations at %s\n");
}

void CJsEngine::forStatement(bool& execute) {
    reader_->expectToken(TOK_FOR);
    reader_->expectToken('(');
    statement(execute);
    int conditionStart = reader_->tokenStart();
    Ref test = assignment(execute);
    bool proceed = execute && test.value()->asBool();
    test.reset();
    std::unique_ptr<CJsTokenizer> conditionReader = reader_->subReader(conditionStart);
    reader_->expectToken(';');
    int stepStart = reader_->tokenStart();
    bool skip = false;
    assignment(skip);
    std::unique_ptr<CJsTokenizer> stepReader = reader_->subReader(stepStart);
    reader_->expectToken(')');
    int bodyStart = reader_->tokenStart();
    statement(proceed ? execute : skip);
    std::unique_ptr<CJsTokenizer> bodyReader = reader_->subReader(bodyStart);

    CJsTokenizer* main = reader_;
    int passes = registry_.limits.loopPasses;
    try {
        if (proceed) {
            stepReader->reset();
            reader_ = stepReader.get();
            assignment(execute);
        }
        while (execute && proceed && passes-- > 0) {
            chargeWork(1);
            conditionReader->reset();
            reader_ = conditionReader.get();
            proceed = assignment(execute).value()->asBool();
            if (execute && proceed) {
                bodyReader->reset();
                reader_ = bodyReader.get();
                statement(execute);
            }
            if (execute && proceed) {
                stepReader->reset();
                reader_ = stepReader.get();
                assignment(execute);
            }
        }
    } catch (...) {
        reader_ = main;
        throw;
    }
    reader_ = main;
    if (passes <= 0) loopError("FOR Loop exceeded %d iterations at %s\n");
}

void CJsEngine::varStatement(bool& execute) {
    reader_->expectToken(TOK_VAR);
    while (reader_->token() != ';') {
        Ref target;
        if (execute) target = Ref(scopes_.back()->lookupOrAddChild(reader_->tokenText(), 0));
        reader_->expectToken(TOK_ID);
        while (reader_->token() == '.') {
            reader_->expectToken('.');
            if (execute) target = Ref(target.value()->lookupOrAddChild(reader_->tokenText(), 0));
            reader_->expectToken(TOK_ID);
        }
        if (reader_->token() == '=') {
            reader_->expectToken('=');
            Ref value = assignment(execute);
            if (execute) target.rebind(value.value());
        }
        if (reader_->token() != ';') reader_->expectToken(',');
    }
    reader_->expectToken(';');
}

void CJsEngine::returnStatement(bool& execute) {
    reader_->expectToken(TOK_RETURN);
    Ref result;
    if (reader_->token() != ';') result = assignment(execute);
    if (execute) {
        if (returned_) {
            *returned_ = CJsValueRef(result ? result.value() : new CJsValue());
        } else if (CJsBinding* slot = scopes_.back()->lookupChild("return")) {
            slot->rebind(result ? result.value() : nullptr);
        } else {
            print("RETURN statement, but not in a function.\n");
        }
        execute = false;
    }
    reader_->expectToken(';');
}
