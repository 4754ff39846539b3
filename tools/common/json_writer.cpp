// The JSON writer: a comma before every value but the first of its object
// or array, none after a key.
#include "tools/common/json_writer.h"

#include "tools/common/json_quote.h"

void JsonWriter::before_value() {
    if (after_key_) {
        after_key_ = false;
        return;
    }
    if (first_.empty()) return;
    if (!first_.back()) text_ += ',';
    first_.back() = false;
}

std::string JsonWriter::quoted(const std::string &value) const {
    return quoting_ == Quoting::FOR_SCRIPT ? json_quote_for_script(value) : json_quote(value);
}

JsonWriter &JsonWriter::begin_object() {
    before_value();
    text_ += '{';
    first_.push_back(true);
    return *this;
}

JsonWriter &JsonWriter::end_object() {
    text_ += '}';
    if (!first_.empty()) first_.pop_back();
    return *this;
}

JsonWriter &JsonWriter::begin_array() {
    before_value();
    text_ += '[';
    first_.push_back(true);
    return *this;
}

JsonWriter &JsonWriter::end_array() {
    text_ += ']';
    if (!first_.empty()) first_.pop_back();
    return *this;
}

JsonWriter &JsonWriter::key(const std::string &name) {
    before_value();
    text_ += quoted(name);
    text_ += ':';
    after_key_ = true;
    return *this;
}

JsonWriter &JsonWriter::string(const std::string &value) {
    before_value();
    text_ += quoted(value);
    return *this;
}

JsonWriter &JsonWriter::number(int64_t value) {
    before_value();
    text_ += std::to_string(value);
    return *this;
}

JsonWriter &JsonWriter::boolean(bool value) {
    before_value();
    text_ += value ? "true" : "false";
    return *this;
}

JsonWriter &JsonWriter::null() {
    before_value();
    text_ += "null";
    return *this;
}

JsonWriter &JsonWriter::raw(const std::string &json) {
    before_value();
    text_ += json;
    return *this;
}
