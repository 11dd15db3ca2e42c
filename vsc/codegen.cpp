// Checking and code generation in one walk over the tree. Expressions are
// checked first (types, constant values), then emitted as plain stack code
// in the orders the loader's fusion pass recognises: address before value,
// literal operands folded into LITERALINTADD / LITERALINTMULADD, counted
// loops tested at the top with the compare-and-branch instruction. The result is assembler text for
// vm/assembler.
#include "vsc/codegen.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <set>
#include <string_view>

#include "vm/opcodes.h"
#include "vsc/types.h"

namespace vsc {

namespace {

[[noreturn]] void fail(Pos pos, const std::string& message) {
    throw CompileError{pos, message};
}

constexpr int kMaxInstructions = 1 << 20;
constexpr uint32_t kMaxStaticWords = 1u << 24;
constexpr uint32_t kMaxFrameWords = 1u << 20;

uint32_t floatBits(float f) {
    uint32_t b;
    std::memcpy(&b, &f, 4);
    return b;
}
float bitsFloat(uint32_t b) {
    float f;
    std::memcpy(&f, &b, 4);
    return f;
}
int32_t asInt(uint32_t b) {
    return static_cast<int32_t>(b);
}

std::string hex(uint32_t v) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "0x%08X", v);
    return buffer;
}

std::string floatText(uint32_t bits) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.9g", static_cast<double>(bitsFloat(bits)));
    return buffer;
}

// The VM's conversion and division rules, for constant folding.
uint32_t vmFtoi(uint32_t bits) {
    float f = bitsFloat(bits);
    bool representable = std::fabs(f) < 9223372036854775808.0f;
    return representable ? static_cast<uint32_t>(static_cast<int64_t>(f)) : 0;
}
uint32_t vmItof(uint32_t bits) {
    return floatBits(static_cast<float>(asInt(bits)));
}

struct Line {
    enum Kind { Ins, Label, Comment } kind;
    uint8_t op = 0;
    std::string operand;
    std::string note;
};

struct Static {
    std::string label;
    uint32_t address;
    uint32_t words;
    enum Kind { Data, Text, Native } kind;
    std::map<uint32_t, uint32_t> values;  // offset -> non-zero word
    std::string text;                     // string or signature
};

struct Local {
    const Type* type = nullptr;
    int slot = 0;
    bool isConst = false;
    ConstValue value;
};

struct NativeFn {
    std::string name;
    const Type* result;
    std::vector<const Type*> params;
    std::string signature;
};

struct Function {
    Decl* decl;
    const Type* result;
    std::vector<const Type*> params;
    std::vector<std::string> paramNames;
    int paramWords = 0;
    std::string label;
    std::string exportSignature;  // empty when not registered
};

struct GlobalVar {
    const Type* type;
    std::string label;
    uint32_t address;
    bool isConst = false;
    ConstValue value;
};

// Where a value lives: a frame slot, a static, or an address already on the
// stack; each with a word offset still to add.
struct Loc {
    enum Kind { Frame, Global, Dynamic } kind;
    int slot = 0;
    std::string label;
    int64_t offset = 0;
};

const std::map<std::string, std::string> kEntryPoints = {
    {"init", "V init()"},
    {"step", "V step()"},
    {"render", "V render()"},
    {"kill", "V kill()"},
    {"keyEvent", "V keyEvent(I)"},
    {"mouseEvent", "V mouseEvent(I,I,I)"},
    {"touchEvent", "V touchEvent(I,F,F,F,F,F,F,F,F)"},
    {"main", "V main()"},
};

const std::set<std::string> kBuiltins = {
    "dot",      "cross",     "length", "normalize", "lerp",   "catmullRom", "transformNormal",
    "identity", "translate", "scale",  "rotate",    "lookAt", "billboard"};

class Generator {
public:
    Generator(const std::vector<Decl*>& decls, const std::vector<SourceFile>& files)
        : decls_(decls), files_(files) {}

    std::string run(std::map<std::string, std::pair<uint32_t, uint32_t>>& globalsOut) {
        declareStructs();
        for (auto& d : decls_)
            if (d->kind == Decl::Struct) resolveStruct(structs_.at(d->name), d, 0);
        for (auto& d : decls_) {
            switch (d->kind) {
                case Decl::Native:
                    declareNative(d);
                    break;
                case Decl::Const:
                    declareConst(d);
                    break;
                case Decl::Global:
                    declareGlobal(d);
                    break;
                case Decl::Function:
                    declareFunction(d);
                    break;
                case Decl::Struct:
                    break;
            }
        }
        for (auto& f : functionOrder_)
            compileFunction(*f);
        for (auto& entry : globals_)
            if (!entry.second.isConst)
                globalsOut[entry.first] = {entry.second.address, entry.second.type->size};
        return text();
    }

private:
    // ---- names -------------------------------------------------------------

    bool globalNameTaken(const std::string& name) const {
        return structs_.count(name) || globals_.count(name) || functions_.count(name) ||
               natives_.count(name) || kBuiltins.count(name);
    }

    void declareStructs() {
        for (auto& d : decls_) {
            if (d->kind != Decl::Struct) continue;
            if (globalNameTaken(d->name)) fail(d->pos, "'" + d->name + "' is already defined");
            structs_[d->name] = types_.addStruct(d->name);
            structDecls_[d->name] = d;
        }
    }

    void resolveStruct(StructDef* def, Decl* d, int depth) {
        if (def->state == 2) return;
        if (def->state == 1) fail(d->pos, "struct '" + def->name + "' contains itself");
        if (depth > kMaxNesting) fail(d->pos, "nesting too deep");
        def->state = 1;
        uint64_t offset = 0;
        std::set<std::string> names;
        for (const Param& field : d->params) {
            const Type* t = resolveType(field.type, depth + 1);
            if (t->kind == Type::Void) fail(field.pos, "a variable cannot have type void");
            if (!names.insert(field.name).second)
                fail(field.pos, "'" + field.name + "' is already defined");
            def->fields.push_back({field.name, t, static_cast<uint32_t>(offset)});
            offset += t->size;
            if (offset > kMaxTypeWords) fail(field.pos, "type too large");
        }
        const_cast<Type*>(def->type)->size = static_cast<uint32_t>(offset);
        def->state = 2;
    }

    const Type* resolveType(const TypeSyntax& ts, int depth = 0) {
        const Type* t = nullptr;
        const std::string& b = ts.base;
        if (b == "int")
            t = types_.intType();
        else if (b == "float")
            t = types_.floatType();
        else if (b == "bool")
            t = types_.boolType();
        else if (b == "void")
            t = types_.voidType();
        else if (b == "vec3")
            t = types_.vec3Type();
        else if (b == "mat4")
            t = types_.mat4Type();
        else {
            auto it = structs_.find(b);
            if (it == structs_.end()) fail(ts.pos, "unknown type '" + b + "'");
            t = it->second->type;
            // A struct used by value must be laid out first; through a
            // pointer its size does not matter.
            if (ts.pointers == 0 && it->second->state != 2)
                resolveStruct(it->second, structDecls_.at(b), depth + 1);
        }
        for (int i = 0; i < ts.pointers; ++i)
            t = types_.pointerTo(t);
        for (size_t i = ts.dims.size(); i > 0; --i) {
            Expr* dim = ts.dims[i - 1].get();
            if (t->kind == Type::Void) fail(ts.pos, "a variable cannot have type void");
            ConstValue v = constInt(dim);
            if (asInt(v.bits) <= 0) fail(dim->pos, "array size must be positive");
            t = types_.arrayOf(t, v.bits);
            if (!t) fail(dim->pos, "type too large");
        }
        return t;
    }

    ConstValue constInt(Expr* e) {
        check(e);
        if (!e->isConst) fail(e->pos, "not a constant expression");
        if (!isIntLike(e->type)) fail(e->pos, "cannot convert " + typeName(e->type) + " to int");
        return e->value;
    }

    static char signatureLetter(const Type* t) {
        switch (t->kind) {
            case Type::Void:
                return 'V';
            case Type::Float:
                return 'F';
            default:
                return 'I';
        }
    }

    static std::string signatureType(const Type* t) {
        if (t->kind == Type::Vec3) return "Vector3";
        if (t->kind == Type::Pointer)
            return t->elem->kind == Type::Int ? "*I" : t->elem->kind == Type::Float ? "*F" : "*V";
        return std::string(1, signatureLetter(t));
    }

    static bool fitsSignature(const Type* t, std::string_view token, bool result) {
        if (!token.empty() && token[0] == '*') return t->kind == Type::Pointer;
        if (token == "I") return isIntLike(t);
        if (token == "F") return t->kind == Type::Float;
        if (token == "V") return result && t->kind == Type::Void;
        if (token == "Vector3") return !result && t->kind == Type::Vec3;
        return false;
    }

    void checkParamType(const Type* t, Pos pos) {
        if (!isValueType(t) || t->kind == Type::Null)
            fail(pos, typeName(t) + " cannot be passed or returned by value");
    }

    void declareNative(Decl* d) {
        if (structs_.count(d->name) || globals_.count(d->name) || functions_.count(d->name) ||
            kBuiltins.count(d->name))
            fail(d->pos, "'" + d->name + "' is already defined");
        NativeFn fn;
        fn.name = d->name;
        fn.result = resolveType(d->type);
        if (fn.result->kind != Type::Void) checkParamType(fn.result, d->type.pos);
        fn.params.reserve(d->params.size());
        for (const Param& p : d->params) {
            const Type* t = resolveType(p.type);
            checkParamType(t, p.pos);
            fn.params.push_back(t);
        }
        fn.signature = d->signature;
        if (!signatureFits(fn))
            fail(d->pos,
                 "native '" + d->name + "' does not match its signature \"" + fn.signature + "\"");
        auto& list = natives_[d->name];
        for (const NativeFn& other : list)
            if (other.params.size() == fn.params.size())
                fail(d->pos, "'" + d->name + "' is already defined");
        list.push_back(std::move(fn));
    }

    // The text is only a key, but one that cannot fit the declaration would
    // fail at load time or hand the native the wrong words. Every program
    // declares the standard header's natives again, so this reads the text
    // in place.
    static bool signatureFits(const NativeFn& fn) {
        std::string_view s = fn.signature;
        if (s.size() > 255) return false;
        for (char c : s)
            if (c < 32 || c > 126 || c == '"' || c == '\\') return false;
        size_t space = s.find(' '), open = s.find('(');
        if (space == std::string_view::npos || open == std::string_view::npos ||
            open <= space + 1 || s.back() != ')' ||
            !fitsSignature(fn.result, s.substr(0, space), true))
            return false;
        std::string_view list = s.substr(open + 1, s.size() - open - 2);
        size_t count = 0;
        // Commas separate the words, so "I," ends in an empty one.
        for (bool more = !list.empty(); more;) {
            size_t comma = list.find(',');
            if (count == fn.params.size() ||
                !fitsSignature(fn.params[count], list.substr(0, comma), false))
                return false;
            ++count;
            more = comma != std::string_view::npos;
            if (more) list.remove_prefix(comma + 1);
        }
        return count == fn.params.size();
    }

    ConstValue convertConst(ConstValue v, const Type* to) {
        if (to->kind == Type::Float && isIntLike(v.type)) v.bits = vmItof(v.bits);
        v.type = to;
        return v;
    }

    void declareConst(Decl* d) {
        if (globalNameTaken(d->name)) fail(d->pos, "'" + d->name + "' is already defined");
        const Type* t = resolveType(d->type);
        GlobalVar g;
        g.type = t;
        g.isConst = true;
        g.value = constantOf(t, d->init.get());
        globals_[d->name] = g;
    }

    ConstValue constantOf(const Type* t, Expr* init) {
        if (!isNumeric(t)) fail(init->pos, "a constant must be int, float or bool");
        check(init);
        requireConvertible(init, t);
        if (!init->isConst) fail(init->pos, "not a constant expression");
        return convertConst(init->value, t);
    }

    uint32_t allocateStatic(const std::string& label, uint32_t words, Static::Kind kind, Pos pos) {
        if (static_cast<uint64_t>(staticNext_) + words > kMaxStaticWords)
            fail(pos, "static data too large");
        statics_.push_back({label, staticNext_, words, kind, {}, {}});
        staticNext_ += words;
        return statics_.back().address;
    }

    void declareGlobal(Decl* d) {
        if (globalNameTaken(d->name)) fail(d->pos, "'" + d->name + "' is already defined");
        const Type* t = resolveType(d->type);
        if (t->kind == Type::Void) fail(d->pos, "a variable cannot have type void");
        GlobalVar g;
        g.type = t;
        g.label = "g." + d->name;
        g.address = allocateStatic(g.label, std::max<uint32_t>(t->size, 1), Static::Data, d->pos);
        size_t index = statics_.size() - 1;
        if (d->init) {
            std::vector<Leaf> leaves;
            flatten(t, d->init.get(), 0, leaves);
            for (const Leaf& leaf : leaves) {
                if (leaf.expr->kind == Expr::String || leaf.expr->kind == Expr::Null) {
                    uint32_t address = leaf.expr->kind == Expr::String
                                           ? stringAddress(leaf.expr->name, leaf.expr->pos)
                                           : 0;
                    if (address) statics_[index].values[leaf.offset] = address;
                    continue;
                }
                if (!leaf.expr->isConst && leaf.expr->kind == Expr::Call &&
                    leaf.expr->name == "vec3") {
                    for (int i = 0; i < 3; ++i) {
                        Expr* c = leaf.expr->kids[static_cast<size_t>(i)].get();
                        if (!c->isConst) fail(c->pos, "not a constant expression");
                        uint32_t bits = convertConst(c->value, types_.floatType()).bits;
                        if (bits)
                            statics_[index].values[leaf.offset + static_cast<uint32_t>(i)] = bits;
                    }
                    continue;
                }
                if (!leaf.expr->isConst) fail(leaf.expr->pos, "not a constant expression");
                uint32_t bits = convertConst(leaf.expr->value, leaf.type).bits;
                if (bits) statics_[index].values[leaf.offset] = bits;
            }
        }
        globals_[d->name] = g;
    }

    void declareFunction(Decl* d) {
        if (globalNameTaken(d->name)) fail(d->pos, "'" + d->name + "' is already defined");
        auto f = std::make_unique<Function>();
        f->decl = d;
        f->result = resolveType(d->type);
        if (f->result->kind != Type::Void) checkParamType(f->result, d->type.pos);
        std::string signature = std::string(1, signatureLetter(f->result));
        if (f->result->kind == Type::Pointer) signature = signatureType(f->result);
        signature += " " + d->name + "(";
        for (size_t i = 0; i < d->params.size(); ++i) {
            const Param& p = d->params[i];
            const Type* t = resolveType(p.type);
            checkParamType(t, p.pos);
            f->params.push_back(t);
            f->paramNames.push_back(p.name);
            f->paramWords += static_cast<int>(t->size);
            signature += (i ? "," : "") + signatureType(t);
        }
        signature += ")";
        auto entry = kEntryPoints.find(d->name);
        if (entry != kEntryPoints.end()) {
            if (signature != entry->second)
                fail(d->pos,
                     "entry point '" + d->name + "' must be declared as \"" + entry->second + "\"");
            f->exportSignature = signature;
        } else if (d->exported) {
            f->exportSignature = signature;
        }
        f->label = "f." + d->name;
        functionOrder_.push_back(f.get());
        functions_[d->name] = std::move(f);
    }

    // ---- initialisers --------------------------------------------------------

    struct Leaf {
        const Type* type;
        Expr* expr;
        uint32_t offset;
    };

    void flatten(const Type* t, Expr* init, uint32_t offset, std::vector<Leaf>& out) {
        if (init->kind != Expr::InitList) {
            check(init);
            if ((t->kind == Type::Array || t->kind == Type::Struct || t->kind == Type::Mat4) &&
                init->type == t) {
                out.push_back({t, init, offset});
                return;
            }
            if (!isValueType(t))
                fail(init->pos, "cannot convert " + typeName(init->type) + " to " + typeName(t));
            requireConvertible(init, t);
            out.push_back({t, init, offset});
            return;
        }
        std::vector<std::pair<const Type*, uint32_t>> slots;
        switch (t->kind) {
            case Type::Array:
                for (uint32_t i = 0; i < t->count && i < init->kids.size(); ++i)
                    slots.push_back({t->elem, i * t->elem->size});
                if (init->kids.size() > t->count)
                    fail(init->kids[t->count]->pos, "too many initialisers");
                break;
            case Type::Struct:
                for (const FieldDef& f : t->def->fields)
                    slots.push_back({f.type, f.offset});
                break;
            case Type::Vec3:
            case Type::Mat4:
                for (uint32_t i = 0; i < t->size; ++i)
                    slots.push_back({types_.floatType(), i});
                break;
            default:
                fail(init->pos, "cannot convert a brace list to " + typeName(t));
        }
        if (init->kids.size() > slots.size())
            fail(init->kids[slots.size()]->pos, "too many initialisers");
        for (size_t i = 0; i < init->kids.size(); ++i)
            flatten(slots[i].first, init->kids[i].get(), offset + slots[i].second, out);
    }

    // ---- statics ---------------------------------------------------------------

    uint32_t stringAddress(const std::string& text, Pos pos) {
        auto it = strings_.find(text);
        if (it != strings_.end()) return it->second.second;
        std::string label = "s." + std::to_string(strings_.size());
        uint32_t address =
            allocateStatic(label, static_cast<uint32_t>(text.size()) + 1, Static::Text, pos);
        statics_.back().text = text;
        strings_[text] = {label, address};
        return address;
    }

    std::string stringLabel(const std::string& text, Pos pos) {
        stringAddress(text, pos);
        return strings_[text].first;
    }

    std::string nativeLabel(const NativeFn& fn, Pos pos) {
        auto it = nativeLabels_.find(fn.signature);
        if (it != nativeLabels_.end()) return it->second;
        std::string label = "n." + fn.name + "." + std::to_string(fn.params.size());
        if (usedNativeLabels_.count(label)) label += "." + std::to_string(nativeLabels_.size());
        usedNativeLabels_.insert(label);
        allocateStatic(label, 1, Static::Native, pos);
        statics_.back().text = fn.signature;
        nativeLabels_[fn.signature] = label;
        return label;
    }

    const NativeFn& headerNative(const std::string& name, Pos pos) {
        auto it = natives_.find(name);
        if (it == natives_.end() || it->second.empty()) fail(pos, "unknown name '" + name + "'");
        return it->second.front();
    }

    // ---- emission --------------------------------------------------------------

    bool lastIs(uint8_t op, size_t back = 0) const {
        if (code_.size() <= back) return false;
        const Line& l = code_[code_.size() - 1 - back];
        return l.kind == Line::Ins && l.op == op;
    }

    void emit(uint8_t op, const std::string& operand = "", const std::string& note = "") {
        if (op == op::INTADD && lastIs(op::INTMUL) && lastIs(op::LITERAL, 1)) {
            std::string k = code_[code_.size() - 2].operand;
            code_.pop_back();
            code_.pop_back();
            op = op::LITERALINTMULADD;
            return emit(op, k);
        }
        if (op == op::INTSUB && lastIs(op::LITERAL)) {
            uint32_t k = static_cast<uint32_t>(std::stoll(code_.back().operand));
            code_.pop_back();
            if (k == 0) return;
            return emit(op::LITERALINTADD, std::to_string(asInt(0u - k)));
        }
        if (op == op::INTADD && lastIs(op::LITERAL)) {
            std::string k = code_.back().operand;
            code_.pop_back();
            if (k == "0") return;
            return emit(op::LITERALINTADD, k);
        }
        if (++instructions_ > kMaxInstructions) fail(statementPos_, "program too large");
        code_.push_back({Line::Ins, op, operand, note});
    }
    void emitInt(uint8_t op, int64_t k) { emit(op, std::to_string(static_cast<int32_t>(k))); }
    void literalInt(uint32_t v) { emit(op::LITERAL, std::to_string(asInt(v))); }
    void literalFloat(uint32_t bits) { emit(op::LITERALF, hex(bits), floatText(bits)); }

    std::string newLabel() { return "L." + std::to_string(labels_++); }
    void place(const std::string& label) { code_.push_back({Line::Label, 0, label, ""}); }
    void jump(uint8_t op, const std::string& label) { emit(op, label); }

    void emitConst(ConstValue v, const Type* as) {
        v = convertConst(v, as);
        if (as->kind == Type::Float)
            literalFloat(v.bits);
        else
            literalInt(v.bits);
    }

    // ---- functions ---------------------------------------------------------------

    struct LoopLabels {
        std::string breakLabel, continueLabel;
    };

    void compileFunction(Function& f) {
        current_ = &f;
        scopes_.clear();
        scopes_.emplace_back();
        slot_ = 0;
        maxSlot_ = 0;
        loops_.clear();
        std::vector<Line> saved;
        saved.swap(code_);
        statementPos_ = f.decl->pos;
        int offset = -f.paramWords;
        std::set<std::string> names;
        for (size_t i = 0; i < f.params.size(); ++i) {
            if (!f.paramNames[i].empty()) {
                if (!names.insert(f.paramNames[i]).second)
                    fail(f.decl->params[i].pos, "'" + f.paramNames[i] + "' is already defined");
                Local l;
                l.type = f.params[i];
                l.slot = offset;
                scopes_.back()[f.paramNames[i]] = l;
            }
            offset += static_cast<int>(f.params[i]->size);
        }
        resultSlot_ = -std::max(f.paramWords, static_cast<int>(f.result->size));
        emit(op::PUSH_MULTIPLE, "@frame");
        statement(f.decl->body.get());
        if (f.result->kind != Type::Void && !alwaysReturns(f.decl->body.get()))
            fail(f.decl->pos, "function '" + f.decl->name + "' can end without returning a value");
        if (!(lastIs(op::POP_MULTIPLE_RETURN) || lastIs(op::J)))
            emit(op::POP_MULTIPLE_RETURN, "@return");
        std::vector<Line> body;
        body.swap(code_);
        code_.swap(saved);
        code_.push_back({Line::Comment, 0, "", ""});
        code_.push_back({Line::Label, 0, f.label, ""});
        // The callee drops its frame and the argument words above its
        // result, so callers never pop after a call.
        int drop = maxSlot_ + std::max(0, f.paramWords - static_cast<int>(f.result->size));
        for (Line& l : body) {
            if (l.operand == "@frame") {
                if (maxSlot_ == 0) continue;
                l.operand = std::to_string(maxSlot_);
            } else if (l.operand == "@return") {
                if (drop == 0) {
                    l.op = op::RETURN;
                    l.operand.clear();
                } else {
                    l.operand = std::to_string(drop);
                }
            }
            code_.push_back(std::move(l));
        }
        current_ = nullptr;
    }

    bool alwaysReturns(const Stmt* s) const {
        if (!s) return false;
        switch (s->kind) {
            case Stmt::Return:
                return true;
            case Stmt::Block:
                for (auto& c : s->body)
                    if (alwaysReturns(c.get())) return true;
                return false;
            case Stmt::If:
                return s->body.size() == 2 && alwaysReturns(s->body[0].get()) &&
                       alwaysReturns(s->body[1].get());
            case Stmt::While:
            case Stmt::For: {
                Expr* cond = s->exprs[0].get();
                bool forever = !cond || (cond->checked && cond->isConst && cond->value.bits != 0);
                const Stmt* body = s->kind == Stmt::While ? s->body[0].get() : s->body[2].get();
                return forever && !breaks(body);
            }
            case Stmt::DoWhile: {
                Expr* cond = s->exprs[0].get();
                bool forever = cond->checked && cond->isConst && cond->value.bits != 0;
                return alwaysReturns(s->body[0].get()) || (forever && !breaks(s->body[0].get()));
            }
            default:
                return false;
        }
    }

    // True when a break inside `s` leaves the loop around it.
    static bool breaks(const Stmt* s) {
        if (!s) return false;
        if (s->kind == Stmt::Break) return true;
        if (s->kind == Stmt::While || s->kind == Stmt::For || s->kind == Stmt::DoWhile)
            return false;
        for (auto& c : s->body)
            if (breaks(c.get())) return true;
        return false;
    }

    int allocateSlots(uint32_t words, Pos pos) {
        int slot = slot_;
        if (static_cast<uint64_t>(slot_) + words > kMaxFrameWords)
            fail(pos, "local variables too large");
        slot_ += static_cast<int>(words);
        maxSlot_ = std::max(maxSlot_, slot_);
        return slot;
    }

    void sourceComment(Pos pos) {
        if (pos.file < 0 || static_cast<size_t>(pos.file) >= files_.size()) return;
        const std::string& text = files_[static_cast<size_t>(pos.file)].text;
        if (lineStarts_.size() != files_.size()) lineStarts_.resize(files_.size());
        std::vector<size_t>& starts = lineStarts_[static_cast<size_t>(pos.file)];
        if (starts.empty()) {
            starts.push_back(0);
            for (size_t at = text.find('\n'); at != std::string::npos; at = text.find('\n', at + 1))
                starts.push_back(at + 1);
        }
        if (pos.line < 1 || static_cast<size_t>(pos.line) > starts.size()) return;
        size_t start = starts[static_cast<size_t>(pos.line) - 1];
        size_t end = text.find('\n', start);
        std::string line =
            text.substr(start, end == std::string::npos ? std::string::npos : end - start);
        for (char& c : line)
            if (c == '\r' || c == '\0') c = ' ';
        size_t first = line.find_first_not_of(" \t");
        if (first == std::string::npos) return;
        if (line.size() - first > 100) line = line.substr(0, first + 100);
        code_.push_back({Line::Comment, 0,
                         files_[static_cast<size_t>(pos.file)].name + ":" +
                             std::to_string(pos.line) + ": " + line.substr(first),
                         ""});
    }

    void statement(Stmt* s) {
        if (!s) return;
        Pos savedPos = statementPos_;
        statementPos_ = s->pos;
        if (s->kind != Stmt::Block) sourceComment(s->pos);
        int savedSlot = slot_;
        switch (s->kind) {
            case Stmt::Block: {
                bool group = s->op == "group";
                if (!group) scopes_.emplace_back();
                for (auto& c : s->body)
                    statement(c.get());
                if (!group) {
                    scopes_.pop_back();
                    slot_ = savedSlot;
                }
                savedSlot = slot_;
                break;
            }
            case Stmt::VarDecl:
                varDecl(s);
                savedSlot = slot_;
                break;
            case Stmt::ConstDecl: {
                const Type* t = resolveType(*s->typeSyntax);
                Local l;
                l.type = t;
                l.isConst = true;
                l.value = constantOf(t, s->exprs[0].get());
                declareLocal(s->name, l, s->pos);
                break;
            }
            case Stmt::If:
                ifStatement(s);
                break;
            case Stmt::While:
                whileStatement(s);
                break;
            case Stmt::DoWhile:
                doWhileStatement(s);
                break;
            case Stmt::For:
                forStatement(s);
                savedSlot = slot_;
                break;
            case Stmt::Break:
                if (loops_.empty()) fail(s->pos, "'break' outside a loop");
                jump(op::J, loops_.back().breakLabel);
                break;
            case Stmt::Continue:
                if (loops_.empty()) fail(s->pos, "'continue' outside a loop");
                jump(op::J, loops_.back().continueLabel);
                break;
            case Stmt::Return:
                returnStatement(s);
                break;
            case Stmt::Assign:
                assignStatement(s);
                break;
            case Stmt::IncDec:
                incDec(s);
                break;
            case Stmt::ExprStmt:
                exprStatement(s);
                break;
            case Stmt::Delete: {
                Expr* e = s->exprs[0].get();
                check(e);
                if (e->type->kind != Type::Pointer)
                    fail(e->pos, "operator 'delete' cannot take " + typeName(e->type));
                emitValue(e);
                emit(op::NATIVE, nativeLabel(headerNative("free", s->pos), s->pos));
                break;
            }
        }
        // Hidden temporaries live for one statement only.
        slot_ = savedSlot;
        statementPos_ = savedPos;
    }

    void declareLocal(const std::string& name, const Local& l, Pos pos) {
        if (kBuiltins.count(name)) fail(pos, "'" + name + "' is already defined");
        auto& scope = scopes_.back();
        if (scope.count(name)) fail(pos, "'" + name + "' is already defined");
        scope[name] = l;
    }

    void varDecl(Stmt* s) {
        const Type* t = resolveType(*s->typeSyntax);
        if (t->kind == Type::Void) fail(s->pos, "a variable cannot have type void");
        Expr* init = s->exprs.empty() ? nullptr : s->exprs[0].get();
        if (init && init->kind != Expr::InitList) check(init);
        // The slot is reserved before the initialiser runs so that hidden
        // temporaries of the initialiser land above it.
        Local l;
        l.type = t;
        l.slot = allocateSlots(t->size, s->pos);
        Loc loc{Loc::Frame, l.slot, "", 0};
        if (init) {
            store(loc, t, init);
        } else if (isValueType(t)) {
            emitInt(op::REFVAR, l.slot);
            for (uint32_t i = 0; i < t->size; ++i)
                literalInt(0);
            storeTop(t);
        }
        declareLocal(s->name, l, s->pos);
    }

    // (addr value -- ): stores the value words at the address.
    void storeTop(const Type* t) {
        if (t->size == 1) {
            emit(op::ASSIGNPOP);
        } else {
            emitInt(op::ASSIGN_MULTIPLE, t->size);
            emit(op::POP);
        }
    }

    // Stores `value` into the location: scalars and vectors through the
    // stack, whole aggregates by MEMCPY, matrices by the matrix builders,
    // brace lists word by word.
    void store(const Loc& loc, const Type* t, Expr* value) {
        if (value->kind == Expr::InitList) {
            std::vector<Leaf> leaves;
            flatten(t, value, 0, leaves);
            if (t->size > 4096) fail(value->pos, "program too large");
            pushAddress(loc);
            uint32_t at = 0;
            for (const Leaf& leaf : leaves) {
                for (; at < leaf.offset; ++at)
                    literalInt(0);
                if (!isValueType(leaf.type)) {
                    // A whole aggregate inside a brace list: its words by value.
                    Loc src = emitLoc(leaf.expr);
                    loadFrom(src, leaf.type->size);
                } else {
                    emitAs(leaf.expr, leaf.type);
                }
                at += leaf.type->size;
            }
            for (; at < t->size; ++at)
                literalInt(0);
            emitInt(op::ASSIGN_MULTIPLE, t->size);
            emit(op::POP);
            return;
        }
        check(value);
        if (t->kind == Type::Mat4 && value->type->kind == Type::Mat4 && !isLvalue(value)) {
            pushAddress(loc);
            matrixInto(value);
            return;
        }
        if (!isValueType(t)) {
            if (value->type != t)
                fail(value->pos, "cannot convert " + typeName(value->type) + " to " + typeName(t));
            pushAddress(loc);
            Loc src = emitLoc(value);
            pushAddress(src);
            emitInt(op::MEMCPY, t->size);
            return;
        }
        requireConvertible(value, t);
        pushAddress(loc);
        emitAs(value, t);
        storeTop(t);
    }

    void conditionJump(Expr* cond, bool jumpWhen, const std::string& label) {
        check(cond);
        requireCondition(cond);
        if (cond->isConst) {
            if ((cond->value.bits != 0) == jumpWhen) jump(op::J, label);
            return;
        }
        if (cond->kind == Expr::Binary && (cond->op == "&&" || cond->op == "||")) {
            bool isAnd = cond->op == "&&";
            // a && b jumps when false as soon as a is false; a || b jumps when
            // true as soon as a is true; the other case needs both.
            if (isAnd != jumpWhen) {
                conditionJump(cond->kids[0].get(), jumpWhen, label);
                conditionJump(cond->kids[1].get(), jumpWhen, label);
            } else {
                std::string skip = newLabel();
                conditionJump(cond->kids[0].get(), !jumpWhen, skip);
                conditionJump(cond->kids[1].get(), jumpWhen, label);
                place(skip);
            }
            return;
        }
        if (cond->kind == Expr::Unary && cond->op == "!") {
            conditionJump(cond->kids[0].get(), !jumpWhen, label);
            return;
        }
        // x != 0 and p != null branch on x itself (never for floats, whose
        // -0.0 is a non-zero word).
        if (cond->kind == Expr::Binary && (cond->op == "!=" || cond->op == "==")) {
            Expr* a = cond->kids[0].get();
            Expr* b = cond->kids[1].get();
            auto zero = [](Expr* x) {
                return x->kind == Expr::Null ||
                       (x->isConst && isIntLike(x->type) && x->value.bits == 0);
            };
            auto word = [](Expr* x) {
                return isIntLike(x->type) || x->type->kind == Type::Pointer;
            };
            Expr* other = zero(b) && word(a) ? a : zero(a) && word(b) ? b : nullptr;
            if (other) {
                emitValue(other);
                bool jumpOnNonZero = (cond->op == "!=") == jumpWhen;
                jump(jumpOnNonZero ? op::JNZ : op::JZ, label);
                return;
            }
        }
        emitValue(cond);
        jump(jumpWhen ? op::JNZ : op::JZ, label);
    }

    void requireCondition(Expr* cond) {
        const Type* t = cond->type;
        if (!(isIntLike(t) || t->kind == Type::Pointer))
            fail(cond->pos, "expected a condition (bool or int), found " + typeName(t));
    }

    void ifStatement(Stmt* s) {
        std::string otherwise = newLabel();
        conditionJump(s->exprs[0].get(), false, otherwise);
        scoped(s->body[0].get());
        if (s->body.size() > 1) {
            std::string end = newLabel();
            jump(op::J, end);
            place(otherwise);
            scoped(s->body[1].get());
            place(end);
        } else {
            place(otherwise);
        }
    }

    // A lone statement as the body of if, while or for gets its own scope.
    void scoped(Stmt* s) {
        scopes_.emplace_back();
        int saved = slot_;
        statement(s);
        slot_ = saved;
        scopes_.pop_back();
    }

    // `local < constant` tests at the top with the VM's compare-and-branch
    // instruction, so the body is no jump target and its first instruction
    // fuses; other conditions test at the bottom, one branch per turn.
    bool countedLoop(Expr* cond, int& slot, int32_t& limit) {
        if (!cond || cond->kind != Expr::Binary || (cond->op != "<" && cond->op != "<="))
            return false;
        Expr* a = cond->kids[0].get();
        Expr* b = cond->kids[1].get();
        if (a->kind != Expr::Name || a->type->kind != Type::Int || !b->isConst ||
            !isIntLike(b->type))
            return false;
        const Local* l = findLocal(a->name);
        if (!l || l->isConst) return false;
        limit = asInt(b->value.bits);
        if (cond->op == "<=") {
            if (limit == INT32_MAX) return false;
            ++limit;
        }
        slot = l->slot;
        return true;
    }

    void loop(Expr* cond, Stmt* body, Stmt* step) {
        std::string top = newLabel(), next = newLabel(), test = newLabel(), end = newLabel();
        bool forever = true;
        if (cond) {
            check(cond);
            requireCondition(cond);
            forever = cond->isConst && cond->value.bits != 0;
        }
        int slot = 0;
        int32_t limit = 0;
        bool counted = !forever && countedLoop(cond, slot, limit);
        if (!forever && !counted) jump(op::J, test);
        place(top);
        if (counted)
            emit(op::COPYVAR_LITERAL_INTLT_JZ,
                 std::to_string(slot) + ", " + std::to_string(limit) + ", " + end);
        loops_.push_back({end, next});
        scoped(body);
        loops_.pop_back();
        place(next);
        if (step) statement(step);
        if (forever || counted) {
            jump(op::J, top);
        } else {
            place(test);
            conditionJump(cond, true, top);
        }
        place(end);
    }

    void doWhileStatement(Stmt* s) {
        std::string top = newLabel(), next = newLabel(), end = newLabel();
        Expr* cond = s->exprs[0].get();
        check(cond);
        requireCondition(cond);
        place(top);
        loops_.push_back({end, next});
        scoped(s->body[0].get());
        loops_.pop_back();
        place(next);
        conditionJump(cond, true, top);
        place(end);
    }

    void whileStatement(Stmt* s) { loop(s->exprs[0].get(), s->body[0].get(), nullptr); }

    void forStatement(Stmt* s) {
        scopes_.emplace_back();
        int saved = slot_;
        statement(s->body[0].get());
        loop(s->exprs[0].get(), s->body[2].get(), s->body[1].get());
        slot_ = saved;
        scopes_.pop_back();
    }

    void returnStatement(Stmt* s) {
        const Type* r = current_->result;
        if (s->exprs.empty()) {
            if (r->kind != Type::Void)
                fail(s->pos, "'return' needs a value of type " + typeName(r));
        } else {
            Expr* e = s->exprs[0].get();
            if (r->kind == Type::Void) fail(e->pos, "a void function returns no value");
            check(e);
            requireConvertible(e, r);
            emitInt(op::REFVAR, resultSlot_);
            emitAs(e, r);
            storeTop(r);
        }
        emit(op::POP_MULTIPLE_RETURN, "@return");
    }

    void assignStatement(Stmt* s) {
        Expr* target = s->exprs[0].get();
        Expr* value = s->exprs[1].get();
        check(target);
        if (!isLvalue(target)) fail(target->pos, "cannot assign to this expression");
        const Type* t = target->type;
        if (s->op == "=") {
            Loc loc = emitLoc(target);
            store(loc, t, value);
            return;
        }
        std::string op = s->op.substr(0, s->op.size() - 1);
        check(value);
        const Type* result = binaryType(op, t, value->type, s->pos, value);
        if (!canConvert(result, t))
            fail(value->pos, "cannot convert " + typeName(result) + " to " + typeName(t));
        if ((op == "+" || op == "-") && value->isConst && isIntLike(value->type) &&
            (t->kind == Type::Int || t->kind == Type::Pointer)) {
            int64_t k = asInt(value->value.bits);
            if (t->kind == Type::Pointer) k *= t->elem->size;
            increment(target, op == "+" ? k : -k);
            return;
        }
        Loc loc = emitLoc(target);
        pushAddress(loc);
        if (loc.kind == Loc::Dynamic) {
            emit(op::DUP);
            loadFrom(Loc{Loc::Dynamic, 0, "", 0}, t->size);
        } else {
            loadFrom(loc, t->size);
        }
        binaryRest(op, t, value, result);
        storeTop(t);
    }

    void increment(Expr* target, int64_t k) {
        Loc loc = emitLoc(target);
        pushAddress(loc);
        emitInt(op::LITERALINCREMENT, k);
    }

    void incDec(Stmt* s) {
        Expr* target = s->exprs[0].get();
        check(target);
        if (!isLvalue(target)) fail(target->pos, "cannot assign to this expression");
        const Type* t = target->type;
        int sign = s->op == "++" ? 1 : -1;
        if (t->kind == Type::Int) return increment(target, sign);
        if (t->kind == Type::Pointer && t->elem->kind != Type::Void)
            return increment(target, sign * static_cast<int64_t>(t->elem->size));
        if (t->kind == Type::Float) {
            Loc loc = emitLoc(target);
            pushAddress(loc);
            if (loc.kind == Loc::Dynamic) {
                emit(op::DUP);
                emit(op::DEREF);
            } else {
                loadFrom(loc, 1);
            }
            literalFloat(floatBits(static_cast<float>(sign)));
            emit(op::FLOATADD);
            emit(op::ASSIGNPOP);
            return;
        }
        fail(s->pos, "operator '" + s->op + "' cannot take " + typeName(t));
    }

    void exprStatement(Stmt* s) {
        Expr* e = s->exprs[0].get();
        if (e->kind != Expr::Call) fail(e->pos, "expected an assignment or a call");
        check(e);
        if (e->type->kind == Type::Mat4) fail(e->pos, "expected an assignment or a call");
        if (e->isConst) return;
        if (e->type->kind == Type::Void) return emitCall(e);
        emitValue(e);
        if (e->type->size == 1)
            emit(op::POP);
        else if (e->type->size > 1)
            emitInt(op::POP_MULTIPLE, e->type->size);
    }

    // ---- checking -------------------------------------------------------------------

    const Local* findLocal(const std::string& name) const {
        for (size_t i = scopes_.size(); i > 0; --i) {
            auto it = scopes_[i - 1].find(name);
            if (it != scopes_[i - 1].end()) return &it->second;
        }
        return nullptr;
    }

    bool canConvert(const Type* from, const Type* to) const {
        if (from == to) return true;
        if (to->kind == Type::Float && isIntLike(from)) return true;
        if (to->kind == Type::Int && from->kind == Type::Bool) return true;
        if (to->kind == Type::Pointer) {
            if (from->kind == Type::Null) return true;
            if (from->kind == Type::Pointer)
                return to->elem->kind == Type::Void || from->elem->kind == Type::Void;
            if (from->kind == Type::Array)
                return from->elem == to->elem || to->elem->kind == Type::Void;
        }
        return false;
    }

    void requireConvertible(Expr* e, const Type* to) {
        if (!canConvert(e->type, to))
            fail(e->pos, "cannot convert " + typeName(e->type) + " to " + typeName(to));
    }

    bool isLvalue(const Expr* e) const {
        switch (e->kind) {
            case Expr::Name: {
                if (const Local* l = findLocal(e->name)) return !l->isConst;
                auto it = globals_.find(e->name);
                return it != globals_.end() && !it->second.isConst;
            }
            case Expr::Index: {
                const Type* base = e->kids[0]->type;
                return base->kind == Type::Pointer || isLvalue(e->kids[0].get());
            }
            case Expr::Field:
                return isLvalue(e->kids[0].get());
            case Expr::Arrow:
                return true;
            case Expr::Unary:
                return e->op == "*";
            default:
                return false;
        }
    }

    void setConst(Expr* e, const Type* t, uint32_t bits) {
        e->isConst = true;
        e->value = ConstValue{t, bits};
    }

    const Type* fieldType(const Type* base, const std::string& name, Pos pos, uint32_t& offset) {
        if (base->kind == Type::Vec3 && name.size() == 1 && name[0] >= 'x' && name[0] <= 'z') {
            offset = static_cast<uint32_t>(name[0] - 'x');
            return types_.floatType();
        }
        if (base->kind == Type::Struct)
            for (const FieldDef& f : base->def->fields)
                if (f.name == name) {
                    offset = f.offset;
                    return f.type;
                }
        fail(pos, "unknown field '" + name + "' in " + typeName(base));
    }

    void check(Expr* e) {
        if (e->checked) return;
        checkNode(e);
        e->checked = true;
    }

    void checkNode(Expr* e) {
        switch (e->kind) {
            case Expr::IntLit:
                setConst(e, types_.intType(), e->bits);
                e->type = types_.intType();
                return;
            case Expr::FloatLit:
                setConst(e, types_.floatType(), e->bits);
                e->type = types_.floatType();
                return;
            case Expr::BoolLit:
                setConst(e, types_.boolType(), e->bits);
                e->type = types_.boolType();
                return;
            case Expr::Null:
                e->type = types_.nullType();
                return;
            case Expr::String:
                e->type = types_.pointerTo(types_.intType());
                return;
            case Expr::InitList:
                fail(e->pos, "expected an expression, found '{'");
            case Expr::Conditional:
                return checkConditional(e);
            case Expr::Sizeof: {
                const Type* t = resolveType(*e->typeArg);
                if (t->kind == Type::Void) fail(e->pos, "a variable cannot have type void");
                e->type = types_.intType();
                setConst(e, e->type, t->size);
                return;
            }
            case Expr::New: {
                const Type* t = resolveType(*e->typeArg);
                if (t->kind == Type::Void) fail(e->pos, "a variable cannot have type void");
                if (!e->kids.empty()) {
                    check(e->kids[0].get());
                    requireConvertible(e->kids[0].get(), types_.intType());
                }
                e->type = types_.pointerTo(t);
                return;
            }
            case Expr::Name:
                return checkName(e);
            case Expr::Unary:
                return checkUnary(e);
            case Expr::Binary: {
                check(e->kids[0].get());
                check(e->kids[1].get());
                e->type =
                    binaryType(e->op, e->kids[0]->type, e->kids[1]->type, e->pos, e->kids[1].get());
                if (e->kids[0]->isConst && e->kids[1]->isConst) fold(e);
                return;
            }
            case Expr::Call:
                return checkCall(e);
            case Expr::Index: {
                Expr* base = e->kids[0].get();
                Expr* index = e->kids[1].get();
                check(base);
                check(index);
                if (!isIntLike(index->type))
                    fail(index->pos, "cannot convert " + typeName(index->type) + " to int");
                const Type* b = base->type;
                uint32_t count = 0;
                if (b->kind == Type::Array) {
                    e->type = b->elem;
                    count = b->count;
                } else if (b->kind == Type::Pointer && b->elem->kind != Type::Void) {
                    e->type = b->elem;
                } else if ((b->kind == Type::Mat4 || b->kind == Type::Vec3) && isLvalue(base)) {
                    e->type = types_.floatType();
                    count = b->size;
                } else {
                    fail(e->pos, "operator '[]' cannot take " + typeName(b));
                }
                if (count && index->isConst && index->value.bits >= count)
                    fail(index->pos, "index " + std::to_string(asInt(index->value.bits)) +
                                         " is outside " + typeName(b));
                return;
            }
            case Expr::Field:
            case Expr::Arrow: {
                Expr* base = e->kids[0].get();
                check(base);
                const Type* b = base->type;
                if (e->kind == Expr::Arrow) {
                    if (b->kind != Type::Pointer)
                        fail(e->pos, "operator '->' cannot take " + typeName(b));
                    b = b->elem;
                }
                uint32_t offset = 0;
                e->type = fieldType(b, e->name, e->pos, offset);
                e->bits = offset;
                return;
            }
        }
    }

    // c ? a : b: both sides meet in one value type, numbers widening to
    // float as in arithmetic; a constant condition picks its side.
    void checkConditional(Expr* e) {
        for (auto& k : e->kids)
            check(k.get());
        requireCondition(e->kids[0].get());
        const Type* a = e->kids[1]->type;
        const Type* b = e->kids[2]->type;
        const Type* t = nullptr;
        if (a == b)
            t = a;
        else if (isNumeric(a) && isNumeric(b))
            t = a->kind == Type::Float || b->kind == Type::Float ? types_.floatType()
                                                                 : types_.intType();
        else if (canConvert(b, a))
            t = a;
        else if (canConvert(a, b))
            t = b;
        if (!t || !isValueType(t))
            fail(e->pos, "operator '?:' cannot take " + typeName(a) + " and " + typeName(b));
        e->type = t;
        Expr* cond = e->kids[0].get();
        Expr* chosen = cond->isConst ? e->kids[cond->value.bits ? 1 : 2].get() : nullptr;
        if (chosen && chosen->isConst && isNumeric(t))
            setConst(e, t, convertConst(chosen->value, t).bits);
    }

    void checkName(Expr* e) {
        if (const Local* l = findLocal(e->name)) {
            e->type = l->type;
            if (l->isConst) setConst(e, l->type, l->value.bits);
            return;
        }
        auto g = globals_.find(e->name);
        if (g != globals_.end()) {
            e->type = g->second.type;
            if (g->second.isConst) setConst(e, g->second.type, g->second.value.bits);
            return;
        }
        if (functions_.count(e->name) || natives_.count(e->name) || kBuiltins.count(e->name))
            fail(e->pos, "'" + e->name + "' is a function; call it with '('");
        fail(e->pos, "unknown name '" + e->name + "'");
    }

    void checkUnary(Expr* e) {
        Expr* a = e->kids[0].get();
        check(a);
        const Type* t = a->type;
        const std::string& op = e->op;
        auto bad = [&]() { fail(e->pos, "operator '" + op + "' cannot take " + typeName(t)); };
        if (op == "-") {
            if (isIntLike(t))
                e->type = types_.intType();
            else if (t->kind == Type::Float || t->kind == Type::Vec3)
                e->type = t;
            else
                bad();
            if (a->isConst) {
                uint32_t bits = e->type->kind == Type::Float ? floatBits(-bitsFloat(a->value.bits))
                                                             : 0u - a->value.bits;
                setConst(e, e->type, bits);
            }
        } else if (op == "!") {
            if (!(isIntLike(t) || t->kind == Type::Pointer)) bad();
            e->type = types_.boolType();
            if (a->isConst) setConst(e, e->type, a->value.bits == 0);
        } else if (op == "~") {
            if (t->kind != Type::Int) bad();
            e->type = t;
            if (a->isConst) setConst(e, t, ~a->value.bits);
        } else if (op == "&") {
            if (!isLvalue(a)) fail(e->pos, "cannot take the address of this expression");
            e->type = types_.pointerTo(t);
        } else {  // "*"
            if (t->kind != Type::Pointer || t->elem->kind == Type::Void) bad();
            e->type = t->elem;
        }
    }

    // The result type of `a op b`; fails when the operator cannot take them.
    const Type* binaryType(const std::string& op, const Type* a, const Type* b, Pos pos,
                           Expr* right) {
        auto bad = [&]() -> const Type* {
            fail(pos, "operator '" + op + "' cannot take " + typeName(a) + " and " + typeName(b));
        };
        (void)right;
        bool numeric = isNumeric(a) && isNumeric(b);
        bool anyFloat = a->kind == Type::Float || b->kind == Type::Float;
        if (op == "+" || op == "-" || op == "*" || op == "/") {
            if (numeric) return anyFloat ? types_.floatType() : types_.intType();
            if (a->kind == Type::Vec3 && b->kind == Type::Vec3 && (op == "+" || op == "-"))
                return a;
            if (a->kind == Type::Vec3 && isNumeric(b) && (op == "*" || op == "/")) return a;
            if (isNumeric(a) && b->kind == Type::Vec3 && op == "*") return b;
            if (a->kind == Type::Mat4 && b->kind == Type::Vec3 && op == "*") return b;
            if (a->kind == Type::Mat4 && b->kind == Type::Mat4 && op == "*") return a;
            if (a->kind == Type::Pointer && a->elem->kind != Type::Void && isIntLike(b) &&
                (op == "+" || op == "-"))
                return a;
            if (a->kind == Type::Array && isIntLike(b) && (op == "+" || op == "-"))
                return types_.pointerTo(a->elem);
            return bad();
        }
        if (op == "%" || op == "<<" || op == ">>" || op == ">>>") {
            if (isIntLike(a) && isIntLike(b)) return types_.intType();
            return bad();
        }
        if (op == "&" || op == "|" || op == "^") {
            if (a->kind == Type::Bool && b->kind == Type::Bool) return a;
            if (isIntLike(a) && isIntLike(b)) return types_.intType();
            return bad();
        }
        if (op == "<" || op == "<=" || op == ">" || op == ">=") {
            if (numeric) return types_.boolType();
            return bad();
        }
        if (op == "==" || op == "!=") {
            if (numeric) return types_.boolType();
            bool pa = a->kind == Type::Pointer || a->kind == Type::Null;
            bool pb = b->kind == Type::Pointer || b->kind == Type::Null;
            if (pa && pb && (canConvert(a, b) || canConvert(b, a))) return types_.boolType();
            return bad();
        }
        // && ||
        bool ca = isIntLike(a) || a->kind == Type::Pointer;
        bool cb = isIntLike(b) || b->kind == Type::Pointer;
        if (ca && cb) return types_.boolType();
        return bad();
    }

    void fold(Expr* e) {
        const Type* t = e->type;
        ConstValue a = e->kids[0]->value, b = e->kids[1]->value;
        const std::string& op = e->op;
        bool floatOps = a.type->kind == Type::Float || b.type->kind == Type::Float;
        if (!isNumeric(t)) return;
        if (op == "&&") return setConst(e, t, a.bits != 0 && b.bits != 0);
        if (op == "||") return setConst(e, t, a.bits != 0 || b.bits != 0);
        if (floatOps) {
            float x = bitsFloat(convertConst(a, types_.floatType()).bits);
            float y = bitsFloat(convertConst(b, types_.floatType()).bits);
            float r = 0;
            if (op == "+")
                r = x + y;
            else if (op == "-")
                r = x - y;
            else if (op == "*")
                r = x * y;
            else if (op == "/")
                r = x / (y == 0.0f ? bitsFloat(0x00800000) : y);
            else if (op == "<")
                return setConst(e, t, x < y);
            else if (op == "<=")
                return setConst(e, t, x <= y);
            else if (op == ">")
                return setConst(e, t, x > y);
            else if (op == ">=")
                return setConst(e, t, x >= y);
            else if (op == "==")
                return setConst(e, t, x == y);
            else if (op == "!=")
                return setConst(e, t, x != y);
            else
                return;
            return setConst(e, t, floatBits(r));
        }
        uint32_t x = a.bits, y = b.bits, r = 0;
        if (op == "+")
            r = x + y;
        else if (op == "-")
            r = x - y;
        else if (op == "*")
            r = x * y;
        else if (op == "/")
            r = y == 0 ? x : asInt(y) == -1 ? 0u - x : static_cast<uint32_t>(asInt(x) / asInt(y));
        else if (op == "%")
            r = y == 0 ? x : asInt(y) == -1 ? 0u : static_cast<uint32_t>(asInt(x) % asInt(y));
        else if (op == "&")
            r = x & y;
        else if (op == "|")
            r = x | y;
        else if (op == "^")
            r = x ^ y;
        else if (op == "<<")
            r = x << (y & 31);
        else if (op == ">>")
            r = static_cast<uint32_t>(asInt(x) >> (y & 31));
        else if (op == ">>>")
            r = x >> (y & 31);
        else if (op == "<")
            r = asInt(x) < asInt(y);
        else if (op == "<=")
            r = asInt(x) <= asInt(y);
        else if (op == ">")
            r = asInt(x) > asInt(y);
        else if (op == ">=")
            r = asInt(x) >= asInt(y);
        else if (op == "==")
            r = x == y;
        else if (op == "!=")
            r = x != y;
        else
            return;
        setConst(e, t, r);
    }

    void arity(Expr* e, size_t n) {
        if (e->kids.size() != n)
            fail(e->pos, "'" + e->name + "' expects " + std::to_string(n) + " arguments, found " +
                             std::to_string(e->kids.size()));
    }

    void argType(Expr* e, size_t i, const Type* t) {
        Expr* a = e->kids[i].get();
        requireConvertible(a, t);
    }

    const Type* vecOrFloat(Expr* e, size_t count) {
        bool vec = false;
        for (size_t i = 0; i < count; ++i)
            if (e->kids[i]->type->kind == Type::Vec3) vec = true;
        const Type* t = vec ? types_.vec3Type() : types_.floatType();
        for (size_t i = 0; i < count; ++i)
            argType(e, i, t);
        return t;
    }

    void checkCall(Expr* e) {
        for (auto& k : e->kids)
            check(k.get());
        const std::string& n = e->name;
        const Type* F = types_.floatType();
        const Type* V = types_.vec3Type();
        const Type* M = types_.mat4Type();
        if (n == "int" || n == "float" || n == "bool") {
            arity(e, 1);
            Expr* a = e->kids[0].get();
            const Type* t = a->type;
            bool ok = isNumeric(t) || (n == "int" && t->kind == Type::Pointer);
            if (!ok) fail(e->pos, "cannot convert " + typeName(t) + " to " + n);
            e->type = n == "int" ? types_.intType() : n == "float" ? F : types_.boolType();
            if (a->isConst) {
                uint32_t bits = a->value.bits;
                if (n == "int")
                    bits = t->kind == Type::Float ? vmFtoi(bits) : bits;
                else if (n == "float")
                    bits = convertConst(a->value, F).bits;
                else
                    bits = t->kind == Type::Float ? bitsFloat(bits) != 0.0f : bits != 0;
                setConst(e, e->type, bits);
            }
            return;
        }
        if (n == "vec3") {
            arity(e, 3);
            for (size_t i = 0; i < 3; ++i)
                argType(e, i, F);
            e->type = V;
            return;
        }
        if (n == "dot" || n == "cross") {
            arity(e, 2);
            argType(e, 0, V);
            argType(e, 1, V);
            e->type = n == "dot" ? F : V;
            return;
        }
        if (n == "length" || n == "normalize") {
            arity(e, 1);
            argType(e, 0, V);
            e->type = n == "length" ? F : V;
            return;
        }
        if (n == "lerp") {
            arity(e, 3);
            e->type = vecOrFloat(e, 2);
            argType(e, 2, F);
            return;
        }
        if (n == "catmullRom") {
            arity(e, 5);
            e->type = vecOrFloat(e, 4);
            argType(e, 4, F);
            return;
        }
        if (n == "transformNormal") {
            arity(e, 2);
            argType(e, 0, M);
            argType(e, 1, V);
            e->type = V;
            return;
        }
        if (n == "identity") {
            arity(e, 0);
            e->type = M;
            return;
        }
        if (n == "translate" || n == "scale" || n == "rotate") {
            size_t extra = n == "rotate" ? 1 : 0;
            if (e->kids.size() != 2 + extra && e->kids.size() != 4 + extra)
                fail(e->pos, "'" + n + "' expects " + std::to_string(2 + extra) + " or " +
                                 std::to_string(4 + extra) + " arguments, found " +
                                 std::to_string(e->kids.size()));
            argType(e, 0, M);
            if (extra) argType(e, 1, F);
            if (e->kids.size() == 2 + extra)
                argType(e, 1 + extra, V);
            else
                for (size_t i = 1 + extra; i < e->kids.size(); ++i)
                    argType(e, i, F);
            e->type = M;
            return;
        }
        if (n == "lookAt") {
            arity(e, 4);
            argType(e, 0, M);
            for (size_t i = 1; i < 4; ++i)
                argType(e, i, V);
            e->type = M;
            return;
        }
        if (n == "billboard") {
            arity(e, 2);
            argType(e, 0, M);
            argType(e, 1, F);
            e->type = M;
            return;
        }
        auto f = functions_.find(n);
        if (f != functions_.end()) {
            arity(e, f->second->params.size());
            for (size_t i = 0; i < e->kids.size(); ++i)
                argType(e, i, f->second->params[i]);
            e->type = f->second->result;
            return;
        }
        auto nat = natives_.find(n);
        if (nat != natives_.end()) {
            const NativeFn* match = nullptr;
            std::string counts;
            for (const NativeFn& fn : nat->second) {
                if (fn.params.size() == e->kids.size()) match = &fn;
                counts += (counts.empty() ? "" : " or ") + std::to_string(fn.params.size());
            }
            if (!match)
                fail(e->pos, "'" + n + "' expects " + counts + " arguments, found " +
                                 std::to_string(e->kids.size()));
            for (size_t i = 0; i < e->kids.size(); ++i)
                argType(e, i, match->params[i]);
            e->type = match->result;
            e->bits = static_cast<uint32_t>(match - nat->second.data());
            return;
        }
        if (findLocal(n) || globals_.count(n)) fail(e->pos, "'" + n + "' is not a function");
        fail(e->pos, "unknown name '" + n + "'");
    }

    // ---- expression code ------------------------------------------------------------

    void emitAs(Expr* e, const Type* t) {
        if (e->isConst && isNumeric(t)) return emitConst(e->value, t);
        if (e->type->kind == Type::Array && t->kind == Type::Pointer) {
            pushAddress(emitLoc(e));
            return;
        }
        emitValue(e);
        if (t->kind == Type::Float && isIntLike(e->type)) emit(op::ITOF);
    }

    void emitValue(Expr* e) {
        if (e->isConst) return emitConst(e->value, e->type);
        if (!isValueType(e->type))
            fail(e->pos, typeName(e->type) + " cannot be passed or returned by value");
        switch (e->kind) {
            case Expr::Null:
                literalInt(0);
                return;
            case Expr::String:
                emit(op::REF, stringLabel(e->name, e->pos));
                return;
            case Expr::New: {
                const Type* t = e->type->elem;
                if (e->kids.empty()) {
                    literalInt(t->size);
                } else {
                    emitAs(e->kids[0].get(), types_.intType());
                    if (t->size != 1) {
                        literalInt(t->size);
                        emit(op::INTMUL);
                    }
                }
                emit(op::NATIVE, nativeLabel(headerNative("malloc", e->pos), e->pos));
                return;
            }
            case Expr::Unary:
                return emitUnary(e);
            case Expr::Binary:
                return emitBinary(e);
            case Expr::Call:
                return emitCall(e);
            case Expr::Conditional: {
                std::string otherwise = newLabel(), end = newLabel();
                conditionJump(e->kids[0].get(), false, otherwise);
                emitAs(e->kids[1].get(), e->type);
                jump(op::J, end);
                place(otherwise);
                emitAs(e->kids[2].get(), e->type);
                place(end);
                return;
            }
            case Expr::Field:
                if (e->kids[0]->type->kind == Type::Vec3 && !isLvalue(e->kids[0].get()))
                    return component(e);
                break;
            default:
                break;
        }
        loadFrom(emitLoc(e), e->type->size);
    }

    // .x, .y or .z of a vector computed on the stack.
    void component(Expr* e) {
        emitValue(e->kids[0].get());
        switch (e->bits) {
            case 0:
                emit(op::POP);
                emit(op::POP);
                break;
            case 1:
                emit(op::POP);
                emit(op::SWAP);
                emit(op::POP);
                break;
            default:
                emit(op::SWAP);
                emit(op::POP);
                emit(op::SWAP);
                emit(op::POP);
                break;
        }
    }

    void emitUnary(Expr* e) {
        Expr* a = e->kids[0].get();
        if (e->op == "&") return pushAddress(emitLoc(a));
        if (e->op == "*") return loadFrom(emitLoc(e), e->type->size);
        if (e->op == "-") {
            if (e->type->kind == Type::Int) {
                literalInt(0);
                emitValue(a);
                emit(op::INTSUB);
            } else {
                emitValue(a);
                literalFloat(floatBits(-1.0f));
                emit(e->type->kind == Type::Vec3 ? op::VECTOR_MUL : op::FLOATMUL);
            }
            return;
        }
        emitValue(a);
        if (e->op == "!") {
            literalInt(0);
            emit(op::INTEQ);
        } else {  // "~"
            literalInt(0xFFFFFFFFu);
            emit(op::INTXOR);
        }
    }

    void emitBinary(Expr* e) {
        Expr* a = e->kids[0].get();
        Expr* b = e->kids[1].get();
        const std::string& op = e->op;
        if (op == "&&" || op == "||") {
            std::string no = newLabel(), end = newLabel();
            conditionJump(e, false, no);
            literalInt(1);
            jump(op::J, end);
            place(no);
            literalInt(0);
            place(end);
            return;
        }
        if (a->type->kind == Type::Mat4) {  // m * v
            emitAs(b, types_.vec3Type());
            matrixAddress(a);
            emit(op::VECTOR_TRANSFORM);
            return;
        }
        if (isNumeric(a->type) && b->type->kind == Type::Vec3) {  // s * v
            emitValue(b);
            emitAs(a, types_.floatType());
            emit(op::VECTOR_MUL);
            return;
        }
        // a + b * c as one multiply-add.
        if (op == "+" && e->type->kind == Type::Int && b->kind == Expr::Binary && b->op == "*" &&
            !b->isConst && b->type->kind == Type::Int) {
            emitValue(a);
            Expr* x = b->kids[0].get();
            Expr* y = b->kids[1].get();
            if (y->isConst) {
                emitAs(x, types_.intType());
                emitInt(op::LITERALINTMULADD, asInt(y->value.bits));
            } else {
                emitAs(x, types_.intType());
                emitAs(y, types_.intType());
                emit(op::INTMULADD);
            }
            return;
        }
        if (a->type->kind == Type::Array) {  // an array moved by elements
            pushAddress(emitLoc(a));
            binaryRest(op, e->type, b, e->type);
            return;
        }
        const Type* operand = operandType(op, a->type, b->type);
        emitAs(a, operand);
        binaryRest(op, a->type, b, e->type);
    }

    // The type both operands are brought to before the instruction.
    const Type* operandType(const std::string& op, const Type* a, const Type* b) {
        (void)op;
        if (isNumeric(a) && isNumeric(b))
            return a->kind == Type::Float || b->kind == Type::Float ? types_.floatType()
                                                                    : types_.intType();
        return a;
    }

    // With the left operand on the stack, already of the operand type (the
    // target of a compound assignment always is): pushes the right operand
    // and applies the operator.
    void binaryRest(const std::string& op, const Type* left, Expr* b, const Type* result) {
        const Type* operand = operandType(op, left, b->type);
        if (left->kind == Type::Vec3) {
            if (op == "+" || op == "-") {
                emitAs(b, types_.vec3Type());
                emit(op == "+" ? op::VECTOR_ADD : op::VECTOR_SUB);
            } else if (op == "*") {
                emitAs(b, types_.floatType());
                emit(op::VECTOR_MUL);
            } else {  // v / s
                literalFloat(floatBits(1.0f));
                emitAs(b, types_.floatType());
                emit(op::FLOATDIV);
                emit(op::VECTOR_MUL);
            }
            return;
        }
        if (left->kind == Type::Pointer && (op == "+" || op == "-")) {
            uint32_t size = left->elem->size;
            if (b->isConst) {
                int64_t k = static_cast<int64_t>(asInt(b->value.bits)) * size;
                emitInt(op::LITERALINTADD, op == "+" ? k : -k);
                return;
            }
            if (op == "+") {
                emitAs(b, types_.intType());
                if (size != 1)
                    emitInt(op::LITERALINTMULADD, size);
                else
                    emit(op::INTADD);
            } else {
                emitAs(b, types_.intType());
                if (size != 1) {
                    literalInt(size);
                    emit(op::INTMUL);
                }
                emit(op::INTSUB);
            }
            return;
        }
        (void)result;
        emitAs(b, operand);
        bool f = operand->kind == Type::Float;
        static const std::map<std::string, std::pair<uint8_t, uint8_t>> ops = {
            {"+", {op::INTADD, op::FLOATADD}},  {"-", {op::INTSUB, op::FLOATSUB}},
            {"*", {op::INTMUL, op::FLOATMUL}},  {"/", {op::INTDIV, op::FLOATDIV}},
            {"%", {op::INTMOD, op::INTMOD}},    {"&", {op::INTAND, op::INTAND}},
            {"|", {op::INTOR, op::INTOR}},      {"^", {op::INTXOR, op::INTXOR}},
            {"<<", {op::SHL, op::SHL}},         {">>", {op::SSHR, op::SSHR}},
            {">>>", {op::USHR, op::USHR}},      {"<", {op::INTLT, op::FLOATLT}},
            {"<=", {op::INTLTE, op::FLOATLTE}}, {">", {op::INTGT, op::FLOATGT}},
            {">=", {op::INTGTE, op::FLOATGTE}}, {"==", {op::INTEQ, op::FLOATEQ}},
            {"!=", {op::INTNEQ, op::FLOATNEQ}}};
        auto it = ops.find(op);
        emit(f ? it->second.second : it->second.first);
    }

    void emitCall(Expr* e) {
        const std::string& n = e->name;
        const Type* F = types_.floatType();
        const Type* V = types_.vec3Type();
        auto args = [&](const Type* t, size_t from, size_t to) {
            for (size_t i = from; i < to; ++i)
                emitAs(e->kids[i].get(), t);
        };
        if (n == "int" || n == "float" || n == "bool") {
            Expr* a = e->kids[0].get();
            emitValue(a);
            const Type* t = a->type;
            if (n == "int" && t->kind == Type::Float) emit(op::FTOI);
            if (n == "float" && isIntLike(t)) emit(op::ITOF);
            if (n == "bool" && t->kind == Type::Int) {
                literalInt(0);
                emit(op::INTNEQ);
            }
            if (n == "bool" && t->kind == Type::Float) {
                literalFloat(0);
                emit(op::FLOATNEQ);
            }
            return;
        }
        if (n == "vec3") return args(F, 0, 3);
        if (n == "dot" || n == "cross") {
            args(V, 0, 2);
            emit(n == "dot" ? op::VECTOR_DOT3 : op::VECTOR_CROSS);
            return;
        }
        if (n == "length" || n == "normalize") {
            args(V, 0, 1);
            emit(n == "length" ? op::VECTOR_MAG : op::VECTOR_NORM);
            return;
        }
        if (n == "lerp" || n == "catmullRom") {
            size_t points = n == "lerp" ? 2 : 4;
            args(e->type, 0, points);
            args(F, points, points + 1);
            bool vec = e->type->kind == Type::Vec3;
            emit(points == 2 ? (vec ? op::VECTOR3_INTERP2 : op::FLOAT_INTERP2)
                             : (vec ? op::VECTOR3_INTERP4 : op::FLOAT_INTERP4));
            return;
        }
        if (n == "transformNormal") {
            args(V, 1, 2);
            matrixAddress(e->kids[0].get());
            emit(op::NORMAL_TRANSFORM);
            return;
        }
        auto f = functions_.find(n);
        if (f != functions_.end()) {
            const Function& fn = *f->second;
            int result = static_cast<int>(fn.result->size);
            if (result > fn.paramWords) emitInt(op::PUSH_MULTIPLE, result - fn.paramWords);
            for (size_t i = 0; i < e->kids.size(); ++i)
                emitAs(e->kids[i].get(), fn.params[i]);
            emit(op::CALL, fn.label);
            return;
        }
        const NativeFn& fn = natives_.at(n)[e->bits];
        for (size_t i = 0; i < e->kids.size(); ++i)
            emitAs(e->kids[i].get(), fn.params[i]);
        emit(op::NATIVE, nativeLabel(fn, e->pos));
    }

    // ---- matrices -----------------------------------------------------------------

    // Pushes the address of a matrix, building it in a hidden local first
    // when it is not a variable.
    void matrixAddress(Expr* m) {
        if (isLvalue(m)) return pushAddress(emitLoc(m));
        int slot = allocateSlots(16, m->pos);
        emitInt(op::REFVAR, slot);
        matrixInto(m);
        emitInt(op::REFVAR, slot);
    }

    void vectorAddress(Expr* v) {
        if (isLvalue(v) && v->type->kind == Type::Vec3) return pushAddress(emitLoc(v));
        int slot = allocateSlots(3, v->pos);
        emitInt(op::REFVAR, slot);
        emitAs(v, types_.vec3Type());
        emitInt(op::ASSIGN_MULTIPLE, 3);
    }

    // With the destination address on the stack: writes matrix `m` there.
    void matrixInto(Expr* m) {
        if (isLvalue(m)) {
            pushAddress(emitLoc(m));
            emitInt(op::MEMCPY, 16);
            return;
        }
        const Type* F = types_.floatType();
        if (m->kind == Expr::Binary) {  // a * b
            matrixAddress(m->kids[0].get());
            matrixAddress(m->kids[1].get());
            emit(op::MATMUL);
            return;
        }
        const std::string& n = m->name;
        auto& k = m->kids;
        if (n == "identity") {
            emit(op::MATIDENTITY);
            return;
        }
        matrixAddress(k[0].get());
        if (n == "translate" || n == "scale" || n == "rotate") {
            size_t from = 1;
            if (n == "rotate") emitAs(k[from++].get(), F);
            if (k.size() == from + 1)
                emitAs(k[from].get(), types_.vec3Type());
            else
                for (size_t i = from; i < k.size(); ++i)
                    emitAs(k[i].get(), F);
            emit(n == "translate" ? op::MATTRANSLATE : n == "scale" ? op::MATSCALE : op::MATROTATE);
        } else if (n == "lookAt") {
            for (size_t i = 1; i < 4; ++i)
                vectorAddress(k[i].get());
            emit(op::MATLOOKAT);
        } else {  // billboard
            emitAs(k[1].get(), F);
            emit(op::MATBILLBOARD);
        }
    }

    // ---- locations --------------------------------------------------------------------

    Loc emitLoc(Expr* e) {
        switch (e->kind) {
            case Expr::Name: {
                if (const Local* l = findLocal(e->name)) return Loc{Loc::Frame, l->slot, "", 0};
                return Loc{Loc::Global, 0, globals_.at(e->name).label, 0};
            }
            case Expr::Field: {
                Loc loc = emitLoc(e->kids[0].get());
                loc.offset += e->bits;
                return loc;
            }
            case Expr::Arrow:
                emitValue(e->kids[0].get());
                return Loc{Loc::Dynamic, 0, "", e->bits};
            case Expr::Unary:  // *p
                emitValue(e->kids[0].get());
                return Loc{Loc::Dynamic, 0, "", 0};
            case Expr::Index: {
                Expr* base = e->kids[0].get();
                Expr* index = e->kids[1].get();
                uint32_t size = e->type->size;
                Loc loc;
                if (base->type->kind == Type::Pointer) {
                    emitValue(base);
                    loc = Loc{Loc::Dynamic, 0, "", 0};
                } else {
                    loc = emitLoc(base);
                }
                if (index->isConst) {
                    loc.offset += static_cast<int64_t>(asInt(index->value.bits)) * size;
                    return loc;
                }
                pushAddress(loc);
                emitAs(index, types_.intType());
                if (size == 1)
                    emit(op::INTADD);
                else
                    emitInt(op::LITERALINTMULADD, size);
                return Loc{Loc::Dynamic, 0, "", 0};
            }
            default:
                fail(e->pos, "cannot take the address of this expression");
        }
    }

    std::string globalOperand(const Loc& loc) const {
        if (loc.offset == 0) return loc.label;
        return loc.label + (loc.offset > 0 ? "+" : "") +
               std::to_string(static_cast<int32_t>(loc.offset));
    }

    void pushAddress(const Loc& loc) {
        switch (loc.kind) {
            case Loc::Frame:
                emitInt(op::REFVAR, loc.slot + loc.offset);
                return;
            case Loc::Global:
                emit(op::REF, globalOperand(loc));
                return;
            case Loc::Dynamic:
                if (loc.offset) emitInt(op::LITERALINTADD, loc.offset);
                return;
        }
    }

    void loadFrom(const Loc& loc, uint32_t size) {
        switch (loc.kind) {
            case Loc::Frame:
                if (size <= 3) {
                    for (uint32_t i = 0; i < size; ++i)
                        emitInt(op::COPYVAR, loc.slot + loc.offset + i);
                    return;
                }
                emitInt(op::REFVAR, loc.slot + loc.offset);
                break;
            case Loc::Global:
                emit(op::REF, globalOperand(loc));
                break;
            case Loc::Dynamic:
                if (size == 1 && loc.offset) {
                    emitInt(op::DEREF_OFFSET, loc.offset);
                    return;
                }
                if (loc.offset) emitInt(op::LITERALINTADD, loc.offset);
                break;
        }
        if (size == 1)
            emit(op::DEREF);
        else
            emitInt(op::DEREF_MULTIPLE, size);
    }

    // ---- output ------------------------------------------------------------------------

    static std::string quoteText(const std::string& s) { return "\"" + s + "\""; }

    static bool plainText(const std::string& s) {
        for (char c : s)
            if (c < 32 || c > 126 || c == '"' || c == '\\' || c == ';') return false;
        return true;
    }

    std::string text() {
        std::string out;
        out += "; compiled by vsc\n";
        out += ".heap " + std::to_string(std::max<uint32_t>(staticNext_, 1)) + "\n";
        for (const Static& s : statics_) {
            if (s.kind == Static::Native) {
                out += ".native " + s.label + " " + quoteText(s.text) + "\n";
            } else if (s.kind == Static::Text && plainText(s.text)) {
                out += ".string " + s.label + " " + quoteText(s.text) + "\n";
            } else if (s.kind == Static::Text) {
                out += ".word " + s.label;
                for (char c : s.text)
                    out += " " + std::to_string(static_cast<unsigned char>(c));
                out += " 0\n";
            } else {
                dataStatic(s, out);
            }
        }
        for (Function* f : functionOrder_)
            if (!f->exportSignature.empty())
                out += ".func " + quoteText(f->exportSignature) + " " + f->label + "\n";
        for (const Line& l : code_) {
            switch (l.kind) {
                case Line::Comment:
                    out += l.operand.empty() ? "\n" : "; " + l.operand + "\n";
                    break;
                case Line::Label:
                    out += l.operand + ":\n";
                    break;
                case Line::Ins:
                    out += "    ";
                    out += opcodeName(l.op);
                    if (!l.operand.empty()) out += " " + l.operand;
                    if (!l.note.empty()) out += " ; " + l.note;
                    out += "\n";
                    break;
            }
        }
        return out;
    }

    // A global as runs of words: zero runs as sized blocks, values listed,
    // each run a static of its own at the next address.
    void dataStatic(const Static& s, std::string& out) {
        uint32_t at = 0;
        int part = 0;
        auto name = [&]() {
            return part++ == 0 ? s.label : s.label + ".." + std::to_string(part - 1);
        };
        auto it = s.values.begin();
        while (at < s.words) {
            uint32_t nextValue = it == s.values.end() ? s.words : it->first;
            if (nextValue > at) {
                out += ".word " + name() + "[" + std::to_string(nextValue - at) + "]\n";
                at = nextValue;
                continue;
            }
            out += ".word " + name();
            while (it != s.values.end() && it->first == at) {
                out += " " + hex(it->second);
                ++it;
                ++at;
            }
            out += "\n";
        }
    }

    const std::vector<Decl*>& decls_;
    const std::vector<SourceFile>& files_;
    TypeTable types_;
    std::map<std::string, StructDef*> structs_;
    std::map<std::string, Decl*> structDecls_;
    std::map<std::string, GlobalVar> globals_;
    std::map<std::string, std::unique_ptr<Function>> functions_;
    std::vector<Function*> functionOrder_;
    std::map<std::string, std::vector<NativeFn>> natives_;
    std::map<std::string, std::pair<std::string, uint32_t>> strings_;
    std::map<std::string, std::string> nativeLabels_;
    std::set<std::string> usedNativeLabels_;
    std::vector<Static> statics_;
    uint32_t staticNext_ = 1;

    std::vector<std::vector<size_t>> lineStarts_;
    std::vector<Line> code_;
    int instructions_ = 0;
    int labels_ = 0;
    Function* current_ = nullptr;
    std::vector<std::map<std::string, Local>> scopes_;
    int slot_ = 0;
    int maxSlot_ = 0;
    int resultSlot_ = 0;
    std::vector<LoopLabels> loops_;
    Pos statementPos_;
};

}  // namespace

std::string generate(const std::vector<Decl*>& decls, const std::vector<SourceFile>& files,
                     std::map<std::string, std::pair<uint32_t, uint32_t>>& globals) {
    return Generator(decls, files).run(globals);
}

}  // namespace vsc
