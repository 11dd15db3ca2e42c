// The text forms of a value: quoted strings, source text, the JSON layout that
// settings files are written in, and the debugging dump.
#include <cstdio>
#include <ostream>

#include "js/value.h"

namespace {

// Nesting deeper than this is written as "undefined" (JSON) or not descended
// into (dump): a structure that contains itself must not recurse forever.
constexpr int kMaxTextDepth = 200;
// A graph that shares one value many times could expand without end; the text
// stops growing at the limit's size (CJsLimits::textBytes).

void writeJsonAt(const CJsValue* value, std::string& out, const std::string& prefix, int depth) {
    const size_t maxBytes = jsLimits().textBytes;
    if (depth > kMaxTextDepth || out.size() > maxBytes) {
        out += "undefined";
        return;
    }
    std::string inner = prefix + "  ";
    if (value->isObject()) {
        out += "{ \n";
        for (CJsBinding* child = value->firstChild; child; child = child->next) {
            out += inner;
            out += quoteJsString(child->name);
            out += " : ";
            writeJsonAt(child->value, out, inner, depth + 1);
            if (child->next) out += ",\n";
            if (out.size() > maxBytes) break;
        }
        out += "\n" + prefix + "}";
    } else if (value->isArray()) {
        out += "[\n";
        int length = value->arrayLength();
        if (length > 10000) length = 10000;
        for (int i = 0; i < length; i++) {
            writeJsonAt(value->arrayItem(i).get(), out, inner, depth + 1);
            if (i < length - 1) out += ",\n";
            if (out.size() > maxBytes) break;
        }
        out += "\n" + prefix + "]";
    } else if (value->isNative()) {
        // A native has no source text; what sourceText gives ("function (a) "
        // with no body) would make the whole written text unreadable.
        out += "undefined";
    } else {
        out += value->sourceText();
    }
}

const char* const kTypeNames[] = {"FUNCTION ", "OBJECT ",  "ARRAY ", "NATIVE ",
                                  "DOUBLE ",   "INTEGER ", "STRING "};
const uint8_t kTypeBits[] = {CJsValue::FUNCTION, CJsValue::OBJECT, CJsValue::ARRAY,
                             CJsValue::NATIVE,   CJsValue::DOUBLE, CJsValue::INTEGER,
                             CJsValue::STRING};

void dumpAt(const CJsValue* value, std::string& out, const std::string& indent,
            const std::string& name, int depth) {
    const size_t maxBytes = jsLimits().textBytes;
    out += indent + "'" + name + "' = '" + value->asString() + "' ";
    for (size_t i = 0; i < sizeof kTypeBits; i++) {
        if (value->flags & kTypeBits[i]) out += kTypeNames[i];
    }
    out += "\n";
    if (depth >= kMaxTextDepth) return;
    for (CJsBinding* child = value->firstChild; child; child = child->next) {
        if (out.size() > maxBytes) return;
        dumpAt(child->value, out, indent + " ", child->name, depth + 1);
    }
}

}  // namespace

std::string quoteJsString(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        unsigned char byte = static_cast<unsigned char>(c);
        switch (byte) {
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\a':
                out += "\\a";
                break;
            case '"':
                out += "\\\"";
                break;
            default:
                if (byte < 32 || byte > 127) {
                    char escape[8];
                    std::snprintf(escape, sizeof escape, "\\x%02X", byte);
                    out += escape;
                } else {
                    out += c;
                }
        }
    }
    return out + "\"";
}

std::string CJsValue::sourceText() const {
    if (isNumeric()) return asString();
    if (isFunction()) {
        std::string out = "function (";
        for (CJsBinding* child = firstChild; child; child = child->next) {
            out += child->name;
            if (child->next) out += ",";
        }
        return out + ") " + text;
    }
    if (isString()) return quoteJsString(text);
    return "undefined";
}

void CJsValue::writeJson(std::string& out, const std::string& prefix) const {
    writeJsonAt(this, out, prefix, 0);
}

void CJsValue::writeJson(std::ostream& stream, const std::string& prefix) const {
    stream << writeJson(prefix);
}

std::string CJsValue::writeJson(const std::string& prefix) const {
    std::string out;
    writeJsonAt(this, out, prefix, 0);
    return out;
}

void CJsValue::dumpTree(std::string& out, const std::string& indent,
                        const std::string& name) const {
    dumpAt(this, out, indent, name, 0);
}
