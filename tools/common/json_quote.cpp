// Quoting a string for JSON.
#include "tools/common/json_quote.h"

#include <cstring>

namespace {

// Escapes '"' and '\' with a backslash, and control characters and the
// bytes of `also` as \u00XX.
std::string quote(const std::string &text, const char *also) {
    static const char HEX[] = "0123456789abcdef";
    std::string out = "\"";
    for (char c : text) {
        unsigned char byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (byte < 0x20 || std::strchr(also, c)) {  // a NUL never reaches strchr
            out += "\\u00";
            out += HEX[byte >> 4];
            out += HEX[byte & 0xF];
        } else {
            out += c;
        }
    }
    return out + "\"";
}

}  // namespace

std::string json_quote(const std::string &text) { return quote(text, ""); }

std::string json_quote_for_script(const std::string &text) { return quote(text, "<>&"); }
