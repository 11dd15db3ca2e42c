// Operator precedence and associativity of scripts. Every pair of binary
// operators is evaluated as `a op1 b op2 c`, and every operator after a
// unary one, against values worked out here with the script language's own
// grouping rules (which differ from C's: the bitwise and logical operators
// share one level below the comparisons, and a shift takes everything to
// its right) and its 32-bit integer arithmetic.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "js/engine.h"

namespace {

// Loosest first; each group is one level, grouped left to right.
const std::vector<std::vector<std::string>> kLevels = {
    {"&", "|", "^", "&&", "||"},
    {"==", "===", "!=", "!==", "<", "<=", ">", ">="},
    {"<<", ">>", ">>>"},
    {"+", "-"},
    {"*", "/", "%"},
};

int levelOf(const std::string& op) {
    for (size_t i = 0; i < kLevels.size(); ++i)
        for (const std::string& o : kLevels[i])
            if (o == op) return static_cast<int>(i);
    ADD_FAILURE() << "no level for " << op;
    return -1;
}

bool isShift(const std::string& op) {
    return levelOf(op) == 2;
}

int32_t wrap(int64_t v) {
    return static_cast<int32_t>(static_cast<uint32_t>(v));
}

// One operator on integers: wrapping arithmetic, truncating division,
// comparisons as 1/0, shifts by the count modulo 32, and && / || giving the
// left operand when it decides the result and otherwise 0 or 1.
int32_t apply(const std::string& op, int32_t x, int32_t y) {
    unsigned count = static_cast<uint32_t>(y) % 32;
    if (op == "+") return wrap(int64_t{x} + y);
    if (op == "-") return wrap(int64_t{x} - y);
    if (op == "*") return wrap(int64_t{x} * y);
    if (op == "/") return x / y;
    if (op == "%") return x % y;
    if (op == "<<") return wrap(static_cast<uint32_t>(x) << count);
    if (op == ">>") return x >> count;
    if (op == ">>>") return wrap(static_cast<uint32_t>(x) >> count);
    if (op == "==" || op == "===") return x == y;
    if (op == "!=" || op == "!==") return x != y;
    if (op == "<") return x < y;
    if (op == "<=") return x <= y;
    if (op == ">") return x > y;
    if (op == ">=") return x >= y;
    if (op == "&") return x & y;
    if (op == "|") return x | y;
    if (op == "^") return x ^ y;
    if (op == "&&") return x == 0 ? x : (y != 0);
    if (op == "||") return x != 0 ? x : (y != 0);
    ADD_FAILURE() << "unknown operator " << op;
    return 0;
}

// `a op1 b op2 c`: a shift's right side is everything after it; otherwise
// the tighter (or, on one level, the first) operator groups first.
int32_t expected(int32_t a, const std::string& op1, int32_t b, const std::string& op2, int32_t c) {
    if (isShift(op1) || levelOf(op1) < levelOf(op2)) return apply(op1, a, apply(op2, b, c));
    return apply(op2, apply(op1, a, b), c);
}

class PrecedenceTest : public ::testing::Test {
protected:
    std::string eval(const std::string& code) { return engine.evalToString(code); }
    CJsEngine engine;
};

TEST_F(PrecedenceTest, EveryPairOfBinaryOperators) {
    struct Triple {
        int32_t a, b, c;
    };
    for (const auto& row : kLevels)
        for (const std::string& op1 : row)
            for (const auto& column : kLevels)
                for (const std::string& op2 : column)
                    for (Triple t : {Triple{13, 5, 3}, Triple{0, 6, 2}}) {
                        std::string code = std::to_string(t.a) + " " + op1 + " " +
                                           std::to_string(t.b) + " " + op2 + " " +
                                           std::to_string(t.c);
                        EXPECT_EQ(eval(code), std::to_string(expected(t.a, op1, t.b, op2, t.c)))
                            << code;
                    }
}

// A leading "-" negates the first term (so it binds looser than * / % but
// tighter than everything else); "!" binds to the primary after it.
TEST_F(PrecedenceTest, UnaryOperatorsBeforeEachBinaryOperator) {
    for (const auto& row : kLevels)
        for (const std::string& op : row) {
            std::string minus = "-2 " + op + " 3";
            int32_t negated = levelOf(op) == 4 ? -apply(op, 2, 3) : apply(op, -2, 3);
            EXPECT_EQ(eval(minus), std::to_string(negated)) << minus;
            std::string minusFirst = "-16 " + op + " 28";
            negated = levelOf(op) == 4 ? -apply(op, 16, 28) : apply(op, -16, 28);
            EXPECT_EQ(eval(minusFirst), std::to_string(negated)) << minusFirst;
            for (int32_t operand : {0, 5}) {
                std::string code = "!" + std::to_string(operand) + " " + op + " 3";
                EXPECT_EQ(eval(code), std::to_string(apply(op, operand == 0, 3))) << code;
            }
        }
}

TEST_F(PrecedenceTest, GroupingWrittenOut) {
    struct Case {
        const char* code;
        const char* value;
    };
    const Case cases[] = {
        {"-2 + 3", "1"},
        {"-2 * 3 + 1", "-5"},
        {"10 - 4 - 3", "3"},
        {"100 / 10 / 5", "2"},
        {"17 % 5 * 2", "4"},
        {"(2 + 3) * 4", "20"},
        {"2 * (3 + 4) - (10 - 1)", "5"},
        {"1 << 2 == 4", "1"},  // 1 << (2 == 4)
        {"16 >> 2 | 1", "2"},  // 16 >> (2 | 1)
        {"6 & 3 | 8", "10"},   // (6 & 3) | 8
        {"1 ^ 3 & 2", "2"},    // (1 ^ 3) & 2
        {"3 > 2 > 1", "0"},    // (3 > 2) > 1
        {"0 || 7", "1"},
        {"5 || 0", "5"},
        {"4 && 7", "1"},
        {"1 ? 2 : 3 + 4", "2"},
        {"0 ? 2 : 3 + 4", "7"},
        {"0 ? 1 : 0 ? 2 : 3", "3"},
        {"1 - 1 ? 5 : 6", "6"},
        {"0 || 0 ? 8 : 9", "9"},
        {"a = b = 3; a * 2 + b", "9"},
        {"y = 0 ? 4 : 5; y", "5"},
        {"x = 5; x++ + 10", "15"},
        {"x", "6"},
        {"\"3\" + 1 + 2", "312"},
        {"1 + 2 + \"3\"", "33"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(eval(c.code), c.value) << c.code;
}

// A "-" only starts an expression; after an operator it is a syntax error,
// and "!" does not repeat.
TEST_F(PrecedenceTest, MinusAfterAnOperatorAndDoubleNotAreRefused) {
    for (const char* code : {"2 - -3", "2 * -3", "!!1"})
        EXPECT_THROW(engine.evalExpressions(code), CScriptException) << code;
}

}  // namespace
