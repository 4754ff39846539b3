// The tools' JSON reader: values parsed into a tree, with limits on nesting
// and a message that names the line of the first error; for files taken
// from users (a map's layout) and files the tools wrote themselves.
#pragma once

#include <cstddef>
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

    // For readers that take what is there and treat anything missing as
    // null: the field of that name (the first one) or the item at that
    // place, a null value when there is none or this is no object or array.
    const JsonValue &operator[](const std::string &name) const;
    const JsonValue &operator[](size_t index) const;
    // The number cut toward zero and held within the range of int; 0 for
    // a value that is not a number.
    int integer() const;
};

struct JsonField {
    std::string name;
    JsonValue value;
};

// Nesting deeper than this is refused.
constexpr int JSON_MAX_DEPTH = 32;

// What the strings of a text may hold besides escapes and printable ASCII:
// valid UTF-8 only, or any byte but a control character, for files the
// tools wrote from text that nobody checked (a line of a bot's log cut
// short, a command line).
enum class JsonStrings { UTF8, ANY_BYTES };

// Parses one JSON value that fills the whole text (blanks around it
// allowed).  Returns false with "line N: what is wrong" in *error (when
// `error` is not null).
bool json_parse(const std::string &text, JsonValue *out, std::string *error,
                JsonStrings strings = JsonStrings::UTF8);
