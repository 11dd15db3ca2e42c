// The assembler: two passes over the lines. The first records labels,
// statics and instructions with their operand text; the second resolves
// operands and appends the setup block.
#include "vm/assembler.h"

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>

#include "vm/opcodes.h"
#include "vm/vm.h"

namespace {

struct Instruction {
    uint8_t opcode;
    std::string operand;  // unresolved text, empty for 0
    int line;
};

struct StaticInit {
    uint32_t address;
    uint32_t value;
};

struct FuncEntry {
    std::string signature;
    std::string label;
    int line;
};

struct NativeBinding {
    uint32_t address;
    std::string signature;
};

class Assembler {
public:
    Assembler(const std::string& source, const std::string& file) : file_(file) {
        size_t start = 0;
        while (start <= source.size()) {
            size_t end = source.find('\n', start);
            if (end == std::string::npos) end = source.size();
            lines_.push_back(source.substr(start, end - start));
            start = end + 1;
        }
    }

    AsmResult run() {
        collectEntries();
        for (size_t i = 0; i < lines_.size(); ++i)
            parseLine(static_cast<int>(i) + 1, lines_[i]);
        if (staticNext_ > heapSize_)
            error(0, "static data needs " + std::to_string(staticNext_) + " words but .heap is " +
                         std::to_string(heapSize_));
        for (const FuncEntry& entry : funcs_)
            if (uint32_t value; !symbol(entry.label, value) && !literal(entry.label, false, value))
                error(entry.line, "unknown label '" + entry.label + "' in .func");
        emitSetup();
        AsmResult result;
        for (const Instruction& in : code_) {
            result.words.push_back(in.opcode);
            result.words.push_back(resolve(in));
        }
        result.errors = errors_;
        result.ok = errors_.empty();
        return result;
    }

private:
    void error(int line, const std::string& message) {
        errors_.push_back(file_ + ":" + std::to_string(line) + ": " + message);
    }

    // Function entries must not follow a fusable instruction (the fusion pass
    // cannot see them), so their labels are known before the code is laid out.
    void collectEntries() {
        for (const std::string& raw : lines_) {
            std::vector<std::string> tokens = tokenize(raw, 0);
            if (tokens.size() >= 3 && tokens[0] == ".func") entryLabels_.insert(tokens[2]);
        }
    }

    // Splits a line into tokens: quoted strings, character literals and runs
    // of other non-blank characters; ';' outside quotes starts a comment.
    std::vector<std::string> tokenize(const std::string& text, int line) {
        std::vector<std::string> tokens;
        size_t i = 0;
        while (i < text.size()) {
            char c = text[i];
            if (std::isspace(static_cast<unsigned char>(c)) || c == ',') {
                ++i;
            } else if (c == ';') {
                break;
            } else if (c == '"' || c == '\'') {
                size_t j = i + 1;
                while (j < text.size() && text[j] != c)
                    j += (text[j] == '\\') ? 2 : 1;
                if (j >= text.size()) {
                    if (line) error(line, "unterminated quote");
                    j = text.size() - 1;
                }
                tokens.push_back(text.substr(i, j - i + 1));
                i = j + 1;
            } else {
                size_t j = i;
                while (j < text.size() && !std::isspace(static_cast<unsigned char>(text[j])) &&
                       text[j] != ',' && text[j] != ';')
                    ++j;
                tokens.push_back(text.substr(i, j - i));
                i = j;
            }
        }
        return tokens;
    }

    bool unquote(const std::string& token, int line, std::string& out) {
        if (token.size() < 2 || token.front() != '"' || token.back() != '"') {
            error(line, "expected a quoted text, found '" + token + "'");
            return false;
        }
        out = unescape(token.substr(1, token.size() - 2));
        return true;
    }

    static std::string unescape(const std::string& text) {
        std::string out;
        for (size_t i = 0; i < text.size(); ++i) {
            if (text[i] != '\\' || i + 1 == text.size()) {
                out += text[i];
                continue;
            }
            char e = text[++i];
            out += e == 'n' ? '\n' : e == 't' ? '\t' : e == '0' ? '\0' : e;
        }
        return out;
    }

    static bool isIdentifier(const std::string& s) {
        if (s.empty() || !(std::isalpha(static_cast<unsigned char>(s[0])) || s[0] == '_'))
            return false;
        for (char c : s)
            if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '.'))
                return false;
        return true;
    }

    void defineSymbol(int line, const std::string& name, uint32_t value, bool label) {
        if (!isIdentifier(name)) {
            error(line, "bad name '" + name + "'");
            return;
        }
        if (labels_.count(name) || statics_.count(name)) {
            error(line, "'" + name + "' defined twice");
            return;
        }
        (label ? labels_ : statics_)[name] = value;
    }

    void parseLine(int line, const std::string& text) {
        std::vector<std::string> tokens = tokenize(text, line);
        size_t at = 0;
        while (at < tokens.size() && tokens[at].size() > 1 && tokens[at].back() == ':') {
            std::string name = tokens[at].substr(0, tokens[at].size() - 1);
            if (entryLabels_.count(name) && !code_.empty() && opcodeFlowPlain(code_.back().opcode))
                code_.push_back({op::NOP, "", line});
            defineSymbol(line, name, static_cast<uint32_t>(2 * code_.size()), true);
            ++at;
        }
        if (at == tokens.size()) return;
        std::vector<std::string> rest(tokens.begin() + static_cast<long>(at), tokens.end());
        if (rest[0][0] == '.')
            parseDirective(line, rest);
        else
            parseInstruction(line, rest);
    }

    static bool opcodeFlowPlain(uint8_t opcode) {
        switch (opcode) {
#define OPCODE(name, code, kind, flow) \
    case code:                         \
        return std::strcmp(#flow, "PLAIN") == 0;
#include "vm/opcodes.def"
#undef OPCODE
            default:
                return false;
        }
    }

    uint32_t allocateStatic(int line, const std::string& name, uint32_t words) {
        uint32_t address = staticNext_;
        defineSymbol(line, name, address, false);
        staticNext_ += words;
        return address;
    }

    void parseDirective(int line, const std::vector<std::string>& t) {
        const std::string& d = t[0];
        auto need = [&](size_t n) {
            if (t.size() >= n) return true;
            error(line, d + " needs " + std::to_string(n - 1) + " operands");
            return false;
        };
        if (d == ".heap") {
            if (!need(2)) return;
            heapSize_ = static_cast<uint32_t>(integer(line, t[1]));
        } else if (d == ".equ") {
            if (!need(3)) return;
            uint32_t value = static_cast<uint32_t>(integer(line, t[2]));
            if (!isIdentifier(t[1]) || constants_.count(t[1]))
                error(line, "bad or repeated constant '" + t[1] + "'");
            constants_[t[1]] = value;
        } else if (d == ".word" || d == ".float") {
            if (!need(2)) return;
            std::string name = t[1];
            uint32_t count = 1;
            size_t bracket = name.find('[');
            if (bracket != std::string::npos && name.back() == ']') {
                count = static_cast<uint32_t>(
                    integer(line, name.substr(bracket + 1, name.size() - bracket - 2)));
                name = name.substr(0, bracket);
            }
            if (t.size() > 2)
                count = std::max<uint32_t>(count, static_cast<uint32_t>(t.size() - 2));
            uint32_t address = allocateStatic(line, name, count);
            for (size_t i = 2; i < t.size(); ++i) {
                uint32_t value = d == ".float" ? floatBits(line, t[i])
                                               : static_cast<uint32_t>(integer(line, t[i]));
                inits_.push_back({address + static_cast<uint32_t>(i - 2), value});
            }
        } else if (d == ".string") {
            std::string text;
            if (!need(3) || !unquote(t[2], line, text)) return;
            uint32_t address = allocateStatic(line, t[1], static_cast<uint32_t>(text.size()) + 1);
            for (size_t i = 0; i < text.size(); ++i)
                inits_.push_back({address + static_cast<uint32_t>(i),
                                  static_cast<uint32_t>(static_cast<unsigned char>(text[i]))});
        } else if (d == ".native") {
            std::string signature;
            if (!need(3) || !unquote(t[2], line, signature)) return;
            natives_.push_back({allocateStatic(line, t[1], 1), signature});
        } else if (d == ".func") {
            std::string signature;
            if (!need(3) || !unquote(t[1], line, signature)) return;
            funcs_.push_back({signature, t[2], line});
        } else {
            error(line, "unknown directive '" + d + "'");
        }
    }

    void parseInstruction(int line, const std::vector<std::string>& t) {
        int opcode = opcodeByName(t[0].c_str());
        if (opcode < 0) {
            error(line, "unknown instruction '" + t[0] + "'");
            return;
        }
        if (opcode == op::COPYVAR_LITERAL_INTLT_JZ) {
            // One instruction in four slots: local, limit, (unused), target.
            if (t.size() != 4) {
                error(line, "COPYVAR_LITERAL_INTLT_JZ needs local, limit and target");
                return;
            }
            code_.push_back({op::COPYVAR_LITERAL_INTLT_JZ, t[1], line});
            code_.push_back({op::LITERAL, t[2], line});
            code_.push_back({op::INTLT, "", line});
            code_.push_back({op::JZ, t[3], line});
            return;
        }
        if (t.size() > 2) error(line, "too many operands for " + t[0]);
        code_.push_back({static_cast<uint8_t>(opcode), t.size() > 1 ? t[1] : "", line});
    }

    int64_t integer(int line, const std::string& text) {
        uint32_t value;
        if (!literal(text, false, value) && !symbol(text, value)) {
            error(line, "expected an integer, found '" + text + "'");
            return 0;
        }
        return static_cast<int32_t>(value);
    }

    uint32_t floatBits(int line, const std::string& text) {
        uint32_t value = 0;
        if (!literal(text, true, value)) error(line, "expected a number, found '" + text + "'");
        return value;
    }

    // Numbers: decimal or 0x integers, floats (with '.', an exponent, or
    // nan/inf), and character literals packing up to four characters with
    // the first in the low byte. `asFloat` turns decimal integers into floats.
    static bool literal(const std::string& text, bool asFloat, uint32_t& out) {
        if (text.empty()) return false;
        if (text[0] == '\'') {
            if (text.size() < 2 || text.back() != '\'') return false;
            std::string chars = unescape(text.substr(1, text.size() - 2));
            if (chars.empty() || chars.size() > 4) return false;
            out = 0;
            for (size_t i = 0; i < chars.size(); ++i)
                out |= static_cast<uint32_t>(static_cast<unsigned char>(chars[i])) << (8 * i);
            return true;
        }
        std::string body = text[0] == '-' || text[0] == '+' ? text.substr(1) : text;
        bool negative = text[0] == '-';
        if (body == "nan" || body == "inf") {
            float f = body == "nan" ? NAN : (negative ? -INFINITY : INFINITY);
            std::memcpy(&out, &f, 4);
            return true;
        }
        bool hex = body.size() > 2 && body[0] == '0' && (body[1] == 'x' || body[1] == 'X');
        bool isFloat = !hex && body.find_first_of(".eE") != std::string::npos;
        char* end = nullptr;
        if (isFloat || (asFloat && !hex)) {
            float f = std::strtof(text.c_str(), &end);
            if (*end || end == text.c_str()) return false;
            std::memcpy(&out, &f, 4);
            return true;
        }
        if (body.empty() || !std::isdigit(static_cast<unsigned char>(body[0]))) return false;
        unsigned long long magnitude = std::strtoull(body.c_str(), &end, 0);
        if (*end || magnitude > 0xFFFFFFFFull) return false;
        out = static_cast<uint32_t>(negative ? 0 - magnitude : magnitude);
        return true;
    }

    // name, name+N or name-N, where name is a label, a static or a constant.
    bool symbol(const std::string& text, uint32_t& out) const {
        size_t split = text.find_first_of("+-", 1);
        std::string name = text.substr(0, split);
        int64_t offset = 0;
        if (split != std::string::npos) {
            char* end = nullptr;
            offset = std::strtoll(text.c_str() + split, &end, 0);
            if (*end) return false;
        }
        for (const auto* table : {&labels_, &statics_, &constants_}) {
            auto it = table->find(name);
            if (it != table->end()) {
                out = static_cast<uint32_t>(it->second + offset);
                return true;
            }
        }
        return false;
    }

    uint32_t resolve(const Instruction& in) {
        if (in.operand.empty()) return 0;
        uint32_t value = 0;
        bool floatOperand = opcodeInfo(in.opcode).operand == OperandKind::FLOAT;
        if (literal(in.operand, floatOperand, value) || symbol(in.operand, value)) return value;
        error(in.line, "cannot resolve operand '" + in.operand + "'");
        return 0;
    }

    void emit(uint8_t opcode, const std::string& operand = "") {
        code_.push_back({opcode, operand, 0});
    }

    // Pushes a string for FINDNATIVE or STOREFUNC: terminator deepest, the
    // first characters on top.
    void pushString(const std::string& text) {
        emit(op::LITERAL, "0");
        size_t whole = text.size() / 4 * 4;
        for (size_t i = text.size(); i > whole; --i)
            emit(op::LITERAL, std::to_string(static_cast<unsigned char>(text[i - 1])));
        for (size_t i = whole; i > 0; i -= 4) {
            uint32_t packed = 0;
            for (size_t j = 0; j < 4; ++j)
                packed |= static_cast<uint32_t>(static_cast<unsigned char>(text[i - 4 + j]))
                          << (8 * j);
            emit(op::LITERAL_CHAR, std::to_string(packed));
        }
    }

    void emitSetup() {
        std::string setup = std::to_string(2 * code_.size());
        emit(op::VERSIONCHECK, std::to_string(kVMImageVersion));
        emit(op::SETHEAPSIZE, std::to_string(heapSize_));
        for (const StaticInit& init : inits_) {
            if (init.value == 0) continue;
            emit(op::REF, std::to_string(init.address));
            emit(op::LITERAL, std::to_string(init.value));
            emit(op::ASSIGNPOP);
        }
        for (const NativeBinding& native : natives_) {
            emit(op::REF, std::to_string(native.address));
            pushString(native.signature);
            emit(op::FINDNATIVE);
            emit(op::ASSIGNPOP);
        }
        for (const FuncEntry& entry : funcs_) {
            pushString(entry.signature);
            emit(op::LITERAL, entry.label);
            emit(op::STOREFUNC);
        }
        emit(op::RETURN);
        emit(op::J, setup);
    }

    std::string file_;
    std::vector<std::string> lines_;
    std::vector<Instruction> code_;
    std::map<std::string, uint32_t> labels_, statics_, constants_;
    std::set<std::string> entryLabels_;
    std::vector<StaticInit> inits_;
    std::vector<NativeBinding> natives_;
    std::vector<FuncEntry> funcs_;
    std::vector<std::string> errors_;
    uint32_t heapSize_ = 1024;
    uint32_t staticNext_ = 1;  // address 0 stays unused, so 0 never names data
};

}  // namespace

AsmResult vmAssemble(const std::string& source, const std::string& fileName) {
    return Assembler(source, fileName).run();
}

std::vector<uint8_t> vmImageBytes(const std::vector<uint32_t>& words) {
    std::vector<uint8_t> bytes;
    bytes.reserve(words.size() * 4);
    for (uint32_t w : words)
        for (int i = 0; i < 4; ++i)
            bytes.push_back(static_cast<uint8_t>(w >> (8 * i)));
    return bytes;
}

std::vector<uint32_t> vmImageWords(const std::vector<uint8_t>& bytes) {
    std::vector<uint32_t> words(bytes.size() / 4);
    for (size_t i = 0; i < words.size(); ++i)
        words[i] = bytes[4 * i] | bytes[4 * i + 1] << 8 | bytes[4 * i + 2] << 16 |
                   static_cast<uint32_t>(bytes[4 * i + 3]) << 24;
    return words;
}
