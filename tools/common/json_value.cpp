// A recursive-descent JSON reader that checks everything it reads.
#include "tools/common/json_value.h"

#include <climits>
#include <cmath>
#include <cstdlib>
#include <utility>

namespace {

const JsonValue NULL_VALUE;

struct Reader {
    const std::string &text;
    bool any_bytes = false;  // strings need not be UTF-8
    size_t at = 0;
    std::string problem;

    bool fail(const std::string &what) {
        if (problem.empty()) {
            size_t line = 1;
            for (size_t i = 0; i < at && i < text.size(); i++) line += text[i] == '\n';
            problem = "line " + std::to_string(line) + ": " + what;
        }
        return false;
    }
    void blanks() {
        while (at < text.size() && (text[at] == ' ' || text[at] == '\n' || text[at] == '\t' || text[at] == '\r'))
            at++;
    }
    bool next_is(char c) {
        blanks();
        return at < text.size() && text[at] == c;
    }
    bool word(const char *expected) {
        std::string w(expected);
        if (text.compare(at, w.size(), w) != 0) return fail("unexpected text");
        at += w.size();
        return true;
    }

    static void append_utf8(std::string *out, unsigned code) {
        if (code < 0x80) {
            *out += static_cast<char>(code);
        } else if (code < 0x800) {
            *out += static_cast<char>(0xC0 | (code >> 6));
            *out += static_cast<char>(0x80 | (code & 0x3F));
        } else if (code < 0x10000) {
            *out += static_cast<char>(0xE0 | (code >> 12));
            *out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            *out += static_cast<char>(0x80 | (code & 0x3F));
        } else {
            *out += static_cast<char>(0xF0 | (code >> 18));
            *out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
            *out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            *out += static_cast<char>(0x80 | (code & 0x3F));
        }
    }
    bool hex4(unsigned *code) {
        if (at + 4 > text.size()) return fail("unfinished \\u escape");
        *code = 0;
        for (int i = 0; i < 4; i++) {
            char c = text[at++];
            int digit = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10
                      : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
            if (digit < 0) return fail("bad \\u escape");
            *code = *code * 16 + static_cast<unsigned>(digit);
        }
        return true;
    }
    bool escape(std::string *out) {
        if (at >= text.size()) return fail("unfinished string");
        char e = text[at++];
        switch (e) {
        case '"': case '\\': case '/': *out += e; return true;
        case 'b': *out += '\b'; return true;
        case 'f': *out += '\f'; return true;
        case 'n': *out += '\n'; return true;
        case 'r': *out += '\r'; return true;
        case 't': *out += '\t'; return true;
        case 'u': break;
        default: return fail("bad escape in a string");
        }
        unsigned code = 0;
        if (!hex4(&code)) return false;
        if (code >= 0xDC00 && code < 0xE000) return fail("bad \\u escape");
        if (code >= 0xD800 && code < 0xDC00) {
            unsigned low = 0;
            if (text.compare(at, 2, "\\u") != 0) return fail("bad \\u escape");
            at += 2;
            if (!hex4(&low) || low < 0xDC00 || low >= 0xE000) return fail("bad \\u escape");
            code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
        }
        append_utf8(out, code);
        return true;
    }
    // One UTF-8 sequence starting at `at`, copied whole; false when it is
    // not a valid one (overlong forms and surrogates included).
    bool utf8(std::string *out) {
        auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
        unsigned char lead = byte(at);
        size_t extra = 0;
        if (lead >= 0xC2 && lead <= 0xDF) extra = 1;
        else if (lead >= 0xE0 && lead <= 0xEF) extra = 2;
        else if (lead >= 0xF0 && lead <= 0xF4) extra = 3;
        else return fail("a string that is not UTF-8");
        if (at + extra >= text.size()) return fail("a string that is not UTF-8");
        unsigned code = lead & (0x7F >> (extra + 1));
        for (size_t i = 1; i <= extra; i++) {
            if ((byte(at + i) & 0xC0) != 0x80) return fail("a string that is not UTF-8");
            code = (code << 6) | (byte(at + i) & 0x3F);
        }
        bool shortest = extra == 1 || (extra == 2 && code >= 0x800) || (extra == 3 && code >= 0x10000);
        if (!shortest || code > 0x10FFFF || (code >= 0xD800 && code < 0xE000))
            return fail("a string that is not UTF-8");
        out->append(text, at, extra + 1);
        at += extra + 1;
        return true;
    }
    bool string(std::string *out) {
        at++;  // the opening quote
        for (;;) {
            if (at >= text.size()) return fail("unfinished string");
            unsigned char c = static_cast<unsigned char>(text[at]);
            if (c == '"') {
                at++;
                return true;
            }
            if (c < 0x20) return fail("a control character in a string");
            if (c == '\\') {
                at++;
                if (!escape(out)) return false;
            } else if (c >= 0x80 && !any_bytes) {
                if (!utf8(out)) return false;
            } else {
                *out += static_cast<char>(c);
                at++;
            }
        }
    }
    bool number(double *out) {
        size_t start = at;
        if (at < text.size() && text[at] == '-') at++;
        auto digits = [&]() {
            size_t from = at;
            while (at < text.size() && text[at] >= '0' && text[at] <= '9') at++;
            return at > from;
        };
        if (!digits()) return fail("expected a value");
        if (at < text.size() && text[at] == '.' && (at++, !digits())) return fail("bad number");
        if (at < text.size() && (text[at] == 'e' || text[at] == 'E')) {
            at++;
            if (at < text.size() && (text[at] == '+' || text[at] == '-')) at++;
            if (!digits()) return fail("bad number");
        }
        *out = std::strtod(text.substr(start, at - start).c_str(), nullptr);
        if (!std::isfinite(*out)) return fail("number out of range");
        return true;
    }
    bool array(JsonValue *out, int depth) {
        at++;
        out->kind = JsonValue::Kind::ARRAY;
        if (next_is(']')) return ++at, true;
        for (;;) {
            out->items.emplace_back();
            if (!value(&out->items.back(), depth + 1)) return false;
            if (next_is(',')) {
                at++;
                continue;
            }
            if (next_is(']')) return ++at, true;
            return fail("expected ',' or ']'");
        }
    }
    bool object(JsonValue *out, int depth) {
        at++;
        out->kind = JsonValue::Kind::OBJECT;
        if (next_is('}')) return ++at, true;
        for (;;) {
            if (!next_is('"')) return fail("expected a field name");
            std::string name;
            if (!string(&name)) return false;
            if (!next_is(':')) return fail("expected ':'");
            at++;
            out->fields.push_back({std::move(name), JsonValue{}});
            if (!value(&out->fields.back().value, depth + 1)) return false;
            if (next_is(',')) {
                at++;
                continue;
            }
            if (next_is('}')) return ++at, true;
            return fail("expected ',' or '}'");
        }
    }
    bool value(JsonValue *out, int depth) {
        if (depth > JSON_MAX_DEPTH) return fail("nested too deeply");
        blanks();
        if (at >= text.size()) return fail("unexpected end of the file");
        char c = text[at];
        if (c == '{') return object(out, depth);
        if (c == '[') return array(out, depth);
        if (c == '"') {
            out->kind = JsonValue::Kind::STRING;
            return string(&out->text);
        }
        if (c == 't' || c == 'f') {
            out->kind = JsonValue::Kind::BOOLEAN;
            out->boolean = c == 't';
            return word(c == 't' ? "true" : "false");
        }
        if (c == 'n') {
            out->kind = JsonValue::Kind::NUL;
            return word("null");
        }
        out->kind = JsonValue::Kind::NUMBER;
        return number(&out->number);
    }
};

}  // namespace

const JsonValue *JsonValue::field(const std::string &name) const {
    for (const auto &[key, value] : fields)
        if (key == name) return &value;
    return nullptr;
}

const JsonValue &JsonValue::operator[](const std::string &name) const {
    const JsonValue *found = field(name);
    return found ? *found : NULL_VALUE;
}

const JsonValue &JsonValue::operator[](size_t index) const {
    return index < items.size() ? items[index] : NULL_VALUE;
}

int JsonValue::integer() const {
    if (kind != Kind::NUMBER) return 0;
    if (number >= INT_MAX) return INT_MAX;
    if (number <= INT_MIN) return INT_MIN;
    return static_cast<int>(number);
}

bool json_parse(const std::string &text, JsonValue *out, std::string *error, JsonStrings strings) {
    Reader reader{text, strings == JsonStrings::ANY_BYTES, 0, ""};
    *out = JsonValue{};
    bool ok = reader.value(out, 0);
    if (ok) {
        reader.blanks();
        if (reader.at != text.size()) ok = reader.fail("text after the value");
    }
    if (!ok && error) *error = reader.problem;
    return ok;
}
