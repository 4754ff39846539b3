// A JSON reader for files the tools take from users (a map's layout):
// values parsed into a tree, with limits on nesting and a message that
// names the line of the first error.
#pragma once

#include <string>
#include <vector>

struct JsonField;

struct JsonValue {
    enum class Kind { NUL, BOOLEAN, NUMBER, STRING, ARRAY, OBJECT };
    Kind kind = Kind::NUL;
    bool boolean = false;
    double number = 0;
    std::string text;                                    // a string, UTF-8
    std::vector<JsonValue> items;                        // an array
    std::vector<JsonField> fields;                       // an object, in file order

    // The field of that name (the first one), or null when there is none.
    const JsonValue *field(const std::string &name) const;
};

struct JsonField {
    std::string name;
    JsonValue value;
};

// Nesting deeper than this is refused.
constexpr int JSON_MAX_DEPTH = 32;

// Parses one JSON value that fills the whole text (blanks around it
// allowed).  Strings must be valid UTF-8.  Returns false with "line N:
// what is wrong" in *error.
bool json_parse(const std::string &text, JsonValue *out, std::string *error);
