// Tokens, syntax tree and the error type of the scene-language compiler.
// The parser builds the tree; the code generator annotates expressions with
// their types and constant values as it checks them.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace vsc {

struct Pos {
    int file = 0;
    int line = 1;
    int column = 1;
};

// The first error ends compilation: it carries its position and message up
// to vscCompile, which formats it as "FILE:LINE:COLUMN: message".
struct CompileError {
    Pos pos;
    std::string message;
};

// Deeper nesting of expressions, statements or types than this is refused,
// so that no input can exhaust the compiler's own stack.
constexpr int kMaxNesting = 200;

enum class Tok { Ident, Int, Float, String, Punct, End };

struct Token {
    Tok kind = Tok::End;
    std::string text;  // identifier, punctuator or decoded string
    uint32_t intValue = 0;
    float floatValue = 0;
    // For a binary operator, how tightly it binds (0 loosest); -1 otherwise.
    int binaryLevel = -1;
    Pos pos;
};

// Written types: a base name, pointer levels, then array sizes outermost
// first (`float* x[3][4]` is base float, 1 pointer, dims {3, 4}).
struct Expr;
struct TypeSyntax {
    std::string base;
    int pointers = 0;
    std::vector<std::shared_ptr<Expr>> dims;
    Pos pos;
};

struct Type;

struct ConstValue {
    const Type* type = nullptr;  // int, float or bool
    uint32_t bits = 0;
};

struct Expr {
    enum Kind {
        IntLit,
        FloatLit,
        BoolLit,
        Null,
        String,
        Name,
        Unary,        // op: - ! ~ & *
        Binary,       // op
        Call,         // name(args)
        Index,        // kids[0][kids[1]]
        Field,        // kids[0].name
        Arrow,        // kids[0]->name
        Sizeof,       // typeArg
        New,          // typeArg, optional count in kids[0]
        InitList,     // { kids }
        Conditional,  // kids[0] ? kids[1] : kids[2]
    };
    Kind kind;
    Pos pos;
    std::string op;    // operator text
    std::string name;  // identifier, field or string text
    uint32_t bits = 0;
    std::vector<std::unique_ptr<Expr>> kids;
    std::unique_ptr<TypeSyntax> typeArg;
    int depth = 1;

    // Filled by the checker.
    const Type* type = nullptr;
    bool isConst = false;
    ConstValue value;
    bool checked = false;
};

struct Stmt {
    enum Kind {
        Block,
        VarDecl,  // typeSyntax name init(optional)
        ConstDecl,
        If,       // exprs[0] cond, body[0] then, body[1] else (optional)
        While,    // exprs[0] cond, body[0]
        DoWhile,  // body[0], then exprs[0] cond
        For,      // body[0] init (optional), exprs[0] cond (optional), body[1] step, body[2] body
        Break,
        Continue,
        Return,    // exprs[0] optional
        Assign,    // op ("=", "+=", ...), exprs[0] target, exprs[1] value
        IncDec,    // op "++" or "--", exprs[0] target
        ExprStmt,  // exprs[0]
        Delete,    // exprs[0]
    };
    Kind kind;
    Pos pos;
    std::string op;
    std::string name;
    std::unique_ptr<TypeSyntax> typeSyntax;
    std::vector<std::unique_ptr<Expr>> exprs;
    std::vector<std::unique_ptr<Stmt>> body;  // children; null entries allowed for For
};

struct Param {
    TypeSyntax type;
    std::string name;
    Pos pos;
};

struct Decl {
    enum Kind { Struct, Native, Const, Global, Function };
    Kind kind;
    Pos pos;
    std::string name;
    TypeSyntax type;             // result, variable or constant type
    std::vector<Param> params;   // functions and natives; struct fields
    std::unique_ptr<Expr> init;  // initialiser of a global or constant
    std::string signature;       // native signature text
    std::unique_ptr<Stmt> body;  // function body
    bool exported = false;
};

struct SourceFile {
    std::string name;
    std::string text;
};

// Splits `text` into tokens; throws CompileError on a bad token.
std::vector<Token> tokenize(const std::string& text, int file);

// Parses one file's tokens into declarations. `typeNames` holds every struct
// name of the whole program (collected from the tokens beforehand), so that
// declarations and expressions can be told apart.
void parse(const std::vector<Token>& tokens, const std::vector<std::string>& typeNames,
           std::vector<std::unique_ptr<Decl>>& out);

}  // namespace vsc
