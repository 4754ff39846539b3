// Strings written as JSON by the tools: the game record, a map's layout
// and the tournament's files all quote through this one function.
#pragma once

#include <string>

// `text` as a JSON string, quotes included: '"' and '\' escaped, control
// characters written \u00XX (lower-case hex), every other byte as it is.
std::string json_quote(const std::string &text);
