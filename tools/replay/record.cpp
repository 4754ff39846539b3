// Reading a game record's lines for the replay.
#include "tools/replay/record.h"

#include <fstream>

#include "tools/common/json_value.h"

namespace {

using Kind = JsonValue::Kind;

std::string text_of(const JsonValue &value) { return value.kind == Kind::STRING ? value.text : ""; }

}  // namespace

bool record_is_map_line(const JsonValue &line) { return line.kind == Kind::OBJECT && line["map"].boolean; }

bool record_phase_read(const JsonValue &line, RecordPhase *phase) {
    if (line.kind != Kind::OBJECT || line["dropped"].boolean || record_is_map_line(line)) return false;
    if (line["year"].kind != Kind::NUMBER || line["season"].kind != Kind::STRING) return false;
    *phase = RecordPhase{};
    phase->year = line["year"].integer();
    phase->season = line["season"].text;
    phase->final = line["final"].boolean;
    phase->picture = text_of(line["picture"]);
    for (const JsonValue &unit : line["units"].items)
        phase->units.push_back({unit["power"].integer(), text_of(unit["unit"]), unit["dislodged"].boolean});
    for (const JsonValue &order : line["orders"].items)
        phase->orders.push_back({order["power"].integer(), text_of(order["order"]), text_of(order["unit"]),
                                 text_of(order["outcome"]), order["dislodged"].boolean});
    for (const JsonValue &power : line["powers"].items)
        phase->powers.push_back({power["power"].integer(), text_of(power["name"]), power["centres"].integer()});
    for (const JsonValue &owned : line["ownership"].items) {
        phase->ownership.emplace_back();
        for (const JsonValue &centre : owned.items) phase->ownership.back().push_back(text_of(centre));
    }
    return true;
}

bool record_map_read(const JsonValue &line, std::string *name, Layout *layout, std::string *error) {
    *name = text_of(line["name"]);
    const JsonValue *drawn = line.field("layout");
    if (!drawn) {
        *error = "the map line has no layout";
        return false;
    }
    std::string problem;
    if (!layout_read(*drawn, layout, &problem)) {
        *error = "the map line's layout: " + problem;
        return false;
    }
    return true;
}

bool record_load(const std::string &path, GameRecordRead *record, std::string *error) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        *error = "cannot read " + path;
        return false;
    }
    *record = GameRecordRead{};
    int number = 0;
    for (std::string text; std::getline(file, text);) {
        number++;
        if (text.find_first_not_of(" \t\r") == std::string::npos) continue;
        JsonValue line;
        std::string problem;
        if (!json_parse(text, &line, &problem, JsonStrings::ANY_BYTES)) {
            if (problem.rfind("line 1: ", 0) == 0) problem.erase(0, 8);
            *error = path + ": line " + std::to_string(number) + " is not JSON (" + problem + ")";
            return false;
        }
        if (record_is_map_line(line)) {
            if (!record_map_read(line, &record->map_name, &record->layout, &problem)) {
                *error = path + ": line " + std::to_string(number) + ": " + problem;
                return false;
            }
            record->has_map = true;
            continue;
        }
        RecordPhase phase;
        if (record_phase_read(line, &phase)) record->phases.push_back(std::move(phase));
    }
    if (record->phases.empty()) {
        *error = path + " holds no phase";
        return false;
    }
    return true;
}

std::string record_phase_title(const RecordPhase &phase) {
    std::string season = phase.season;
    if (!season.empty() && season[0] >= 'a' && season[0] <= 'z') season[0] = static_cast<char>(season[0] - 'a' + 'A');
    return season + " " + std::to_string(phase.year);
}
