// Names for generated maps: pronounceable province and power names made
// of syllables, three-letter province abbreviations unique on the map, and
// a fixed colour per power.
#include <cctype>
#include <set>

#include "model.h"
#include "tools/board/board.h"

namespace mapgen {

namespace {

constexpr const char *ONSETS[] = {"b", "br", "c",  "d", "dr", "f", "g", "gr", "h",  "k", "l",
                                  "m", "n",  "p",  "r", "s",  "sk", "st", "t", "th", "v", "z"};
constexpr const char *VOWELS[] = {"a", "e", "i", "o", "u", "a", "e", "o", "ae", "ia", "ou"};
constexpr const char *CODAS[] = {"", "", "", "n", "r", "s", "l", "th", "nd", "rk", "m", "sk"};
constexpr const char *POWER_ENDINGS[] = {"ia", "and", "ar", "esh", "ium", "ora"};

template <typename T, size_t N>
const char *pick(Random &random, T (&items)[N]) {
    return items[random.below(static_cast<uint32_t>(N))];
}

std::string make_word(Random &random, int syllables) {
    std::string word;
    for (int s = 0; s < syllables; s++) {
        word += pick(random, ONSETS);
        word += pick(random, VOWELS);
        if (s + 1 == syllables || random.one_in(3)) word += pick(random, CODAS);
    }
    word[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(word[0])));
    return word;
}

std::string upper(const std::string &text) {
    std::string out;
    for (char c : text) out += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

// The first letter and two later letters of the name, earliest pair first,
// that no other province has taken; "" if every choice is taken.
std::string free_abbreviation(const std::string &name, const std::set<std::string> &taken) {
    std::string letters = upper(name);
    for (size_t i = 1; i < letters.size(); i++)
        for (size_t j = i + 1; j < letters.size(); j++) {
            std::string candidate{letters[0], letters[i], letters[j]};
            if (!taken.count(candidate)) return candidate;
        }
    return "";
}

}  // namespace

std::vector<ProvinceName> province_names(Random &random, int count) {
    std::vector<ProvinceName> names;
    std::set<std::string> taken_names, taken_abbreviations;
    while (static_cast<int>(names.size()) < count) {
        std::string name = make_word(random, 2 + (random.one_in(3) ? 1 : 0));
        if (taken_names.count(name)) continue;
        std::string abbreviation = free_abbreviation(name, taken_abbreviations);
        if (abbreviation.empty()) continue;
        taken_names.insert(name);
        taken_abbreviations.insert(abbreviation);
        names.push_back({name, abbreviation});
    }
    return names;
}

std::vector<std::string> power_names(Random &random, int count) {
    std::vector<std::string> names;
    std::set<std::string> taken;
    while (static_cast<int>(names.size()) < count) {
        std::string name = make_word(random, 2);
        while (!name.empty() && std::string("aeiou").find(name.back()) != std::string::npos) name.pop_back();
        name += pick(random, POWER_ENDINGS);
        if (taken.insert(name).second) names.push_back(name);
    }
    return names;
}

// The board's palette, so that every power of a map is drawn in a colour
// that stays apart from the others, the sea and the red of failures.
std::string power_colour(int power) { return board_power_colour(power); }

}  // namespace mapgen
