// Quoting a string for JSON.
#include "tools/common/json_quote.h"

std::string json_quote(const std::string &text) {
    static const char HEX[] = "0123456789abcdef";
    std::string out = "\"";
    for (char c : text) {
        unsigned char byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (byte < 0x20) {
            out += "\\u00";
            out += HEX[byte >> 4];
            out += HEX[byte & 0xF];
        } else {
            out += c;
        }
    }
    return out + "\"";
}
