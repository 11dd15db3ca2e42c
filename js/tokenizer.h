// The token reader of the script engine.
//
// The engine executes while it parses and re-reads loop conditions and bodies
// many times, so the text is cut into tokens once, at construction, into a
// shared token list that never changes but for what the engine notes on its
// tokens: where statements read without effect end, the values of literals
// and the globals names were found as (see CJsToken). Every reader - the one
// made from the text and the window readers made from it for loops - walks
// that list; a reset is an index assignment and a window reader allocates
// nothing but itself. Positions are byte offsets into the whole text, also in
// window readers.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class CJsBinding;
class CJsValue;

// Token kinds. Single characters that start no longer token are their own kind
// (the byte value); 0 is the end of input.
enum CJsTokenKind {
    TOK_EOF = 0,
    TOK_ID = 256,
    TOK_INT,
    TOK_FLOAT,
    TOK_STRING,
    TOK_EQUAL,           // ==
    TOK_TYPEEQUAL,       // ===
    TOK_NEQUAL,          // !=
    TOK_NTYPEEQUAL,      // !==
    TOK_LEQUAL,          // <=
    TOK_LSHIFT,          // <<
    TOK_LSHIFTEQUAL,     // <<=
    TOK_GEQUAL,          // >=
    TOK_RSHIFT,          // >>
    TOK_RSHIFTUNSIGNED,  // >>>
    TOK_RSHIFTEQUAL,     // >>=
    TOK_PLUSEQUAL,       // +=
    TOK_MINUSEQUAL,      // -=
    TOK_PLUSPLUS,        // ++
    TOK_MINUSMINUS,      // --
    TOK_ANDEQUAL,        // &=
    TOK_ANDAND,          // &&
    TOK_OREQUAL,         // |=
    TOK_OROR,            // ||
    TOK_XOREQUAL,        // ^=
    TOK_IF = 280,
    TOK_ELSE,
    TOK_DO,
    TOK_WHILE,
    TOK_FOR,
    TOK_BREAK,
    TOK_CONTINUE,
    TOK_FUNCTION,
    TOK_RETURN,
    TOK_VAR,
    TOK_TRUE,
    TOK_FALSE,
    TOK_NULL,
    TOK_UNDEFINED,
    TOK_NEW,
};

// The printable name of a kind, as used in error messages.
std::string tokenName(int kind);
// Binary operators that only combine the operands on either side into a new
// value, with no level of their own beyond that (not the shifts, && and ||).
inline bool isPlainBinaryOperator(int kind) {
    switch (kind) {
        case '+':
        case '-':
        case '*':
        case '/':
        case '%':
        case '<':
        case '>':
        case '&':
        case '|':
        case '^':
        case TOK_LEQUAL:
        case TOK_GEQUAL:
        case TOK_EQUAL:
        case TOK_NEQUAL:
        case TOK_TYPEEQUAL:
        case TOK_NTYPEEQUAL:
            return true;
    }
    return false;
}
// The kind of a word: its keyword's, or TOK_ID.
int keywordKind(const std::string& word);

struct CJsToken {
    // Members ordered for packing: the engine keeps one per token of every
    // text it reads.
    int kind = TOK_EOF;
    int start = 0;  // offset of the first character
    int end = 0;    // offset of the last character
    // The value of an INT or FLOAT token, converted once at scanning.
    int32_t intValue = 0;
    std::string text;
    double doubleValue = 0;
    // The value of a transient literal (see `transient`), made on first use.
    mutable CJsValue* constant = nullptr;
    // For a name: the global it was last found as, valid while the root of
    // engine number `globalEngine` (never 0) has generation `globalGeneration`.
    mutable CJsBinding* global = nullptr;
    mutable uint32_t globalEngine = 0;
    mutable uint32_t globalGeneration = 0;
    // jsNameHash of the text of a name (ID) token, for lookups.
    uint32_t hash = 0;
    // For a "(": the index of its ")" in the list, 0 when it has none.
    uint32_t closing = 0;
    // Where a statement starting here ended when the engine last read it
    // without effect, so that the same reading can jump there (see
    // CJsEngine::skippedStatement): the index of the next token (0: unknown),
    // the window end it was read in, and the stack it needed. A token list
    // serves one engine, so these are never written by two threads.
    mutable uint32_t skipEnd = 0;
    mutable uint32_t skipWindowEnd = 0;
    mutable uint32_t skipStack = 0;
    // True for a literal next to an operator that only reads it (the list
    // decides when scanning): its value never outlives the operation, so one
    // value, made on first use and owned by the list, serves every reading.
    bool transient = false;
};

// One scanned text: the text itself (cut at a NUL byte, which reads as the end
// of input) and its tokens ending with the end-of-input token.
struct CJsTokenList {
    explicit CJsTokenList(const std::string& source);
    ~CJsTokenList();
    CJsTokenList(const CJsTokenList&) = delete;
    CJsTokenList& operator=(const CJsTokenList&) = delete;
    // The offsets of the text's line feeds, for position texts. Found on first
    // use: most texts run without an error and never need them.
    const std::vector<int>& lineFeeds() const;
    std::string text;
    std::vector<CJsToken> tokens;
    // Holds by CJsTokenListRef.
    mutable int holders = 0;

private:
    mutable std::vector<int> lineFeeds_;
    mutable bool lineFeedsFound_ = false;
};

// A counted hold on a token list: readers share the list of the text they
// read, function values the list of their body. The count is plain, as the
// values' counts are: a list is used by one engine, on one thread at a time,
// and every call holds its body's list, which an atomic count would make
// cost several times as much.
class CJsTokenListRef {
public:
    CJsTokenListRef() = default;
    // Holds `list` (may be null); a new list is freed with its last hold.
    explicit CJsTokenListRef(const CJsTokenList* list) : list_(list) {
        if (list_) list_->holders++;
    }
    CJsTokenListRef(const CJsTokenListRef& other) : CJsTokenListRef(other.list_) {}
    CJsTokenListRef(CJsTokenListRef&& other) noexcept : list_(other.list_) {
        other.list_ = nullptr;
    }
    CJsTokenListRef& operator=(CJsTokenListRef other) {
        std::swap(list_, other.list_);
        return *this;
    }
    ~CJsTokenListRef() {
        if (list_ && --list_->holders == 0) delete list_;
    }
    const CJsTokenList* get() const { return list_; }
    const CJsTokenList* operator->() const { return list_; }
    const CJsTokenList& operator*() const { return *list_; }
    explicit operator bool() const { return list_ != nullptr; }
    void reset() { *this = CJsTokenListRef(); }

private:
    const CJsTokenList* list_ = nullptr;
};

class CJsTokenizer {
public:
    // A reader over its own copy of `code`.
    explicit CJsTokenizer(const std::string& code);
    // A reader over an already scanned text (shared, never copied).
    explicit CJsTokenizer(CJsTokenListRef list);

    // A reader over this one's text from `from` up to the end of the previous
    // token (or this reader's own window end when that lies outside it).
    std::unique_ptr<CJsTokenizer> subReader(int from) const;

    // Back to the start of the window; yields the same tokens every time.
    void reset();
    // Inline: every level of the descent reads tokens, and a call re-reads its
    // whole body.
    void nextToken() {
        lastTokenEnd_ = current_->end;
        if (index_ < last_) {
            index_++;
            current_ = index_ < last_ ? tokens_ + index_ : &eof_;
            return;
        }
        // Reading on past the end yields further end tokens, each one further on.
        eof_.start = eof_.end + 1;
        eof_.end = eof_.start;
    }
    // Reads past the current token when it is of `kind`; otherwise raises
    // "Got X expected Y at (line: L, col: C)".
    void expectToken(int kind) {
        if (current_->kind != kind) unexpectedToken(kind);
        nextToken();
    }

    // Text from `offset` through the end of the previous token.
    std::string sourceSince(int offset) const;
    // "(line: %d, col: %d)" of `offset` (of lastTokenEnd when negative).
    std::string positionText(int offset) const;

    // The index of the current token in the list and one past the window's
    // last token; equal at the end of input.
    size_t tokenIndex() const { return index_; }
    size_t windowLimit() const { return last_; }
    // Moves on to token `index` (after the current one, before windowLimit)
    // as if every token before it had been read.
    void skipTo(size_t index) {
        lastTokenEnd_ = tokens_[index - 1].end;
        index_ = index;
        current_ = tokens_ + index;
    }

    // The kind of the token after the current one (TOK_EOF at the window's end).
    int nextKind() const { return index_ + 1 < last_ ? tokens_[index_ + 1].kind : TOK_EOF; }
    // The kind of the token `ahead` places after the current one.
    int kindAhead(size_t ahead) const {
        return index_ + ahead < last_ ? tokens_[index_ + ahead].kind : TOK_EOF;
    }
    // The kind of the token after the ")" that closes the "(" `ahead` places
    // after the current one; -1 when that ")" is not in the window or the
    // brackets do not pair.
    int kindAfterClosing(size_t ahead) const {
        if (index_ + ahead >= last_) return -1;
        const size_t closing = tokens_[index_ + ahead].closing;
        if (closing == 0 || closing >= last_) return -1;
        return closing + 1 < last_ ? tokens_[closing + 1].kind : TOK_EOF;
    }
    const CJsToken& current() const { return *current_; }
    int token() const { return current_->kind; }
    const std::string& tokenText() const { return current_->text; }
    int tokenStart() const { return current_->start; }
    int tokenEnd() const { return current_->end; }
    int lastTokenEnd() const { return lastTokenEnd_; }
    int windowStart() const { return windowStart_; }
    int windowEnd() const { return windowEnd_; }
    const CJsTokenListRef& tokenList() const { return list_; }

private:
    CJsTokenizer(CJsTokenListRef list, int windowStart, int windowEnd);
    void setWindow(int windowStart, int windowEnd);
    [[noreturn]] void unexpectedToken(int kind) const;

    CJsTokenListRef list_;
    const CJsToken* tokens_ = nullptr;  // list_->tokens, read without the hold
    int windowStart_ = 0;
    int windowEnd_ = 0;
    size_t first_ = 0;  // first token of the window
    size_t last_ = 0;   // one past the last token of the window
    size_t index_ = 0;  // current token; == last_ means end of input
    const CJsToken* current_ = nullptr;
    CJsToken eof_;      // end-of-input token of this window, as read now
    int eofStart_ = 0;  // its position as first read after a reset
    int eofEnd_ = 0;
    int lastTokenEnd_ = 0;
};

// "(line: %d, col: %d)" for an offset into `list`'s text; line feeds at or
// after `limit` (a reader's window end) do not count.
std::string positionTextIn(const CJsTokenList& list, int offset, int limit = INT32_MAX);
// The line and column of that text.
void positionOf(const CJsTokenList& list, int offset, int* line, int* column,
                int limit = INT32_MAX);
