// Scanning follows a two-character machine (current and next character, 0
// past the end) so that token offsets match what a reader walking the text
// character by character reports; see tokenizer.h for why we scan only once.
#include "js/tokenizer.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "js/value.h"

namespace {

struct Keyword {
    const char* text;
    int kind;
};

const Keyword kKeywords[] = {
    {"if", TOK_IF},
    {"else", TOK_ELSE},
    {"do", TOK_DO},
    {"while", TOK_WHILE},
    {"for", TOK_FOR},
    {"break", TOK_BREAK},
    {"continue", TOK_CONTINUE},
    {"function", TOK_FUNCTION},
    {"return", TOK_RETURN},
    {"var", TOK_VAR},
    {"true", TOK_TRUE},
    {"false", TOK_FALSE},
    {"null", TOK_NULL},
    {"undefined", TOK_UNDEFINED},
    {"new", TOK_NEW},
};

// Names of the kinds 256 to 279, in code order.
const char* const kOperatorNames[] = {
    "ID", "INT", "FLOAT", "STRING", "==", "===", "!=", "!==", "<=", "<<", "<<=", ">=",
    ">>", ">>>", ">>=",   "+=",     "-=", "++",  "--", "&=",  "&&", "|=", "||",  "^=",
};

// Character classes by table: every character of a text is classified, one
// lookup is cheaper than a chain of range comparisons.
enum : uint8_t { kLetter = 1, kDigit = 2, kHexLetter = 4, kSpace = 8 };

struct CharClasses {
    uint8_t of[256] = {};
    constexpr CharClasses() {
        for (int c = 'a'; c <= 'z'; c++)
            of[c] = kLetter;
        for (int c = 'A'; c <= 'Z'; c++)
            of[c] = kLetter;
        of[static_cast<int>('_')] = kLetter;
        for (int c = 'a'; c <= 'f'; c++)
            of[c] |= kHexLetter;
        for (int c = 'A'; c <= 'F'; c++)
            of[c] |= kHexLetter;
        for (int c = '0'; c <= '9'; c++)
            of[c] = kDigit;
        of[static_cast<int>(' ')] = of[static_cast<int>('\t')] = of[static_cast<int>('\n')] =
            of[static_cast<int>('\r')] = kSpace;
    }
};
constexpr CharClasses kClasses;

bool isLetter(unsigned char c) {
    return kClasses.of[c] & kLetter;
}
bool isDigit(unsigned char c) {
    return kClasses.of[c] & kDigit;
}
bool isLetterOrDigit(unsigned char c) {
    return kClasses.of[c] & (kLetter | kDigit);
}
bool isHexDigit(unsigned char c) {
    return kClasses.of[c] & (kDigit | kHexLetter);
}
bool isSpace(unsigned char c) {
    return kClasses.of[c] & kSpace;
}

// Operators whose operands the engine only reads, making a new value: a
// literal written before or after one of them is used up by it wherever the
// operator stands. Not && and || (which yield an operand itself), ++ and --
// (which yield the old value), nor assignments.
bool readsOperand(int kind) {
    return isPlainBinaryOperator(kind) || kind == '!' || kind == TOK_LSHIFT || kind == TOK_RSHIFT ||
           kind == TOK_RSHIFTUNSIGNED;
}

class Scanner {
public:
    explicit Scanner(const std::string& text)
        : text_(reinterpret_cast<const unsigned char*>(text.data())),
          end_(static_cast<int>(text.size())) {
        advance();
        advance();
    }

    void read(CJsToken& token) {
        token.kind = TOK_EOF;
        token.text.clear();
        skipSpaceAndComments();
        token.start = readPos_ - 2;
        if (isLetter(cur_)) {
            readIdentifier(token);
        } else if (isDigit(cur_)) {
            readNumber(token);
            if (token.kind == TOK_INT) {
                token.intValue = parseJsInt(token.text);
            } else {
                token.doubleValue = std::strtod(token.text.c_str(), nullptr);
            }
        } else if (cur_ == '"') {
            readDoubleQuoted(token);
        } else if (cur_ == '\'') {
            readSingleQuoted(token);
        } else {
            readOperator(token);
        }
        token.end = readPos_ - 3;
    }

private:
    void advance() {
        cur_ = next_;
        next_ = readPos_ < end_ ? text_[readPos_] : 0;
        readPos_++;
    }
    // The offset of the current character.
    int position() const { return readPos_ - 2; }
    // Sets the token's text to the characters from `start` up to the current
    // one in one go: appending them one by one costs most of the scan.
    void takeSince(CJsToken& token, int start) const {
        token.text.assign(reinterpret_cast<const char*>(text_) + start,
                          static_cast<size_t>(position() - start));
    }

    void skipSpaceAndComments() {
        for (;;) {
            while (isSpace(cur_))
                advance();
            if (cur_ == '/' && next_ == '/') {
                while (cur_ && cur_ != '\n')
                    advance();
                advance();
            } else if (cur_ == '/' && next_ == '*') {
                while (cur_ && !(cur_ == '*' && next_ == '/'))
                    advance();
                advance();
                advance();
            } else {
                return;
            }
        }
    }

    void readIdentifier(CJsToken& token) {
        const int start = position();
        while (isLetterOrDigit(cur_))
            advance();
        takeSince(token, start);
        token.kind = keywordKind(token.text);
        if (token.kind == TOK_ID) token.hash = jsNameHash(token.text);
    }

    void readNumber(CJsToken& token) {
        const int start = position();
        token.kind = readDigits();
        takeSince(token, start);
    }

    // Moves past a number; its kind.
    int readDigits() {
        int kind = TOK_INT;
        if (cur_ == '0') {
            advance();
            if (cur_ == 'x') {
                advance();
                while (isHexDigit(cur_))
                    advance();
                return kind;
            }
        }
        while (isDigit(cur_))
            advance();
        if (cur_ == '.') {
            kind = TOK_FLOAT;
            advance();
            while (isDigit(cur_))
                advance();
        }
        if (cur_ == 'e' || cur_ == 'E') {
            kind = TOK_FLOAT;
            advance();
            if (cur_ == '-') advance();
            while (isDigit(cur_))
                advance();
        }
        return kind;
    }

    // Inside double quotes a backslash takes the next character literally,
    // except for the escapes that quoteJsString writes (\n, \r, \a and \xHH):
    // strings the program writes into settings.js must read back unchanged.
    char doubleQuotedEscape() {
        switch (cur_) {
            case 'n':
                return '\n';
            case 'r':
                return '\r';
            case 'a':
                return '\a';
            case 'x':
                advance();
                return escapedNumber(2, 16);
            default:
                return static_cast<char>(cur_);
        }
    }

    void readDoubleQuoted(CJsToken& token) {
        token.kind = TOK_STRING;
        advance();
        while (cur_ && cur_ != '"') {
            if (cur_ == '\\') {
                advance();
                if (!cur_) break;
                token.text += doubleQuotedEscape();
                if (!cur_) break;
                advance();
            } else {
                appendRun(token, '"');
            }
        }
        if (cur_) advance();
    }

    // Appends the characters up to the closing `quote`, a backslash or the
    // end of the text, as one piece.
    void appendRun(CJsToken& token, unsigned char quote) {
        const int start = position();
        while (cur_ && cur_ != quote && cur_ != '\\')
            advance();
        token.text.append(reinterpret_cast<const char*>(text_) + start,
                          static_cast<size_t>(position() - start));
    }

    // Reads `count` characters (the first is the current one) as a number.
    char escapedNumber(int count, int base) {
        char digits[4] = {0, 0, 0, 0};
        for (int i = 0; i < count; i++) {
            if (i > 0) advance();
            digits[i] = static_cast<char>(cur_);
        }
        return static_cast<char>(std::strtol(digits, nullptr, base));
    }

    void readSingleQuoted(CJsToken& token) {
        token.kind = TOK_STRING;
        advance();
        while (cur_ && cur_ != '\'') {
            if (cur_ == '\\') {
                advance();
                switch (cur_) {
                    case 0:
                        break;
                    case 'a':
                        token.text += '\a';
                        break;
                    case 'n':
                        token.text += '\n';
                        break;
                    case 'r':
                        token.text += '\r';
                        break;
                    case 't':
                        token.text += '\t';
                        break;
                    case 'x':
                        advance();
                        token.text += escapedNumber(2, 16);
                        break;
                    default:
                        if (cur_ >= '0' && cur_ <= '7') {
                            token.text += escapedNumber(3, 8);
                        } else {
                            token.text += static_cast<char>(cur_);
                        }
                }
                if (!cur_) break;
                advance();
            } else {
                appendRun(token, '\'');
            }
        }
        if (cur_) advance();
    }

    // `second` follows `first` and makes `kind`; consumes it when it does.
    bool pair(CJsToken& token, unsigned char second, int kind) {
        if (cur_ != second) return false;
        token.kind = kind;
        advance();
        return true;
    }

    void readOperator(CJsToken& token) {
        token.kind = cur_;
        advance();
        switch (token.kind) {
            case '=':
                if (pair(token, '=', TOK_EQUAL)) pair(token, '=', TOK_TYPEEQUAL);
                break;
            case '!':
                if (pair(token, '=', TOK_NEQUAL)) pair(token, '=', TOK_NTYPEEQUAL);
                break;
            case '<':
                if (!pair(token, '=', TOK_LEQUAL) && pair(token, '<', TOK_LSHIFT)) {
                    pair(token, '=', TOK_LSHIFTEQUAL);
                }
                break;
            case '>':
                if (!pair(token, '=', TOK_GEQUAL) && pair(token, '>', TOK_RSHIFT)) {
                    if (!pair(token, '=', TOK_RSHIFTEQUAL)) pair(token, '>', TOK_RSHIFTUNSIGNED);
                }
                break;
            case '+':
                if (!pair(token, '=', TOK_PLUSEQUAL)) pair(token, '+', TOK_PLUSPLUS);
                break;
            case '-':
                if (!pair(token, '=', TOK_MINUSEQUAL)) pair(token, '-', TOK_MINUSMINUS);
                break;
            case '&':
                if (!pair(token, '=', TOK_ANDEQUAL)) pair(token, '&', TOK_ANDAND);
                break;
            case '|':
                if (!pair(token, '=', TOK_OREQUAL)) pair(token, '|', TOK_OROR);
                break;
            case '^':
                pair(token, '=', TOK_XOREQUAL);
                break;
        }
    }

    const unsigned char* text_;
    int end_;
    int readPos_ = 0;
    unsigned char cur_ = 0;
    unsigned char next_ = 0;
};

}  // namespace

int keywordKind(const std::string& word) {
    // Every identifier is checked: the first letter leaves one or two
    // candidates to compare.
    const size_t size = word.size();
    if (size < 2 || size > 9) return TOK_ID;
    auto is = [&word](const char* text, int kind) { return word == text ? kind : TOK_ID; };
    switch (word[0]) {
        case 'b':
            return is("break", TOK_BREAK);
        case 'c':
            return is("continue", TOK_CONTINUE);
        case 'd':
            return is("do", TOK_DO);
        case 'e':
            return is("else", TOK_ELSE);
        case 'f':
            if (size == 3) return is("for", TOK_FOR);
            return size == 5 ? is("false", TOK_FALSE) : is("function", TOK_FUNCTION);
        case 'i':
            return is("if", TOK_IF);
        case 'n':
            return size == 3 ? is("new", TOK_NEW) : is("null", TOK_NULL);
        case 'r':
            return is("return", TOK_RETURN);
        case 't':
            return is("true", TOK_TRUE);
        case 'u':
            return is("undefined", TOK_UNDEFINED);
        case 'v':
            return is("var", TOK_VAR);
        case 'w':
            return is("while", TOK_WHILE);
    }
    return TOK_ID;
}

std::string tokenName(int kind) {
    if (kind == TOK_EOF) return "EOF";
    if (kind >= 33 && kind <= 127) return std::string("'") + static_cast<char>(kind) + "'";
    if (kind >= TOK_ID && kind <= TOK_XOREQUAL) return kOperatorNames[kind - TOK_ID];
    for (const Keyword& keyword : kKeywords) {
        if (keyword.kind == kind) return keyword.text;
    }
    return "?[" + std::to_string(kind) + "]";
}

CJsTokenList::CJsTokenList(const std::string& source) : text(source.c_str()) {
    Scanner scanner(text);
    // Scripts average well over four bytes a token: one allocation mostly.
    tokens.reserve(text.size() / 4 + 2);
    for (;;) {
        CJsToken& token = tokens.emplace_back();
        scanner.read(token);
        if (token.kind == TOK_EOF) break;
    }
    // Brackets pair as the engine reads them, or the reading fails - except
    // inside a block, which is read without effect by counting braces only.
    // A pair with a brace between is left unpaired.
    std::vector<std::pair<uint32_t, uint32_t>> open;  // index, braces before it
    uint32_t braces = 0;
    for (size_t i = 0; i < tokens.size(); i++) {
        const int kind = tokens[i].kind;
        if (kind == '{' || kind == '}') {
            braces++;
        } else if (kind == '(') {
            open.emplace_back(static_cast<uint32_t>(i), braces);
        } else if (kind == ')' && !open.empty()) {
            if (open.back().second == braces) {
                tokens[open.back().first].closing = static_cast<uint32_t>(i);
            }
            open.pop_back();
        }
    }
    // The last token is the end of input: every literal has a next one.
    for (size_t i = 0; i + 1 < tokens.size(); i++) {
        CJsToken& token = tokens[i];
        if (token.kind != TOK_INT && token.kind != TOK_FLOAT && token.kind != TOK_STRING) continue;
        token.transient =
            (i > 0 && readsOperand(tokens[i - 1].kind)) || readsOperand(tokens[i + 1].kind);
    }
}

CJsTokenList::~CJsTokenList() {
    for (const CJsToken& token : tokens) {
        if (token.constant) token.constant->unref();
    }
}

const std::vector<int>& CJsTokenList::lineFeeds() const {
    if (!lineFeedsFound_) {
        lineFeedsFound_ = true;
        const char* begin = text.data();
        const char* end = begin + text.size();
        for (const char* feed = begin;
             (feed = static_cast<const char*>(std::memchr(feed, '\n', end - feed))) != nullptr;
             feed++) {
            lineFeeds_.push_back(static_cast<int>(feed - begin));
        }
    }
    return lineFeeds_;
}

void positionOf(const CJsTokenList& list, int offset, int* line, int* column, int limit) {
    // Line feeds before `offset` each start a line whose columns count from 0;
    // the first line's count from 1. Past `limit` nothing counts as a feed.
    const std::vector<int>& lineFeeds = list.lineFeeds();
    auto after = std::lower_bound(lineFeeds.begin(), lineFeeds.end(), std::min(offset, limit));
    int feeds = static_cast<int>(after - lineFeeds.begin());
    *line = 1 + feeds;
    *column = feeds == 0 ? 1 + std::max(offset, 0) : offset - 1 - *(after - 1);
}

std::string positionTextIn(const CJsTokenList& list, int offset, int limit) {
    int line = 0;
    int column = 0;
    positionOf(list, offset, &line, &column, limit);
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "(line: %d, col: %d)", line, column);
    return buffer;
}

CJsTokenizer::CJsTokenizer(const std::string& code)
    : CJsTokenizer(CJsTokenListRef(new CJsTokenList(code))) {}

CJsTokenizer::CJsTokenizer(CJsTokenListRef list) : list_(std::move(list)) {
    setWindow(0, static_cast<int>(list_->text.size()));
    reset();
}

CJsTokenizer::CJsTokenizer(CJsTokenListRef list, int windowStart, int windowEnd)
    : list_(std::move(list)) {
    setWindow(windowStart, windowEnd);
    reset();
}

void CJsTokenizer::setWindow(int windowStart, int windowEnd) {
    windowStart_ = windowStart;
    windowEnd_ = windowEnd;
    const std::vector<CJsToken>& tokens = list_->tokens;
    tokens_ = tokens.data();
    size_t realTokens = tokens.size() - 1;  // without the end-of-input token
    if (windowStart <= 0 && windowEnd >= static_cast<int>(list_->text.size())) {
        // The whole text, as for every call of a function: no search needed.
        first_ = 0;
        last_ = realTokens;
        eofStart_ = tokens.back().start;
        eofEnd_ = tokens.back().end;
        return;
    }
    auto startsBefore = [](const CJsToken& token, int offset) { return token.start < offset; };
    first_ =
        std::lower_bound(tokens.begin(), tokens.begin() + realTokens, windowStart, startsBefore) -
        tokens.begin();
    auto endsBefore = [](const CJsToken& token, int offset) { return token.end < offset; };
    last_ = std::lower_bound(tokens.begin() + first_, tokens.begin() + realTokens, windowEnd,
                             endsBefore) -
            tokens.begin();
    if (windowEnd >= static_cast<int>(list_->text.size())) {
        eofStart_ = tokens.back().start;
        eofEnd_ = tokens.back().end;
    } else {
        eofStart_ = windowEnd;
        eofEnd_ = windowEnd;
    }
}

std::unique_ptr<CJsTokenizer> CJsTokenizer::subReader(int from) const {
    int end = lastTokenEnd_ + 1;
    if (end < windowStart_ || end > windowEnd_) end = windowEnd_;
    return std::unique_ptr<CJsTokenizer>(new CJsTokenizer(list_, from, end));
}

void CJsTokenizer::reset() {
    lastTokenEnd_ = 0;
    eof_.start = eofStart_;
    eof_.end = eofEnd_;
    index_ = first_;
    current_ = index_ < last_ ? tokens_ + index_ : &eof_;
}

void CJsTokenizer::unexpectedToken(int kind) const {
    throw CScriptException("Got " + tokenName(current_->kind) + " expected " + tokenName(kind) +
                           " at " + positionText(current_->start));
}

std::string CJsTokenizer::sourceSince(int offset) const {
    int end = std::min(lastTokenEnd_ + 1, windowEnd_);
    int size = static_cast<int>(list_->text.size());
    offset = std::max(0, std::min(offset, size));
    end = std::min(end, size);
    if (end <= offset) return std::string();
    return list_->text.substr(offset, end - offset);
}

std::string CJsTokenizer::positionText(int offset) const {
    return positionTextIn(*list_, offset < 0 ? lastTokenEnd_ : offset, windowEnd_);
}
