// Operator semantics: which operand types combine how, and the one integer
// parse that literals, typed construction and Integer.parseInt share.
#include <cerrno>
#include <cstdlib>

#include "js/tokenizer.h"
#include "js/value.h"

int32_t parseJsInt(const std::string& text) {
    errno = 0;
    long long value = std::strtoll(text.c_str(), nullptr, 0);
    if (value > INT32_MAX) return INT32_MAX;
    if (value < INT32_MIN) return INT32_MIN;
    return static_cast<int32_t>(value);
}

namespace {

[[noreturn]] void unsupported(int op, const char* type) {
    throw CScriptException("Operation " + tokenName(op) + " not supported on the " + type +
                           " datatype");
}

CJsValue* truth(bool value) {
    return new CJsValue(static_cast<int32_t>(value ? 1 : 0));
}

// The six comparisons shared by every type; false when `op` is none of them.
template <typename T>
bool compare(const T& a, const T& b, int op, bool* result) {
    switch (op) {
        case TOK_EQUAL:
            *result = a == b;
            return true;
        case TOK_NEQUAL:
            *result = a != b;
            return true;
        case '<':
            *result = a < b;
            return true;
        case '>':
            *result = a > b;
            return true;
        case TOK_LEQUAL:
            *result = a <= b;
            return true;
        case TOK_GEQUAL:
            *result = a >= b;
            return true;
    }
    return false;
}

CJsValue* textOperator(const CJsValue* a, const CJsValue* b, int op) {
    std::string left = a->asString();
    std::string right = b->asString();
    if (op == '+') {
        jsCheckStringLength(left.size() + right.size());
        return new CJsValue(left + right);
    }
    bool result = false;
    if (compare(left, right, op, &result)) return truth(result);
    unsupported(op, "string");
}

CJsValue* doubleOperator(double a, double b, int op) {
    switch (op) {
        case '+':
            return new CJsValue(a + b);
        case '-':
            return new CJsValue(a - b);
        case '*':
            return new CJsValue(a * b);
        case '/':
            return new CJsValue(a / b);
    }
    bool result = false;
    if (compare(a, b, op, &result)) return truth(result);
    unsupported(op, "Double");
}

CJsValue* intOperator(int32_t a, int32_t b, int op) {
    // Unsigned arithmetic gives the 32-bit wrap without undefined behaviour.
    uint32_t ua = static_cast<uint32_t>(a);
    uint32_t ub = static_cast<uint32_t>(b);
    switch (op) {
        case '+':
            return new CJsValue(static_cast<int32_t>(ua + ub));
        case '-':
            return new CJsValue(static_cast<int32_t>(ua - ub));
        case '*':
            return new CJsValue(static_cast<int32_t>(ua * ub));
        case '&':
            return new CJsValue(static_cast<int32_t>(ua & ub));
        case '|':
            return new CJsValue(static_cast<int32_t>(ua | ub));
        case '^':
            return new CJsValue(static_cast<int32_t>(ua ^ ub));
        // Division by zero gives 0, and the smallest integer divided by -1
        // wraps to itself, instead of trapping.
        case '/':
            if (b == 0) return new CJsValue(0);
            if (b == -1) return new CJsValue(static_cast<int32_t>(0u - ua));
            return new CJsValue(a / b);
        case '%':
            if (b == 0 || b == -1) return new CJsValue(0);
            return new CJsValue(a % b);
    }
    bool result = false;
    if (compare(a, b, op, &result)) return truth(result);
    unsupported(op, "Int");
}

}  // namespace

CJsValue* applyOperator(const CJsValue* a, const CJsValue* b, int op) {
    if (op == TOK_TYPEEQUAL || op == TOK_NTYPEEQUAL) {
        bool equal = a->type() == b->type() && a->looselyEquals(b);
        return truth(op == TOK_TYPEEQUAL ? equal : !equal);
    }
    if (a->isUndefined() && b->isUndefined()) {
        if (op == TOK_EQUAL) return truth(true);
        if (op == TOK_NEQUAL) return truth(false);
        return new CJsValue();
    }
    bool aNumberLike = a->isNumeric() || a->isUndefined();
    bool bNumberLike = b->isNumeric() || b->isUndefined();
    if (!aNumberLike || !bNumberLike) {
        if (a->isArray() || a->isObject()) {
            if (op == TOK_EQUAL) return truth(a == b);
            if (op == TOK_NEQUAL) return truth(a != b);
            unsupported(op, a->isArray() ? "Array" : "Object");
        }
        return textOperator(a, b, op);
    }
    if (a->isDouble() || b->isDouble()) return doubleOperator(a->asDouble(), b->asDouble(), op);
    return intOperator(a->asInt(), b->asInt(), op);
}
