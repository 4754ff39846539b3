// A recursive-descent JSON reader and string quoting.  Input comes from
// files other programs wrote, so every step checks the end of the text.
#include "tools/tournament/json.h"

#include <cstdio>
#include <cstdlib>

namespace tjson {

namespace {

const Value null_value;
constexpr int MAX_DEPTH = 64;

struct Reader {
    const std::string &text;
    size_t at = 0;

    void blanks() {
        while (at < text.size() && (text[at] == ' ' || text[at] == '\n' || text[at] == '\t' || text[at] == '\r'))
            at++;
    }
    bool take(char c) {
        blanks();
        if (at >= text.size() || text[at] != c) return false;
        at++;
        return true;
    }
    bool word(const char *expected) {
        std::string w(expected);
        if (text.compare(at, w.size(), w) != 0) return false;
        at += w.size();
        return true;
    }
    static void put_utf8(unsigned code, std::string *out) {
        if (code < 0x80) {
            *out += static_cast<char>(code);
        } else if (code < 0x800) {
            *out += static_cast<char>(0xC0 | (code >> 6));
            *out += static_cast<char>(0x80 | (code & 0x3F));
        } else {
            *out += static_cast<char>(0xE0 | (code >> 12));
            *out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            *out += static_cast<char>(0x80 | (code & 0x3F));
        }
    }
    bool hex4(unsigned *code) {
        if (at + 4 > text.size()) return false;
        *code = 0;
        for (int i = 0; i < 4; i++) {
            char c = text[at++];
            unsigned digit = c >= '0' && c <= '9'   ? static_cast<unsigned>(c - '0')
                             : c >= 'a' && c <= 'f' ? static_cast<unsigned>(c - 'a' + 10)
                             : c >= 'A' && c <= 'F' ? static_cast<unsigned>(c - 'A' + 10)
                                                    : 16u;
            if (digit > 15) return false;
            *code = *code * 16 + digit;
        }
        return true;
    }
    bool string(std::string *out) {
        if (!take('"')) return false;
        while (at < text.size() && text[at] != '"') {
            char c = text[at++];
            if (c != '\\') {
                *out += c;
                continue;
            }
            if (at >= text.size()) return false;
            char escape = text[at++];
            switch (escape) {
            case 'n': *out += '\n'; break;
            case 't': *out += '\t'; break;
            case 'r': *out += '\r'; break;
            case 'b': *out += '\b'; break;
            case 'f': *out += '\f'; break;
            case 'u': {
                unsigned code = 0;
                if (!hex4(&code)) return false;
                put_utf8(code, out);  // a lone surrogate half stays as it is
                break;
            }
            default: *out += escape;
            }
        }
        if (at >= text.size()) return false;
        at++;
        return true;
    }
    bool value(Value *out, int depth) {
        if (depth > MAX_DEPTH) return false;
        blanks();
        if (at >= text.size()) return false;
        char c = text[at];
        if (c == '{') return object(out, depth);
        if (c == '[') return array(out, depth);
        if (c == '"') {
            out->kind = Value::STRING;
            return string(&out->text);
        }
        if (word("true")) {
            out->kind = Value::BOOL;
            out->boolean = true;
            return true;
        }
        if (word("false")) {
            out->kind = Value::BOOL;
            return true;
        }
        if (word("null")) return true;
        if (c != '-' && (c < '0' || c > '9')) return false;
        const char *start = text.c_str() + at;
        char *end = nullptr;
        out->number = std::strtod(start, &end);
        if (end == start) return false;
        at += static_cast<size_t>(end - start);
        out->kind = Value::NUMBER;
        return true;
    }
    bool array(Value *out, int depth) {
        out->kind = Value::ARRAY;
        take('[');
        if (take(']')) return true;
        do {
            out->items.emplace_back();
            if (!value(&out->items.back(), depth + 1)) return false;
        } while (take(','));
        return take(']');
    }
    bool object(Value *out, int depth) {
        out->kind = Value::OBJECT;
        take('{');
        if (take('}')) return true;
        do {
            std::string name;
            blanks();
            if (!string(&name) || !take(':') || !value(&out->fields[name], depth + 1)) return false;
        } while (take(','));
        return take('}');
    }
};

}  // namespace

const Value &Value::operator[](const std::string &name) const {
    auto found = fields.find(name);
    return found == fields.end() ? null_value : found->second;
}

const Value &Value::operator[](size_t index) const { return index < items.size() ? items[index] : null_value; }

bool parse(const std::string &text, Value *out) {
    Reader reader{text};
    *out = Value{};
    if (!reader.value(out, 0)) return false;
    reader.blanks();
    return reader.at == text.size();
}

std::string quote(const std::string &text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
            out += escaped;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

}  // namespace tjson
