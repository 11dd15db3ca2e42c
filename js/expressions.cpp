// Expressions, from assignment down to primaries, and function calls. Each
// level returns a held binding: an owned one (a member or local) or a
// temporary that dies when the last hold on it goes.
#include <cstdio>

#include "js/engine.h"

namespace {

const std::string kReturnName = "return";
const std::string kThisName = "this";
const std::string kPrototypeName = "prototype";
const uint32_t kReturnHash = jsNameHash(kReturnName);
const uint32_t kThisHash = jsNameHash(kThisName);
const uint32_t kPrototypeHash = jsNameHash(kPrototypeName);

// A prototype chain longer than this is taken to be a loop.
constexpr int kMaxPrototypeHops = 1000;

bool isAssignmentOperator(int token) {
    return token == '=' || token == TOK_PLUSEQUAL || token == TOK_MINUSEQUAL;
}

bool isComparison(int token) {
    return token == TOK_EQUAL || token == TOK_TYPEEQUAL || token == TOK_NEQUAL ||
           token == TOK_NTYPEEQUAL || token == '<' || token == TOK_LEQUAL || token == '>' ||
           token == TOK_GEQUAL;
}

bool isLogic(int token) {
    return token == '&' || token == '|' || token == '^' || token == TOK_ANDAND || token == TOK_OROR;
}

}  // namespace

// Every operand passes through all the levels of the descent, and most levels
// only look at one token and hand the operand up. Merging those levels into
// the ones that call them saves a call and a hand-over of the result per level
// and operand. Assignment, term and primary stay calls, which bounds the code
// this duplicates.
#define JS_LEVEL __attribute__((always_inline)) inline

namespace {

const std::string kNoName;

// The common case of applyOperator - two integers and an operator that cannot
// fail - without its checks of every other combination; null for the rest.
inline CJsValue* integerOperation(const CJsValue* a, const CJsValue* b, int op) {
    if (a->flags != CJsValue::INTEGER || b->flags != CJsValue::INTEGER) return nullptr;
    // Unsigned arithmetic gives the 32-bit wrap without undefined behaviour.
    const int32_t x = a->intValue;
    const int32_t y = b->intValue;
    const uint32_t ux = static_cast<uint32_t>(x);
    const uint32_t uy = static_cast<uint32_t>(y);
    int32_t result;
    switch (op) {
        case '+':
            result = static_cast<int32_t>(ux + uy);
            break;
        case '-':
            result = static_cast<int32_t>(ux - uy);
            break;
        case '*':
            result = static_cast<int32_t>(ux * uy);
            break;
        case '<':
            result = x < y;
            break;
        case '>':
            result = x > y;
            break;
        case TOK_LEQUAL:
            result = x <= y;
            break;
        case TOK_GEQUAL:
            result = x >= y;
            break;
        case TOK_EQUAL:
            result = x == y;
            break;
        case TOK_NEQUAL:
            result = x != y;
            break;
        default:
            return nullptr;
    }
    return new CJsValue(result);
}

}  // namespace

const std::string& CJsOperand::name() const {
    CJsBinding* held = binding();
    return held ? held->name : kNoName;
}

void CJsOperand::rebind(CJsValue* value) {
    if (CJsBinding* held = binding()) {
        held->rebind(value);
        return;
    }
    *this = temporary(value);
}

namespace {

// Fills a call scope taken from the spares: the members left from its last
// call are named and bound again in order, and only missing ones are made.
// Nothing can see the scope while it is filled.
class ScopeFiller {
public:
    explicit ScopeFiller(CJsValue* scope) : scope_(scope), spare_(scope->firstChild) {}
    // `hash` is jsNameHash(name).
    void bind(const std::string& name, uint32_t hash, CJsValue* value) {
        if (!spare_) {
            scope_->appendChild(name, hash, value);
            return;
        }
        CJsBinding* member = spare_;
        spare_ = member->next;
        if (member->hash != hash || !jsSameName(member->name, name)) {
            scope_->renameChild(member, name);
        }
        member->rebind(value);
    }
    // Drops the members this call did not need.
    void finish() {
        while (spare_) {
            CJsBinding* member = spare_;
            spare_ = member->next;
            scope_->removeBinding(member);
        }
    }

private:
    CJsValue* scope_;
    CJsBinding* spare_;
};

// What cloneDeep makes of a value without members, without its walk and
// budget: every basic argument of a call is copied.
CJsValue* copyBasic(const CJsValue* source) {
    CJsValue* copy = new CJsValue();
    copy->flags = static_cast<uint8_t>(source->flags & CJsValue::TYPE_MASK);
    if (!source->text.empty()) copy->text = source->text;
    copy->intValue = source->intValue;
    copy->doubleValue = source->doubleValue;
    if (source->bodyTokens) copy->bodyTokens = source->bodyTokens;
    return copy;
}

}  // namespace

CJsEngine::Ref CJsEngine::temporary(CJsValue* value, const std::string& name) {
    return Ref(new CJsBinding(name, value));
}

CJsEngine::Ref CJsEngine::operate(const Ref& a, const Ref& b, int op) {
    if (CJsValue* quick = integerOperation(a.value(), b.value(), op)) return temporary(quick);
    CJsValue* result = applyOperator(a.value(), b.value(), op);
    Ref held = temporary(result);
    // Building text costs in proportion to its size.
    if (result->isString()) chargeWork(static_cast<int64_t>(result->text.size() >> 12));
    return held;
}

CJsBinding* CJsEngine::findGlobal(const CJsToken& name) const {
    CJsBinding* found = root_->lookupChild(name.text, name.hash);
    if (found) {
        name.global = found;
        name.globalEngine = serial_;
        name.globalGeneration = root_->generation();
    }
    return found;
}

CJsEngine::Ref CJsEngine::findMember(CJsValue* object, const std::string& name, uint32_t hash) {
    if (CJsBinding* own = object->lookupChild(name, hash)) return Ref(own);
    CJsBinding* prototype = object->lookupChild(kPrototypeName, kPrototypeHash);
    for (int hops = 0; prototype && hops < kMaxPrototypeHops; hops++) {
        if (CJsBinding* inherited = prototype->value->lookupChild(name, hash)) {
            return Ref(inherited);
        }
        prototype = prototype->value->lookupChild(kPrototypeName, kPrototypeHash);
    }
    if (object->isString()) {
        if (CJsBinding* method = stringClass_->lookupChild(name, hash)) return Ref(method);
    }
    if (object->isArray()) {
        if (CJsBinding* method = arrayClass_->lookupChild(name, hash)) return Ref(method);
    }
    if (CJsBinding* method = objectClass_->lookupChild(name, hash)) return Ref(method);
    if (name == "length") {
        if (object->isArray()) return temporary(new CJsValue(object->arrayLength()));
        if (object->isString()) {
            return temporary(new CJsValue(static_cast<int32_t>(object->text.size())));
        }
    }
    return Ref(object->appendChild(name, hash, nullptr));
}

namespace {

// Tokens that no level between assignment and primary reads on from: an
// operand followed by one of them is the whole operand of the assignment.
inline bool endsOperand(int token) {
    switch (token) {
        case TOK_EOF:  // the end of a loop's condition or step
        case ';':
        case ')':
        case ',':
        case ']':
        case '}':
        case ':':
        case '=':
        case TOK_PLUSEQUAL:
        case TOK_MINUSEQUAL:
            return true;
    }
    return false;
}

inline bool isPlainOperand(int token) {
    return token == TOK_ID || token == TOK_INT || token == TOK_FLOAT || token == TOK_STRING;
}

}  // namespace

JS_LEVEL CJsEngine::Ref CJsEngine::assignmentTarget(bool& execute) {
    // Arguments, returned values, conditions and assignment targets are mostly
    // a single name or literal, one operator between two of them, a step or a
    // call: those skip the levels that would only hand them up.
    if (!isPlainOperand(reader_->token())) return levels(execute);
    const int second = reader_->nextKind();
    if (endsOperand(second)) return plainOperand(execute);
    if (isPlainBinaryOperator(second) && isPlainOperand(reader_->kindAhead(2)) &&
        endsOperand(reader_->kindAhead(3))) {
        return plainBinary(execute);
    }
    if ((second == TOK_PLUSPLUS || second == TOK_MINUSMINUS) &&
        endsOperand(reader_->kindAhead(2))) {
        Ref target = plainOperand(execute);
        reader_->nextToken();
        if (execute) step(target, second);
        return target;
    }
    if (second == '(' && reader_->token() == TOK_ID && endsOperand(reader_->kindAfterClosing(1))) {
        return identifier(execute);  // a call and nothing after it
    }
    return levels(execute);
}

CJsEngine::Ref CJsEngine::assignment(bool& execute) {
    checkStack();
    Ref target = assignmentTarget(execute);
    const int op = reader_->token();
    if (!isAssignmentOperator(op)) return target;
    return assign(execute, std::move(target), op);
}

__attribute__((noinline)) CJsEngine::Ref CJsEngine::levels(bool& execute) {
    return ternary(execute);
}

__attribute__((noinline)) CJsEngine::Ref CJsEngine::assign(bool& execute, Ref target, int op) {
    if (execute && !target.owned()) {
        if (!target.name().empty()) {
            // An identifier no scope knows becomes a global.
            target = Ref(root_->setChild(target.name(), target.value()));
        } else {
            print("Trying to assign to an un-named type\n");
        }
    }
    reader_->nextToken();
    Ref value = assignment(execute);
    if (execute) {
        if (op == '=') {
            target.rebind(value.value());
        } else {
            Ref result = operate(target, value, op == TOK_PLUSEQUAL ? '+' : '-');
            target.rebind(result.value());
        }
    }
    return target;
}

CJsEngine::Ref CJsEngine::plainOperand(bool& execute) {
    // What primary and identifier make of these tokens when no call, member
    // or index follows, without their dispatch.
    const CJsToken& token = reader_->current();
    reader_->nextToken();
    if (!execute) return skipped_;
    if (token.kind == TOK_ID) {
        CJsBinding* found = findInScopes(token);
        return found ? Ref(found) : temporary(new CJsValue(), token.text);
    }
    return literal(token);
}

CJsEngine::Ref CJsEngine::literal(const CJsToken& token) {
    if (token.constant) return temporary(token.constant);
    CJsValue* value = token.kind == TOK_INT     ? new CJsValue(token.intValue)
                      : token.kind == TOK_FLOAT ? new CJsValue(token.doubleValue)
                                                : new CJsValue(token.text);
    if (token.transient) token.constant = value->ref();
    return temporary(value);
}

void CJsEngine::step(Ref& operand, int op) {
    // The operand is set to the next value and yields the old one.
    Ref changed = operate(operand, one_, op == TOK_PLUSPLUS ? '+' : '-');
    Ref old = temporary(operand.value());
    operand.rebind(changed.value());
    operand = std::move(old);
}

CJsEngine::Ref CJsEngine::plainBinary(bool& execute) {
    Ref left = plainOperand(execute);
    const int op = reader_->token();
    reader_->nextToken();
    Ref right = plainOperand(execute);
    if (!execute) return left;
    return operate(left, right, op);
}

JS_LEVEL CJsEngine::Ref CJsEngine::ternary(bool& execute) {
    Ref test = logic(execute);
    if (reader_->token() != '?') return test;
    reader_->nextToken();
    bool skip = false;
    if (!execute) {
        assignment(skip);
        reader_->expectToken(':');
        assignment(skip);
        return test;
    }
    bool first = test.value()->asBool();
    Ref result = first ? assignment(execute) : assignment(skip);
    reader_->expectToken(':');
    Ref second = first ? assignment(skip) : assignment(execute);
    return first ? result : second;
}

JS_LEVEL CJsEngine::Ref CJsEngine::logic(bool& execute) {
    Ref left = condition(execute);
    while (isLogic(reader_->token())) {
        int op = reader_->token();
        reader_->nextToken();
        bool skipRight = false;
        bool boolean = false;
        if (op == TOK_ANDAND) {
            op = '&';
            boolean = true;
            skipRight = !left.value()->asBool();
        } else if (op == TOK_OROR) {
            op = '|';
            boolean = true;
            skipRight = left.value()->asBool();
        }
        bool skip = false;
        Ref right = condition(skipRight ? skip : execute);
        if (execute && !skipRight) {
            if (boolean) {
                left = temporary(new CJsValue(static_cast<int32_t>(left.value()->asBool())));
                right = temporary(new CJsValue(static_cast<int32_t>(right.value()->asBool())));
            }
            left = operate(left, right, op);
        }
    }
    return left;
}

JS_LEVEL CJsEngine::Ref CJsEngine::condition(bool& execute) {
    Ref left = shift(execute);
    while (isComparison(reader_->token())) {
        int op = reader_->token();
        reader_->nextToken();
        Ref right = shift(execute);
        if (execute) left = operate(left, right, op);
    }
    return left;
}

JS_LEVEL CJsEngine::Ref CJsEngine::shift(bool& execute) {
    Ref left = additive(execute);
    int op = reader_->token();
    if (op != TOK_LSHIFT && op != TOK_RSHIFT && op != TOK_RSHIFTUNSIGNED) return left;
    reader_->nextToken();
    Ref right = assignment(execute);
    if (!execute) return left;
    int32_t value = left.value()->asInt();
    unsigned amount = static_cast<uint32_t>(right.value()->asInt()) & 31u;
    uint32_t pattern = static_cast<uint32_t>(value);
    int32_t result;
    if (op == TOK_LSHIFT) {
        result = static_cast<int32_t>(pattern << amount);
    } else if (op == TOK_RSHIFT) {
        result = value >> amount;
    } else {
        result = static_cast<int32_t>(pattern >> amount);
    }
    return temporary(new CJsValue(result));
}

JS_LEVEL CJsEngine::Ref CJsEngine::additive(bool& execute) {
    bool negate = false;
    if (reader_->token() == '-') {
        reader_->nextToken();
        negate = true;
    }
    Ref left = term(execute);
    if (negate && execute) left = operate(temporary(new CJsValue(0)), left, '-');
    for (;;) {
        int op = reader_->token();
        if (op == TOK_PLUSPLUS || op == TOK_MINUSMINUS) {
            reader_->nextToken();
            if (execute) step(left, op);
        } else if (op == '+' || op == '-') {
            reader_->nextToken();
            Ref right = term(execute);
            if (execute) left = operate(left, right, op);
        } else {
            return left;
        }
    }
}

CJsEngine::Ref CJsEngine::term(bool& execute) {
    Ref left = unary(execute);
    while (reader_->token() == '*' || reader_->token() == '/' || reader_->token() == '%') {
        int op = reader_->token();
        reader_->nextToken();
        Ref right = unary(execute);
        if (execute) left = operate(left, right, op);
    }
    return left;
}

JS_LEVEL CJsEngine::Ref CJsEngine::unary(bool& execute) {
    if (reader_->token() != '!') return primary(execute);
    reader_->nextToken();
    Ref operand = primary(execute);
    if (!execute) return operand;
    return operate(operand, temporary(new CJsValue(0)), TOK_EQUAL);
}

CJsEngine::Ref CJsEngine::primary(bool& execute) {
    checkStack();
    const int token = reader_->token();
    switch (token) {
        case '(': {
            reader_->nextToken();
            Ref inner = assignment(execute);
            reader_->expectToken(')');
            return inner;
        }
        case TOK_TRUE:
        case TOK_FALSE:
            reader_->nextToken();
            if (!execute) return skipped_;
            return temporary(new CJsValue(static_cast<int32_t>(token == TOK_TRUE)));
        case TOK_NULL:
            reader_->nextToken();
            if (!execute) return skipped_;
            return temporary(new CJsValue(std::string(), CJsValue::NULLTYPE));
        case TOK_UNDEFINED:
            reader_->nextToken();
            return execute ? temporary(new CJsValue()) : skipped_;
        case TOK_INT:
        case TOK_FLOAT:
        case TOK_STRING: {
            if (!execute) {
                reader_->nextToken();
                return skipped_;
            }
            const CJsToken& read = reader_->current();
            reader_->nextToken();
            return literal(read);
        }
        case TOK_ID:
            return identifier(execute);
        case '[':
            return arrayLiteral(execute);
        case '{':
            return objectLiteral(execute);
        case TOK_NEW:
            return newExpression(execute);
        case TOK_FUNCTION: {
            Ref function = functionDefinition();
            if (!function.name().empty()) {
                print("Functions not defined at statement-level are not meant to have a name");
            }
            return function;
        }
    }
    reader_->expectToken(TOK_EOF);
    return temporary(new CJsValue());
}

CJsEngine::Ref CJsEngine::identifier(bool& execute) {
    const CJsToken& token = reader_->current();
    const std::string& name = token.text;
    Ref current;
    if (execute) {
        CJsBinding* found = findInScopes(token);
        current = found ? Ref(found) : temporary(new CJsValue(), name);
    } else {
        current = skipped_;
    }
    reader_->nextToken();
    CJsValueRef parent;
    for (;;) {
        int token = reader_->token();
        if (token == '(') {
            current = functionCall(execute, current, parent.get());
        } else if (token == '.') {
            reader_->nextToken();
            if (execute) {
                CJsValueRef object(current.value());
                // Only names carry their hash; anything else fails just after.
                const CJsToken& member = reader_->current();
                const uint32_t hash = member.kind == TOK_ID ? member.hash : jsNameHash(member.text);
                current = findMember(object.get(), member.text, hash);
                parent = object;
            }
            reader_->expectToken(TOK_ID);
        } else if (token == '[') {
            reader_->nextToken();
            Ref index = assignment(execute);
            reader_->expectToken(']');
            if (execute) {
                CJsValueRef object(current.value());
                current = Ref(object->lookupOrAddChild(index.value()->asString(), 0));
                parent = object;
            }
        } else {
            return current;
        }
    }
}

CJsEngine::Ref CJsEngine::arrayLiteral(bool& execute) {
    reader_->expectToken('[');
    Ref result = execute ? temporary(new CJsValue(std::string(), CJsValue::ARRAY)) : skipped_;
    int index = 0;
    while (reader_->token() != ']') {
        Ref element = assignment(execute);
        if (execute) result.value()->appendChild(std::to_string(index), element.value());
        index++;
        if (reader_->token() != ']') reader_->expectToken(',');
    }
    reader_->expectToken(']');
    return result;
}

CJsEngine::Ref CJsEngine::objectLiteral(bool& execute) {
    reader_->expectToken('{');
    Ref result = execute ? temporary(new CJsValue(std::string(), CJsValue::OBJECT)) : skipped_;
    while (reader_->token() != '}') {
        std::string key = reader_->tokenText();
        reader_->expectToken(reader_->token() == TOK_STRING ? TOK_STRING : TOK_ID);
        reader_->expectToken(':');
        Ref member = assignment(execute);
        if (execute) result.value()->appendChild(key, member.value());
        if (reader_->token() != '}') reader_->expectToken(',');
    }
    reader_->expectToken('}');
    return result;
}

CJsEngine::Ref CJsEngine::newExpression(bool& execute) {
    reader_->expectToken(TOK_NEW);
    const std::string className = reader_->tokenText();
    if (!execute) {
        reader_->expectToken(TOK_ID);
        if (reader_->token() == '(') {
            reader_->nextToken();
            reader_->expectToken(')');
        }
        return skipped_;
    }
    CJsBinding* found = findInScopes(className, jsNameHash(className));
    if (!found) {
        print(className + " is not a valid class name");
        return temporary(new CJsValue());
    }
    Ref classBinding(found);
    reader_->expectToken(TOK_ID);
    Ref object = temporary(new CJsValue(std::string(), CJsValue::OBJECT));
    if (classBinding.value()->isFunction()) {
        functionCall(execute, classBinding, object.value());
    } else {
        object.value()->appendChild("prototype", classBinding.value());
        if (reader_->token() == '(') {
            reader_->nextToken();
            reader_->expectToken(')');
        }
    }
    return object;
}

void CJsEngine::parameterList(CJsTokenizer& reader, CJsValue* function) {
    reader.expectToken('(');
    while (reader.token() != ')') {
        function->setChild(reader.tokenText());
        reader.expectToken(TOK_ID);
        if (reader.token() != ')') reader.expectToken(',');
    }
    reader.expectToken(')');
}

CJsEngine::Ref CJsEngine::functionDefinition() {
    reader_->expectToken(TOK_FUNCTION);
    std::string name;
    if (reader_->token() == TOK_ID) {
        name = reader_->tokenText();
        reader_->nextToken();
    }
    Ref function = temporary(new CJsValue(std::string(), CJsValue::FUNCTION), name);
    parameterList(*reader_, function.value());
    int bodyStart = reader_->tokenStart();
    bool skip = false;
    block(skip);
    function.value()->text = reader_->sourceSince(bodyStart);
    return function;
}

CJsEngine::Ref CJsEngine::functionCall(bool& execute, const Ref& function, CJsValue* parent) {
    if (!execute) {
        reader_->expectToken('(');
        bool skip = false;
        while (reader_->token() != ')') {
            assignment(skip);
            if (reader_->token() != ')') reader_->expectToken(',');
        }
        reader_->expectToken(')');
        if (reader_->token() == '{') block(skip);
        return function;
    }
    if (!function.value()->isFunction()) {
        throw CScriptException("Expecting '" + function.name() + "' to be a function");
    }
    CJsValueRef callee(function.value());
    reader_->expectToken('(');
    CJsValueRef scope = takeScope();
    ScopeFiller filler(scope.get());
    if (parent) filler.bind(kThisName, kThisHash, parent);
    // A member named "return" added to the function by a script becomes a
    // parameter that the return statement and the result then find first.
    bool returnParameter = false;
    // Holding the parameter keeps the walk safe even when an argument changes
    // the function's members; an unlinked parameter ends the list.
    for (CJsBindingRef parameter(callee->firstChild); parameter;
         parameter = CJsBindingRef(parameter->next)) {
        Ref argument = assignment(execute);
        if (execute) {
            CJsValue* value = argument.value();
            if (value->isBasic() && !argument.soleTemporary()) value = copyBasic(value);
            filler.bind(parameter->name, parameter->hash, value);
            if (parameter->hash == kReturnHash && jsSameName(parameter->name, kReturnName)) {
                returnParameter = true;
            }
        }
        if (reader_->token() != ')') reader_->expectToken(',');
    }
    reader_->expectToken(')');
    // A script function's result goes straight to `returned`: nothing else
    // can see its scope's "return" member, so the member is not made. A
    // native reads and sets "return" in its scope, and a "return" parameter
    // takes the result, as members.
    const bool direct = !returnParameter && !callee->isNative();
    if (!direct) filler.bind(kReturnName, kReturnHash, nullptr);
    filler.finish();
    CJsValueRef returned;

    // Where the call was made is worked out only if an error passes: the
    // caller's reader and the function's name outlive the call.
    const size_t traceIndex = callTrace_.size();
    callTrace_.push_back(TraceEntry{std::string(), 0, 0, &function.name(),
                                    reader_->tokenList().get(), reader_->lastTokenEnd(),
                                    reader_->windowEnd()});
    try {
        callBody(callee.get(), scope.get(), direct ? &returned : nullptr);
    } catch (...) {
        if (traceIndex < callTrace_.size()) resolveTrace(callTrace_[traceIndex]);
        throw;
    }
    if (!callTrace_.empty()) callTrace_.pop_back();

    Ref result;
    if (direct) {
        result = Ref::adopt(returned);
    } else if (CJsBindingRef slot = CJsBindingRef(scope->lookupChild(kReturnName))) {
        scope->removeBinding(slot.get());
        result = temporary(slot->value);
    } else {
        result = temporary(nullptr);
    }
    spareScope(std::move(scope));
    return result;
}

void CJsEngine::resolveTrace(TraceEntry& entry) {
    if (!entry.list) return;
    positionOf(*entry.list, entry.offset, &entry.line, &entry.column, entry.limit);
    entry.name = *entry.pendingName;
    entry.list = nullptr;
    entry.pendingName = nullptr;
}

CJsValueRef CJsEngine::takeScope() {
    if (sparedScopes_.empty()) return CJsValueRef(new CJsValue(std::string(), CJsValue::FUNCTION));
    CJsValueRef scope = std::move(sparedScopes_.back());
    sparedScopes_.pop_back();
    return scope;
}

void CJsEngine::spareScope(CJsValueRef scope) {
    // Only a scope nothing else holds can be used again, and only when nothing
    // but its members changed; anything else is simply let go.
    CJsValue* value = scope.get();
    if (value->refCount != 1 || sparedScopes_.size() >= kMaxSparedScopes ||
        value->flags != CJsValue::FUNCTION || !value->text.empty() || value->intValue != 0 ||
        value->doubleValue != 0 || value->callback || value->callbackData || value->bodyTokens) {
        return;
    }
    // The members stay for the next call to name and bind again; until then
    // they hold a value nothing changes instead of this call's values. One
    // still held by an expression cannot be taken over.
    bool keep = true;
    for (CJsBinding* member = value->firstChild; member && keep; member = member->next)
        keep = member->holds == 1;
    if (keep) {
        for (CJsBinding* member = value->firstChild; member; member = member->next)
            member->rebind(skipped_.value());
    } else {
        value->clearChildren();
    }
    sparedScopes_.push_back(std::move(scope));
}

void CJsEngine::callBody(CJsValue* function, CJsValue* scope, CJsValueRef* returned) {
    if (callDepth_ >= registry_.limits.callDepth) {
        throw CScriptException("Too much recursion: more than " +
                               std::to_string(registry_.limits.callDepth) + " nested calls");
    }
    chargeWork(1);
    checkStack();
    // Pops the scope and the depth however the call ends; the reader is put
    // back too, while the call trace is left for the error message.
    struct Frame {
        CJsEngine& engine;
        CJsTokenizer* reader;
        CJsValueRef* returned;
        ~Frame() {
            engine.reader_ = reader;
            engine.returned_ = returned;
            engine.scopes_.pop_back();
            engine.scopeNames_.pop_back();
            engine.callDepth_--;
        }
    } frame{*this, reader_, returned_};
    callDepth_++;
    // The scope now on top keeps its names from here on (see scopeNames_).
    const size_t below = scopes_.size() - 1;
    if (below > 0) scopeNames_[below] = scopeNames_[below - 1] | scopes_[below]->nameBits();
    scopes_.push_back(scope);
    scopeNames_.push_back(0);
    returned_ = returned;
    if (function->isNative()) {
        if (function->callback) function->callback(scope, function->callbackData);
        // Text a native builds costs like text an operator builds.
        if (CJsBinding* result = scope->lookupChild(kReturnName)) {
            if (result->value->isString()) {
                chargeWork(static_cast<int64_t>(result->value->text.size() >> 12));
            }
        }
        return;
    }
    if (!function->bodyTokens)
        function->bodyTokens = CJsTokenListRef(new CJsTokenList(function->text));
    CJsTokenizer body(function->bodyTokens);
    reader_ = &body;
    bool execute = true;
    block(execute);
}
