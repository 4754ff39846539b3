// The little JSON the tournament needs: a reader for the game record's
// lines and for its own files, and quoting for the files it writes.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace tjson {  // the tournament's JSON, apart from the readers of other programs

struct Value {
    enum Kind { NUL, BOOL, NUMBER, STRING, ARRAY, OBJECT } kind = NUL;
    bool boolean = false;
    double number = 0;
    std::string text;
    std::vector<Value> items;
    std::map<std::string, Value> fields;

    // A field or an item; a null value when there is none.
    const Value &operator[](const std::string &name) const;
    const Value &operator[](size_t index) const;
    bool is_true() const { return kind == BOOL && boolean; }
    bool is_number() const { return kind == NUMBER; }
};

// Parses one JSON value that fills the whole text (blanks around it
// allowed).  Returns false on any error, including nesting deeper than 64.
bool parse(const std::string &text, Value *out);

// `text` as a JSON string, quotes included; control characters escaped.
std::string quote(const std::string &text);

}  // namespace tjson
