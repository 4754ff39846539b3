// Writing JSON: objects and arrays built up value by value, with the
// commas and quoting done here, so that no writer of the tools' files
// concatenates JSON by hand.
//
//   JsonWriter out;
//   out.begin_object();
//   out.key("year").number(1901);
//   out.key("units").begin_array();
//   out.string("A STA");
//   out.end_array();
//   out.end_object();
//   out.text();  // {"year":1901,"units":["A STA"]}
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class JsonWriter {
  public:
    // Strings quoted by json_quote, or by json_quote_for_script for text
    // that goes inside an HTML <script> element.
    enum class Quoting { PLAIN, FOR_SCRIPT };
    explicit JsonWriter(Quoting quoting = Quoting::PLAIN) : quoting_(quoting) {}

    JsonWriter &begin_object();
    JsonWriter &end_object();
    JsonWriter &begin_array();
    JsonWriter &end_array();
    // The name of the next value in an object.
    JsonWriter &key(const std::string &name);

    JsonWriter &string(const std::string &value);
    JsonWriter &number(int64_t value);
    JsonWriter &boolean(bool value);
    JsonWriter &null();
    // A value written elsewhere as JSON, taken as it is.
    JsonWriter &raw(const std::string &json);

    // What has been written; whole once every object and array is closed.
    const std::string &text() const { return text_; }

  private:
    void before_value();
    std::string quoted(const std::string &value) const;

    Quoting quoting_;
    std::string text_;
    std::vector<bool> first_;  // per open object or array: nothing written in it yet
    bool after_key_ = false;
};
