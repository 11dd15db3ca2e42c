// Every diagnostic the compiler gives, each triggered by a broken program
// and checked for file, line, column and text. A failed compilation yields
// neither assembler text nor an image.
#include <gtest/gtest.h>

#include "vsc/compiler.h"

namespace {

struct Case {
    const char* source;
    const char* expected;  // "LINE:COLUMN: message"
};

const Case kCases[] = {
    // Tokens.
    {"void main() { int x = 1 @ 2; }", "1:25: unexpected character '@'"},
    {"int* s = \"abc;", "1:10: unterminated string literal"},
    {"int c = 'a;", "1:9: unterminated character literal"},
    {"int c = 'ab';", "1:9: bad character literal"},
    {"int x;\n  /* open", "2:3: unterminated comment"},
    // Positions count every byte of blanks, names and line comments.
    {"// note\r\n\t int longName_09;\v // tail\n\f\tint q = longName_09 $;",
     "3:23: unexpected character '$'"},
    {"int x = 12abc;", "1:9: bad number '12abc'"},
    {"float f = 1e+;", "1:11: bad number '1e+'"},
    {"int x = 4294967296;", "1:9: integer literal out of range"},
    {"int* s = \"a\\q\";", "1:13: unknown escape '\\q'"},
    // Syntax.
    {"void main() { int x = ; }", "1:23: expected an expression, found ';'"},
    {"void main() {\n    if x }", "2:8: expected '(', found 'x'"},
    {"int f(", "1:7: expected a type, found end of file"},
    {"struct { }", "1:8: expected a struct name, found '{'"},
    {"int a, b;", "1:6: expected ';' (declare one global at a time), found ','"},
    {"void main() { int a[2]; a[0](); }", "1:29: only named functions can be called"},
    // Names and types.
    {"void main() { y = 1; }", "1:15: unknown name 'y'"},
    {"vec3 v;\nvoid main() { v.w = 1.0; }", "2:16: unknown field 'w' in vec3"},
    {"int a;\nfloat a;", "2:7: 'a' is already defined"},
    {"void f(int a, float a) {}", "1:15: 'a' is already defined"},
    {"void f() {}\nvoid main() { int x = f; }", "2:23: 'f' is a function; call it with '('"},
    {"int x;\nvoid main() { x(); }", "2:15: 'x' is not a function"},
    {"void x;", "1:6: a variable cannot have type void"},
    {"struct S { S inner; }", "1:8: struct 'S' contains itself"},
    {"const vec3 V = 1;", "1:16: a constant must be int, float or bool"},
    {"struct S { int a; }\nvoid f(S s) {}", "2:8: S cannot be passed or returned by value"},
    // Conversions and operators.
    {"void main() { int x = 1.5; }", "1:23: cannot convert float to int"},
    {"int x = {1};", "1:9: cannot convert a brace list to int"},
    {"void main() { int x = 1 + vec3(1, 2, 3).x * 0; }", "1:25: cannot convert float to int"},
    {"void main() { vec3 v; vec3 w = v + 1; }", "1:34: operator '+' cannot take vec3 and int"},
    {"void main() { vec3 v; int x = ~v; }", "1:31: operator '~' cannot take vec3"},
    {"void main() { int x = true ? 1 : null; }", "1:28: operator '?:' cannot take int and null"},
    {"bool b;\nvoid main() { b++; }", "2:16: operator '++' cannot take bool"},
    {"void main() { delete 5; }", "1:22: operator 'delete' cannot take int"},
    {"struct S { int a; }\nS s;\nvoid main() { s->a = 1; }", "3:16: operator '->' cannot take S"},
    {"int x;\nvoid main() { x[0] = 1; }", "2:16: operator '[]' cannot take int"},
    {"int a[3];\nvoid main() { a[3] = 1; }", "2:17: index 3 is outside int[3]"},
    {"void main() { if (1.5) return; }", "1:19: expected a condition (bool or int), found float"},
    {"void main() { 3 = 4; }", "1:15: cannot assign to this expression"},
    {"void main() { int* p = &3; }", "1:24: cannot take the address of this expression"},
    {"void main() { 1 + 2; }", "1:17: expected an assignment or a call"},
    // Calls, functions and natives.
    {"void main() { print(\"a\"); }", "1:15: 'print' expects 2 arguments, found 1"},
    {"void main() { sumViewport(); }", "1:15: 'sumViewport' expects 1 or 3 arguments, found 0"},
    {"void main() { break; }", "1:15: 'break' outside a loop"},
    {"void main() { continue; }", "1:15: 'continue' outside a loop"},
    {"int f(int a) {\n    if (a > 0) return 1;\n}",
     "1:5: function 'f' can end without returning a value"},
    {"int f() { return; }", "1:11: 'return' needs a value of type int"},
    {"void f() { return 1; }", "1:19: a void function returns no value"},
    {"void init(int x) {}", "1:6: entry point 'init' must be declared as \"V init()\""},
    {"native int foo(float x) = \"I foo(I)\";",
     "1:12: native 'foo' does not match its signature \"I foo(I)\""},
    {"native int foo(int x) = \"I foo(I,)\";",
     "1:12: native 'foo' does not match its signature \"I foo(I,)\""},
    {"native float foo(int x) = \"F foo(I,F)\";",
     "1:14: native 'foo' does not match its signature \"F foo(I,F)\""},
    {"native void foo(int x, float y) = \"V foo(I)\";",
     "1:13: native 'foo' does not match its signature \"V foo(I)\""},
    // Constants and sizes.
    {"int g = 1;\nint h = g + 1;", "2:11: not a constant expression"},
    {"int a[0];", "1:7: array size must be positive"},
    {"int a[2] = {1, 2, 3};", "1:19: too many initialisers"},
    {"int a[65536][65536];", "1:7: type too large"},
    {"int a[16777215];\nint b[2];", "2:5: static data too large"},
    {"void main() { int a[1048577]; }", "1:19: local variables too large"},
    {"void main() { int a[5000] = {1}; }", "1:29: program too large"},
};

TEST(Diagnostics, NameFileLineColumnAndWhatWasExpected) {
    for (const Case& c : kCases) {
        VscResult result = vscCompile({{"bad.vsl", c.source}});
        EXPECT_FALSE(result.ok) << c.source;
        EXPECT_EQ(std::string("bad.vsl:") + c.expected, result.error) << c.source;
        EXPECT_TRUE(result.words.empty()) << c.source;
        EXPECT_TRUE(result.assembly.empty()) << c.source;
    }
}

TEST(Diagnostics, NestingBeyondTheLimitIsRefused) {
    std::string deep =
        "void main() { int x = " + std::string(300, '(') + "1" + std::string(300, ')') + "; }";
    VscResult result = vscCompile({{"deep.vsl", deep}});
    EXPECT_EQ(0u, result.error.find("deep.vsl:1:")) << result.error;
    EXPECT_NE(std::string::npos, result.error.find(": nesting too deep")) << result.error;

    std::string blocks = "void main() " + std::string(300, '{') + std::string(300, '}');
    result = vscCompile({{"blocks.vsl", blocks}});
    EXPECT_NE(std::string::npos, result.error.find(": nesting too deep")) << result.error;

    std::string sum = "int x = 1";
    for (int i = 0; i < 5000; ++i)
        sum += " + 1";
    result = vscCompile({{"sum.vsl", sum + ";"}});
    EXPECT_NE(std::string::npos, result.error.find(": nesting too deep")) << result.error;
}

TEST(Diagnostics, ErrorsInLaterFilesNameThatFile) {
    VscResult result =
        vscCompile({{"first.vsl", "int shared;\n"},
                    {"second.vsl", "void main() {\n  shared = 2;\n  other = 1;\n}"}});
    EXPECT_EQ("second.vsl:3:3: unknown name 'other'", result.error);
    result = vscCompile({{"first.vsl", "int shared;\n"}, {"second.vsl", "float shared;"}});
    EXPECT_EQ("second.vsl:1:7: 'shared' is already defined", result.error);
}

}  // namespace
