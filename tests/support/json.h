// A small JSON reader for tests that check the game record: objects,
// arrays, strings (with simple escapes), numbers, true, false and null.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace json {

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
    bool has(const std::string &name) const { return fields.count(name) != 0; }
    int integer() const { return static_cast<int>(number); }
};

// Parses one JSON value that fills the whole text (blanks around it
// allowed).  Returns false on any error.
bool parse(const std::string &text, Value *out);

}  // namespace json
