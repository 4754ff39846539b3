// Reading a layout back from its JSON text (a map folder given to the
// game server): every field checked, names and counts kept within limits
// that a drawing can hold.
#include <cctype>
#include <cmath>
#include <string>

#include "tools/board/layout.h"
#include "tools/common/json_value.h"

namespace {

constexpr double MAX_SIZE = 100000;        // width and height
constexpr double MAX_COORDINATE = 1000000; // any point, either sign
constexpr size_t MAX_NAME = 64;            // bytes of a name
constexpr size_t MAX_ABBREVIATION = 8;
constexpr size_t MAX_COASTS = 4;
constexpr size_t MAX_LOOPS = 64;           // outline loops of a province
constexpr size_t MAX_POINTS = 2000000;     // outline points of the whole layout

using Kind = JsonValue::Kind;

struct Checker {
    std::string *error;
    size_t points = 0;

    bool fail(const std::string &where, const std::string &what) {
        *error = where + ": " + what;
        return false;
    }
    const JsonValue *need(const JsonValue &object, const std::string &where, const char *name, Kind kind,
                          const char *expected) {
        const JsonValue *value = object.field(name);
        if (!value) {
            fail(where + name, "missing");
            return nullptr;
        }
        if (value->kind != kind) {
            fail(where + name, std::string("expected ") + expected);
            return nullptr;
        }
        return value;
    }
    bool whole(const JsonValue &value, double lo, double hi, int32_t *out) {
        if (value.kind != Kind::NUMBER || value.number != std::floor(value.number) || value.number < lo ||
            value.number > hi)
            return false;
        *out = static_cast<int32_t>(value.number);
        return true;
    }
    bool integer(const JsonValue &object, const std::string &where, const char *name, double lo, double hi,
                 int32_t *out) {
        const JsonValue *value = need(object, where, name, Kind::NUMBER, "a number");
        if (!value) return false;
        if (!whole(*value, lo, hi, out))
            return fail(where + name, "must be a whole number from " + std::to_string(static_cast<long>(lo)) +
                                          " to " + std::to_string(static_cast<long>(hi)));
        return true;
    }
    bool name(const JsonValue &object, const std::string &where, const char *field, size_t longest,
              std::string *out) {
        const JsonValue *value = need(object, where, field, Kind::STRING, "a string");
        if (!value) return false;
        if (value->text.empty() || value->text.size() > longest)
            return fail(where + field, "must be 1 to " + std::to_string(longest) + " bytes long");
        for (char c : value->text)
            if (static_cast<unsigned char>(c) < 0x20) return fail(where + field, "holds a control character");
        *out = value->text;
        return true;
    }
    bool point(const JsonValue &value, const std::string &where, LayoutPoint *out) {
        if (value.kind != Kind::ARRAY || value.items.size() != 2 ||
            !whole(value.items[0], -MAX_COORDINATE, MAX_COORDINATE, &out->x) ||
            !whole(value.items[1], -MAX_COORDINATE, MAX_COORDINATE, &out->y))
            return fail(where, "expected [x, y], whole numbers within 1000000 of 0");
        return true;
    }
    bool point_field(const JsonValue &object, const std::string &where, const char *field, LayoutPoint *out) {
        const JsonValue *value = object.field(field);
        if (!value) return fail(where + field, "missing");
        return point(*value, where + field, out);
    }

    bool colour(const std::string &text) {
        if (text.size() != 7 || text[0] != '#') return false;
        for (size_t i = 1; i < 7; i++)
            if (!std::isxdigit(static_cast<unsigned char>(text[i]))) return false;
        return true;
    }
    bool power(const JsonValue &value, size_t index, LayoutPower *out) {
        std::string where = "powers[" + std::to_string(index) + "]";
        if (value.kind != Kind::OBJECT) return fail(where, "expected an object");
        if (!name(value, where + ".", "name", MAX_NAME, &out->name)) return false;
        const JsonValue *colour_value = need(value, where + ".", "colour", Kind::STRING, "a string");
        if (!colour_value) return false;
        if (!colour(colour_value->text)) return fail(where + ".colour", "expected a colour written #rrggbb");
        out->colour = colour_value->text;
        return true;
    }

    bool terrain(const JsonValue &object, const std::string &where, uint16_t *out) {
        const JsonValue *value = need(object, where, "terrain", Kind::STRING, "a string");
        if (!value) return false;
        if (value->text == "inland") *out = TERRAIN_LAND;
        else if (value->text == "sea") *out = TERRAIN_WATER;
        else if (value->text == "coastal") *out = TERRAIN_LAND | TERRAIN_WATER;
        else return fail(where + "terrain", "must be \"inland\", \"sea\" or \"coastal\"");
        return true;
    }
    bool coasts(const JsonValue &object, const std::string &where, LayoutProvince *out) {
        const JsonValue *list = need(object, where, "coasts", Kind::ARRAY, "an array");
        if (!list) return false;
        if (list->items.size() > MAX_COASTS) return fail(where + "coasts", "more than 4 coasts");
        for (size_t c = 0; c < list->items.size(); c++) {
            const JsonValue &item = list->items[c];
            std::string at = where + "coasts[" + std::to_string(c) + "]";
            if (item.kind != Kind::OBJECT) return fail(at, "expected an object");
            LayoutCoast coast;
            int32_t code = 0;
            if (!integer(item, at + ".", "code", 0, 0xFFFF, &code) ||
                !name(item, at + ".", "name", MAX_NAME, &coast.name) || !point_field(item, at + ".", "at", &coast.at))
                return false;
            coast.code = static_cast<uint16_t>(code);
            out->coasts.push_back(coast);
        }
        return true;
    }
    bool outline(const JsonValue &object, const std::string &where, LayoutProvince *out) {
        const JsonValue *loops = need(object, where, "outline", Kind::ARRAY, "an array of loops");
        if (!loops) return false;
        if (loops->items.size() > MAX_LOOPS) return fail(where + "outline", "more than 64 loops");
        for (size_t l = 0; l < loops->items.size(); l++) {
            const JsonValue &loop = loops->items[l];
            std::string at = where + "outline[" + std::to_string(l) + "]";
            if (loop.kind != Kind::ARRAY) return fail(at, "expected an array of points");
            points += loop.items.size();
            if (points > MAX_POINTS) return fail(at, "more than 2000000 outline points in the layout");
            out->outline.emplace_back(loop.items.size());
            for (size_t p = 0; p < loop.items.size(); p++)
                if (!point(loop.items[p], at + "[" + std::to_string(p) + "]", &out->outline.back()[p])) return false;
        }
        return true;
    }
    bool province(const JsonValue &value, size_t index, size_t powers, LayoutProvince *out) {
        std::string where = "provinces[" + std::to_string(index) + "]";
        if (value.kind != Kind::OBJECT) return fail(where, "expected an object");
        where += ".";
        if (!name(value, where, "name", MAX_NAME, &out->name) ||
            !name(value, where, "abbreviation", MAX_ABBREVIATION, &out->abbreviation) ||
            !terrain(value, where, &out->terrain))
            return false;
        const JsonValue *centre = need(value, where, "centre", Kind::BOOLEAN, "true or false");
        if (!centre) return false;
        out->centre = centre->boolean;
        const JsonValue *home = value.field("home_power");
        int32_t home_power = static_cast<int32_t>(powers);
        if (home && home->kind != Kind::NUL && !whole(*home, 0, static_cast<double>(powers) - 1, &home_power))
            return fail(where + "home_power", "must be null or a power index below " + std::to_string(powers));
        out->home_power = static_cast<uint16_t>(home_power);
        return point_field(value, where, "label", &out->label) &&
               point_field(value, where, "centre_mark", &out->centre_mark) && coasts(value, where, out) &&
               outline(value, where, out);
    }
};

}  // namespace

bool layout_parse(const std::string &text, Layout *layout, std::string *error) {
    JsonValue root;
    std::string problem;
    if (!json_parse(text, &root, &problem)) {
        *error = problem;
        *layout = Layout{};
        return false;
    }
    return layout_read(root, layout, error);
}

bool layout_read(const JsonValue &root, Layout *layout, std::string *error) {
    Checker check{error};
    *layout = Layout{};
    if (root.kind != Kind::OBJECT) return check.fail("the file", "expected a JSON object");
    if (!check.integer(root, "", "width", 1, MAX_SIZE, &layout->width) ||
        !check.integer(root, "", "height", 1, MAX_SIZE, &layout->height))
        return false;
    const JsonValue *powers = check.need(root, "", "powers", Kind::ARRAY, "an array");
    if (!powers) return false;
    if (powers->items.empty() || powers->items.size() > MAX_POWERS) return check.fail("powers", "must list 1 to 20 powers");
    layout->powers.resize(powers->items.size());
    for (size_t p = 0; p < powers->items.size(); p++)
        if (!check.power(powers->items[p], p, &layout->powers[p])) return false;
    const JsonValue *provinces = check.need(root, "", "provinces", Kind::ARRAY, "an array");
    if (!provinces) return false;
    if (provinces->items.empty() || provinces->items.size() > MAX_PROVINCES)
        return check.fail("provinces", "must list 1 to 300 provinces");
    layout->provinces.resize(provinces->items.size());
    for (size_t p = 0; p < provinces->items.size(); p++)
        if (!check.province(provinces->items[p], p, layout->powers.size(), &layout->provinces[p])) return false;
    return true;
}
