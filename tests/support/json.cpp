// A recursive-descent JSON reader, enough for the game record.
#include "json.h"

#include <cstdlib>

namespace json {

namespace {

const Value null_value;

struct Reader {
    const std::string &text;
    size_t at = 0;

    void blanks() {
        while (at < text.size() && (text[at] == ' ' || text[at] == '\n' || text[at] == '\t' || text[at] == '\r')) at++;
    }
    bool take(char c) {
        blanks();
        if (at < text.size() && text[at] == c) {
            at++;
            return true;
        }
        return false;
    }
    bool word(const char *expected) {
        std::string w(expected);
        if (text.compare(at, w.size(), w) != 0) return false;
        at += w.size();
        return true;
    }
    bool string(std::string *out) {
        if (!take('"')) return false;
        while (at < text.size() && text[at] != '"') {
            char c = text[at++];
            if (c == '\\') {
                if (at >= text.size()) return false;
                char e = text[at++];
                c = e == 'n' ? '\n' : e == 't' ? '\t' : e;
            }
            *out += c;
        }
        return take('"');
    }
    bool value(Value *out, int depth) {
        if (depth > 64) return false;
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

}  // namespace json
