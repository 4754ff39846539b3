// Strings written as JSON by the tools: the game record, a map's layout,
// the replay page and the tournament's files all quote through here.
#pragma once

#include <string>

// `text` as a JSON string, quotes included: '"' and '\' escaped, control
// characters written \u00XX (lower-case hex), every other byte as it is.
std::string json_quote(const std::string &text);

// The same with '<', '>' and '&' also written \u00XX, so that the string
// can sit inside an HTML <script> element: no "</script>" can appear.
std::string json_quote_for_script(const std::string &text);
