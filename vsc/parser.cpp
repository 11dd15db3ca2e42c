// Lexer and recursive-descent parser of the scene language. Nesting is
// counted on every recursive rule so that deep input ends in a diagnostic,
// never in a stack overflow.
#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <utility>

#include "vsc/ast.h"

namespace vsc {

namespace {

[[noreturn]] void fail(Pos pos, const std::string& message) {
    throw CompileError{pos, message};
}

constexpr bool isIdentStart(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
}
constexpr bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// Character classes by table: the lexer tests every byte of a program, and
// one load per byte is cheaper than a chain of comparisons (much cheaper in
// a fuzzing build, which reports every comparison).
enum : uint8_t { kIdentPart = 1, kBlank = 2 };
constexpr std::array<uint8_t, 256> kCharClass = [] {
    std::array<uint8_t, 256> table{};
    for (int c = 0; c < 256; ++c) {
        if (isIdentStart(static_cast<char>(c)) || isDigit(static_cast<char>(c)))
            table[c] |= kIdentPart;
    }
    for (char c : {' ', '\t', '\r', '\f', '\v'})
        table[static_cast<unsigned char>(c)] |= kBlank;
    return table;
}();
uint8_t charClass(char c) {
    return kCharClass[static_cast<unsigned char>(c)];
}

const char* const kPunctuators[] = {">>>", "<<=", ">>=", "->", "++", "--", "+=", "-=", "*=", "/=",
                                    "%=",  "&=",  "|=",  "^=", "==", "!=", "<=", ">=", "&&", "||",
                                    "<<",  ">>",  "+",   "-",  "*",  "/",  "%",  "&",  "|",  "^",
                                    "~",   "!",   "<",   ">",  "=",  "(",  ")",  "[",  "]",  "{",
                                    "}",   ",",   ";",   ".",  "?",  ":"};

// Binary operators and how tightly each binds, from 0 (loosest) up to
// kBinaryLevels - 1; all of them group to the left.
struct BinaryOperator {
    const char* text;
    int level;
};
constexpr BinaryOperator kBinaryOperators[] = {
    {"||", 0}, {"&&", 1}, {"|", 2}, {"^", 3},  {"&", 4},  {"==", 5}, {"!=", 5},
    {"<", 6},  {"<=", 6}, {">", 6}, {">=", 6}, {"<<", 7}, {">>", 7}, {">>>", 7},
    {"+", 8},  {"-", 8},  {"*", 9}, {"/", 9},  {"%", 9}};
constexpr int kBinaryLevels = 10;

int binaryLevelOf(const char* punctuator) {
    for (const BinaryOperator& op : kBinaryOperators)
        if (std::strcmp(op.text, punctuator) == 0) return op.level;
    return -1;
}

std::string describe(char c) {
    if (c >= 32 && c < 127) return std::string(1, c);
    char buffer[8];
    std::snprintf(buffer, sizeof buffer, "\\x%02X", static_cast<unsigned char>(c));
    return buffer;
}

class Lexer {
public:
    Lexer(const std::string& text, int file) : text_(text), file_(file) {}

    std::vector<Token> run() {
        std::vector<Token> tokens;
        // Programs average more than four bytes a token: one allocation
        // mostly, instead of a copy of every token at each doubling.
        tokens.reserve(text_.size() / 4 + 2);
        for (;;) {
            skipSpace();
            Token token;
            token.pos = here();
            if (at_ >= text_.size()) {
                tokens.push_back(std::move(token));
                return tokens;
            }
            char c = text_[at_];
            if (isIdentStart(c)) {
                size_t start = at_;
                at_ = skipClass(at_, kIdentPart);
                column_ += static_cast<int>(at_ - start);  // no line feed inside
                token.kind = Tok::Ident;
                token.text.assign(text_, start, at_ - start);
            } else if (isDigit(c) ||
                       (c == '.' && at_ + 1 < text_.size() && isDigit(text_[at_ + 1]))) {
                number(token);
            } else if (c == '"') {
                token.kind = Tok::String;
                token.text = quoted('"', "unterminated string literal");
            } else if (c == '\'') {
                std::string chars = quoted('\'', "unterminated character literal");
                if (chars.size() != 1) fail(token.pos, "bad character literal");
                token.kind = Tok::Int;
                token.intValue = static_cast<unsigned char>(chars[0]);
                token.text = "'" + describe(chars[0]) + "'";
            } else {
                punctuator(token);
            }
            tokens.push_back(std::move(token));
        }
    }

private:
    Pos here() const { return Pos{file_, line_, column_}; }

    void advance() {
        if (text_[at_] == '\n') {
            ++line_;
            column_ = 1;
        } else {
            ++column_;
        }
        ++at_;
    }

    // The first offset from `from` whose byte is not of class `bits`.
    size_t skipClass(size_t from, uint8_t bits) const {
        const char* data = text_.data();
        const size_t size = text_.size();
        while (from < size && (charClass(data[from]) & bits))
            ++from;
        return from;
    }

    void skipSpace() {
        while (at_ < text_.size()) {
            char c = text_[at_];
            if (charClass(c) & kBlank) {
                size_t end = skipClass(at_, kBlank);
                column_ += static_cast<int>(end - at_);
                at_ = end;
            } else if (c == '\n') {
                advance();
            } else if (c == '/' && at_ + 1 < text_.size() && text_[at_ + 1] == '/') {
                size_t end = text_.find('\n', at_);
                if (end == std::string::npos) end = text_.size();
                column_ += static_cast<int>(end - at_);
                at_ = end;
            } else if (c == '/' && at_ + 1 < text_.size() && text_[at_ + 1] == '*') {
                Pos start = here();
                advance();
                advance();
                while (at_ + 1 < text_.size() && !(text_[at_] == '*' && text_[at_ + 1] == '/'))
                    advance();
                if (at_ + 1 >= text_.size()) fail(start, "unterminated comment");
                advance();
                advance();
            } else {
                return;
            }
        }
    }

    void number(Token& token) {
        size_t start = at_;
        bool hex = text_[at_] == '0' && at_ + 1 < text_.size() &&
                   (text_[at_ + 1] == 'x' || text_[at_ + 1] == 'X');
        bool isFloat = false;
        std::string body;
        if (hex) {
            advance();
            advance();
            size_t digits = at_;
            while (at_ < text_.size() && std::isxdigit(static_cast<unsigned char>(text_[at_])))
                advance();
            body = text_.substr(digits, at_ - digits);
        } else {
            while (at_ < text_.size() && isDigit(text_[at_]))
                advance();
            if (at_ < text_.size() && text_[at_] == '.') {
                isFloat = true;
                advance();
                while (at_ < text_.size() && isDigit(text_[at_]))
                    advance();
            }
            if (at_ < text_.size() && (text_[at_] == 'e' || text_[at_] == 'E')) {
                isFloat = true;
                advance();
                if (at_ < text_.size() && (text_[at_] == '+' || text_[at_] == '-')) advance();
                if (at_ >= text_.size() || !isDigit(text_[at_])) body = "!";
                while (at_ < text_.size() && isDigit(text_[at_]))
                    advance();
            }
            if (body.empty()) body = text_.substr(start, at_ - start);
            if (at_ < text_.size() && (text_[at_] == 'f' || text_[at_] == 'F')) {
                isFloat = true;
                advance();
            }
        }
        bool trailing = at_ < text_.size() &&
                        (isIdentStart(text_[at_]) || isDigit(text_[at_]) || text_[at_] == '.');
        while (at_ < text_.size() &&
               (isIdentStart(text_[at_]) || isDigit(text_[at_]) || text_[at_] == '.'))
            advance();
        token.text = text_.substr(start, at_ - start);
        if (trailing || body.empty() || body == "!")
            fail(token.pos, "bad number '" + token.text + "'");
        if (isFloat) {
            token.kind = Tok::Float;
            token.floatValue = std::strtof(body.c_str(), nullptr);
            return;
        }
        size_t first = body.find_first_not_of('0');
        size_t significant = first == std::string::npos ? 0 : body.size() - first;
        unsigned long long value =
            significant > 10 ? ~0ull : std::strtoull(body.c_str(), nullptr, hex ? 16 : 10);
        if (value > 0xFFFFFFFFull) fail(token.pos, "integer literal out of range");
        token.kind = Tok::Int;
        token.intValue = static_cast<uint32_t>(value);
    }

    std::string quoted(char quote, const char* unterminated) {
        Pos start = here();
        advance();
        std::string out;
        for (;;) {
            if (at_ >= text_.size() || text_[at_] == '\n') fail(start, unterminated);
            char c = text_[at_];
            if (c == quote) {
                advance();
                return out;
            }
            if (c == '\\') {
                advance();
                if (at_ >= text_.size()) fail(start, unterminated);
                char e = text_[at_];
                switch (e) {
                    case 'n':
                        out += '\n';
                        break;
                    case 't':
                        out += '\t';
                        break;
                    case 'r':
                        out += '\r';
                        break;
                    case '0':
                        out += '\0';
                        break;
                    case '\\':
                    case '\'':
                    case '"':
                        out += e;
                        break;
                    default:
                        fail(here(), "unknown escape '\\" + describe(e) + "'");
                }
                advance();
                continue;
            }
            out += c;
            advance();
        }
    }

    void punctuator(Token& token) {
        // Candidates by first character, longest first, each with its binding
        // level worked out once, so that the parser never compares texts to
        // find an operator.
        struct Candidate {
            const char* text;
            int binaryLevel;
        };
        static const std::array<std::vector<Candidate>, 256> byFirst = [] {
            std::array<std::vector<Candidate>, 256> table;
            for (const char* p : kPunctuators)
                table[static_cast<unsigned char>(p[0])].push_back({p, binaryLevelOf(p)});
            return table;
        }();
        for (const Candidate& candidate : byFirst[static_cast<unsigned char>(text_[at_])]) {
            const char* p = candidate.text;
            size_t n = std::strlen(p);
            if (text_.compare(at_, n, p) == 0) {
                token.kind = Tok::Punct;
                token.text = p;
                token.binaryLevel = candidate.binaryLevel;
                for (size_t i = 0; i < n; ++i)
                    advance();
                return;
            }
        }
        fail(token.pos, "unexpected character '" + describe(text_[at_]) + "'");
    }

    const std::string& text_;
    int file_;
    size_t at_ = 0;
    int line_ = 1;
    int column_ = 1;
};

const std::set<std::string> kBuiltinTypes = {"int", "float", "bool", "void", "vec3", "mat4"};

class Parser {
public:
    Parser(const std::vector<Token>& tokens, const std::vector<std::string>& typeNames)
        : tokens_(tokens), typeNames_(typeNames.begin(), typeNames.end()) {}

    void program(std::vector<std::unique_ptr<Decl>>& out) {
        while (peek().kind != Tok::End)
            out.push_back(declaration());
    }

private:
    const Token& peek(size_t ahead = 0) const {
        size_t i = std::min(at_ + ahead, tokens_.size() - 1);
        return tokens_[i];
    }
    const Token& next() {
        const Token& t = tokens_[at_];
        if (at_ + 1 < tokens_.size()) ++at_;
        return t;
    }
    bool is(const char* text) const {
        const Token& t = peek();
        return (t.kind == Tok::Punct || t.kind == Tok::Ident) && t.text == text;
    }
    bool accept(const char* text) {
        if (!is(text)) return false;
        next();
        return true;
    }
    static std::string shown(const Token& t) {
        switch (t.kind) {
            case Tok::End:
                return "end of file";
            case Tok::String:
                return "a string";
            default:
                return "'" + t.text + "'";
        }
    }
    [[noreturn]] void expected(const std::string& what) {
        fail(peek().pos, "expected " + what + ", found " + shown(peek()));
    }
    void expect(const char* text) {
        if (!accept(text)) expected(std::string("'") + text + "'");
    }
    std::string identifier(const char* what) {
        if (peek().kind != Tok::Ident || isKeyword(peek().text)) expected(what);
        return next().text;
    }
    static bool isKeyword(const std::string& s) {
        static const std::set<std::string> keywords = {
            "int",    "float",  "bool",   "void",   "vec3",  "mat4",  "struct", "native",
            "const",  "export", "if",     "else",   "while", "for",   "break",  "continue",
            "return", "new",    "delete", "sizeof", "true",  "false", "null",   "do"};
        return keywords.count(s) > 0;
    }
    bool startsType() const {
        const Token& t = peek();
        return t.kind == Tok::Ident && (kBuiltinTypes.count(t.text) || typeNames_.count(t.text));
    }

    struct Nest {
        Nest(Parser& p) : p_(p) {
            if (++p_.depth_ > kMaxNesting) fail(p_.peek().pos, "nesting too deep");
        }
        ~Nest() { --p_.depth_; }
        Parser& p_;
    };

    TypeSyntax type() {
        TypeSyntax t;
        t.pos = peek().pos;
        if (!startsType()) expected("a type");
        t.base = next().text;
        while (accept("*"))
            if (++t.pointers > kMaxNesting) fail(t.pos, "nesting too deep");
        return t;
    }

    void dims(TypeSyntax& t) {
        while (accept("[")) {
            if (t.dims.size() >= static_cast<size_t>(kMaxNesting))
                fail(peek().pos, "nesting too deep");
            t.dims.push_back(std::shared_ptr<Expr>(expression().release()));
            expect("]");
        }
    }

    std::vector<Param> params() {
        std::vector<Param> out;
        expect("(");
        if (is("void") && peek(1).kind == Tok::Punct && peek(1).text == ")") next();
        if (!accept(")")) {
            do {
                Param p;
                p.pos = peek().pos;
                p.type = type();
                if (peek().kind == Tok::Ident && !isKeyword(peek().text)) p.name = next().text;
                out.push_back(std::move(p));
            } while (accept(","));
            expect(")");
        }
        return out;
    }

    std::unique_ptr<Decl> declaration() {
        auto d = std::make_unique<Decl>();
        d->pos = peek().pos;
        if (accept("struct")) {
            d->kind = Decl::Struct;
            d->pos = peek().pos;
            d->name = identifier("a struct name");
            expect("{");
            while (!accept("}")) {
                Param field;
                field.pos = peek().pos;
                field.type = type();
                field.name = identifier("a field name");
                dims(field.type);
                expect(";");
                d->params.push_back(std::move(field));
            }
            accept(";");
            return d;
        }
        if (accept("native")) {
            d->kind = Decl::Native;
            d->type = type();
            d->pos = peek().pos;
            d->name = identifier("a native name");
            d->params = params();
            expect("=");
            if (peek().kind != Tok::String) expected("a signature text");
            d->signature = next().text;
            expect(";");
            return d;
        }
        if (accept("const")) {
            d->kind = Decl::Const;
            d->type = type();
            d->pos = peek().pos;
            d->name = identifier("a constant name");
            expect("=");
            d->init = expression();
            expect(";");
            return d;
        }
        d->exported = accept("export");
        d->type = type();
        d->pos = peek().pos;
        d->name = identifier("a name");
        if (is("(")) {
            d->kind = Decl::Function;
            d->params = params();
            if (!is("{")) expected("'{'");
            d->body = statement();
            return d;
        }
        if (d->exported) expected("'('");
        d->kind = Decl::Global;
        dims(d->type);
        if (accept("=")) d->init = initialiser();
        if (is(",")) expected("';' (declare one global at a time)");
        expect(";");
        return d;
    }

    std::unique_ptr<Expr> initialiser() {
        if (!is("{")) return expression();
        Nest nest(*this);
        auto e = std::make_unique<Expr>();
        e->kind = Expr::InitList;
        e->pos = next().pos;
        while (!is("}")) {
            e->kids.push_back(initialiser());
            if (!accept(",")) break;
        }
        expect("}");
        return e;
    }

    std::unique_ptr<Stmt> make(Stmt::Kind kind, Pos pos) {
        auto s = std::make_unique<Stmt>();
        s->kind = kind;
        s->pos = pos;
        return s;
    }

    std::unique_ptr<Stmt> statement() {
        Nest nest(*this);
        Pos pos = peek().pos;
        if (accept("{")) {
            auto s = make(Stmt::Block, pos);
            while (!accept("}")) {
                if (peek().kind == Tok::End) expected("'}'");
                s->body.push_back(statement());
            }
            return s;
        }
        if (accept("if")) {
            auto s = make(Stmt::If, pos);
            expect("(");
            s->exprs.push_back(expression());
            expect(")");
            s->body.push_back(statement());
            if (accept("else")) s->body.push_back(statement());
            return s;
        }
        if (accept("while")) {
            auto s = make(Stmt::While, pos);
            expect("(");
            s->exprs.push_back(expression());
            expect(")");
            s->body.push_back(statement());
            return s;
        }
        if (accept("for")) {
            auto s = make(Stmt::For, pos);
            expect("(");
            s->body.push_back(is(";") ? nullptr : simple());
            expect(";");
            s->exprs.push_back(is(";") ? nullptr : expression());
            expect(";");
            s->body.push_back(is(")") ? nullptr : simple());
            expect(")");
            s->body.push_back(statement());
            return s;
        }
        if (accept("do")) {
            auto s = make(Stmt::DoWhile, pos);
            s->body.push_back(statement());
            expect("while");
            expect("(");
            s->exprs.push_back(expression());
            expect(")");
            expect(";");
            return s;
        }
        if (accept("break")) {
            expect(";");
            return make(Stmt::Break, pos);
        }
        if (accept("continue")) {
            expect(";");
            return make(Stmt::Continue, pos);
        }
        if (accept("return")) {
            auto s = make(Stmt::Return, pos);
            if (!is(";")) s->exprs.push_back(expression());
            expect(";");
            return s;
        }
        if (accept("delete")) {
            auto s = make(Stmt::Delete, pos);
            s->exprs.push_back(expression());
            expect(";");
            return s;
        }
        if (accept("const")) {
            auto s = make(Stmt::ConstDecl, pos);
            s->typeSyntax = std::make_unique<TypeSyntax>(type());
            s->pos = peek().pos;
            s->name = identifier("a constant name");
            expect("=");
            s->exprs.push_back(expression());
            expect(";");
            return s;
        }
        auto s = simple();
        expect(";");
        return s;
    }

    // A declaration, an assignment, ++/-- or a call: what may stand in a
    // for loop's header. Several declarators become a block of declarations.
    std::unique_ptr<Stmt> simple() {
        Pos pos = peek().pos;
        if (startsType() && !(peek(1).kind == Tok::Punct && peek(1).text == "(")) {
            TypeSyntax base = type();
            std::vector<std::unique_ptr<Stmt>> decls;
            do {
                auto s = make(Stmt::VarDecl, peek().pos);
                s->typeSyntax = std::make_unique<TypeSyntax>(base);
                s->name = identifier("a variable name");
                dims(*s->typeSyntax);
                if (accept("=")) s->exprs.push_back(initialiser());
                decls.push_back(std::move(s));
            } while (accept(","));
            if (decls.size() == 1) return std::move(decls[0]);
            auto group = make(Stmt::Block, pos);
            group->op = "group";  // declarations stay visible after it
            group->body = std::move(decls);
            return group;
        }
        auto target = expression();
        static const char* const assigns[] = {
            "=", "+=", "-=", "*=", "/=", "%=", "&=", "|=", "^=", "<<=", ">>="};
        for (const char* op : assigns) {
            if (is(op)) {
                auto s = make(Stmt::Assign, next().pos);
                s->op = op;
                s->exprs.push_back(std::move(target));
                s->exprs.push_back(std::string(op) == "=" ? initialiser() : expression());
                return s;
            }
        }
        if (is("++") || is("--")) {
            auto s = make(Stmt::IncDec, peek().pos);
            s->op = next().text;
            s->exprs.push_back(std::move(target));
            return s;
        }
        auto s = make(Stmt::ExprStmt, pos);
        s->exprs.push_back(std::move(target));
        return s;
    }

    std::unique_ptr<Expr> node(Expr::Kind kind, Pos pos) {
        auto e = std::make_unique<Expr>();
        e->kind = kind;
        e->pos = pos;
        return e;
    }

    std::unique_ptr<Expr> binary(const std::string& op, Pos pos, std::unique_ptr<Expr> a,
                                 std::unique_ptr<Expr> b) {
        auto e = node(Expr::Binary, pos);
        e->op = op;
        e->depth = std::max(a->depth, b->depth) + 1;
        if (e->depth > kMaxNesting) fail(pos, "nesting too deep");
        e->kids.push_back(std::move(a));
        e->kids.push_back(std::move(b));
        return e;
    }

    // cond ? a : b binds loosest and groups to the right.
    std::unique_ptr<Expr> expression() {
        Nest nest(*this);
        auto cond = level(0);
        if (!is("?")) return cond;
        auto e = node(Expr::Conditional, next().pos);
        auto a = expression();
        expect(":");
        auto b = expression();
        e->depth = std::max({cond->depth, a->depth, b->depth}) + 1;
        if (e->depth > kMaxNesting) fail(e->pos, "nesting too deep");
        e->kids.push_back(std::move(cond));
        e->kids.push_back(std::move(a));
        e->kids.push_back(std::move(b));
        return e;
    }

    std::unique_ptr<Expr> level(int n) {
        if (n == kBinaryLevels) return unary();
        auto left = level(n + 1);
        for (;;) {
            const Token& t = peek();
            if (t.kind != Tok::Punct || t.binaryLevel != n) return left;
            Pos pos = t.pos;
            std::string op = next().text;
            left = binary(op, pos, std::move(left), level(n + 1));
        }
    }

    std::unique_ptr<Expr> unary() {
        Nest nest(*this);
        const Token& t = peek();
        if (t.kind == Tok::Punct &&
            (t.text == "-" || t.text == "!" || t.text == "~" || t.text == "&" || t.text == "*")) {
            auto e = node(Expr::Unary, t.pos);
            e->op = next().text;
            auto operand = unary();
            e->depth = operand->depth + 1;
            e->kids.push_back(std::move(operand));
            return e;
        }
        if (is("new")) {
            auto e = node(Expr::New, next().pos);
            e->typeArg = std::make_unique<TypeSyntax>(type());
            if (accept("[")) {
                e->kids.push_back(expression());
                e->depth = e->kids[0]->depth + 1;
                expect("]");
            }
            return e;
        }
        return postfix(primary());
    }

    std::unique_ptr<Expr> postfix(std::unique_ptr<Expr> e) {
        for (;;) {
            Pos pos = peek().pos;
            if (accept("[")) {
                auto index = expression();
                expect("]");
                auto x = node(Expr::Index, pos);
                x->depth = std::max(e->depth, index->depth) + 1;
                x->kids.push_back(std::move(e));
                x->kids.push_back(std::move(index));
                e = std::move(x);
            } else if (is(".") || is("->")) {
                bool arrow = next().text == "->";
                auto x = node(arrow ? Expr::Arrow : Expr::Field, pos);
                x->name = identifier("a field name");
                x->depth = e->depth + 1;
                x->kids.push_back(std::move(e));
                e = std::move(x);
            } else if (is("(")) {
                fail(pos, "only named functions can be called");
            } else {
                if (e->depth > kMaxNesting) fail(pos, "nesting too deep");
                return e;
            }
            if (e->depth > kMaxNesting) fail(pos, "nesting too deep");
        }
    }

    std::unique_ptr<Expr> primary() {
        const Token& t = peek();
        Pos pos = t.pos;
        switch (t.kind) {
            case Tok::Int: {
                auto e = node(Expr::IntLit, pos);
                e->bits = next().intValue;
                return e;
            }
            case Tok::Float: {
                auto e = node(Expr::FloatLit, pos);
                float f = next().floatValue;
                std::memcpy(&e->bits, &f, 4);
                return e;
            }
            case Tok::String: {
                auto e = node(Expr::String, pos);
                e->name = next().text;
                return e;
            }
            case Tok::Punct:
                if (accept("(")) {
                    auto e = expression();
                    expect(")");
                    return e;
                }
                expected("an expression");
            case Tok::End:
                expected("an expression");
            case Tok::Ident:
                break;
        }
        if (accept("true") || accept("false")) {
            auto e = node(Expr::BoolLit, pos);
            e->bits = t.text == "true";
            return e;
        }
        if (accept("null")) return node(Expr::Null, pos);
        if (accept("sizeof")) {
            auto e = node(Expr::Sizeof, pos);
            expect("(");
            e->typeArg = std::make_unique<TypeSyntax>(type());
            dims(*e->typeArg);
            expect(")");
            return e;
        }
        bool typeWord =
            t.text == "int" || t.text == "float" || t.text == "bool" || t.text == "vec3";
        if (!typeWord && (t.kind != Tok::Ident || isKeyword(t.text))) expected("an expression");
        std::string name = next().text;
        if (!is("(")) {
            if (typeWord) expected("'('");
            auto e = node(Expr::Name, pos);
            e->name = name;
            return e;
        }
        next();
        auto e = node(Expr::Call, pos);
        e->name = name;
        if (!accept(")")) {
            do {
                e->kids.push_back(expression());
                e->depth = std::max(e->depth, e->kids.back()->depth + 1);
            } while (accept(","));
            expect(")");
        }
        return e;
    }

    const std::vector<Token>& tokens_;
    std::set<std::string> typeNames_;
    size_t at_ = 0;
    int depth_ = 0;
};

}  // namespace

std::vector<Token> tokenize(const std::string& text, int file) {
    return Lexer(text, file).run();
}

void parse(const std::vector<Token>& tokens, const std::vector<std::string>& typeNames,
           std::vector<std::unique_ptr<Decl>>& out) {
    Parser(tokens, typeNames).program(out);
}

}  // namespace vsc
