// Reading a game record's last phase line and its final line.
#include "tools/tournament/record.h"

#include <filesystem>
#include <fstream>

#include "tools/common/json_value.h"

namespace {

std::string phase_of(const JsonValue &line) {
    if (line["year"].kind != JsonValue::Kind::NUMBER || line["season"].kind != JsonValue::Kind::STRING) return "";
    return std::to_string(line["year"].integer()) + " " + line["season"].text;
}

// The final line's powers and the number of supply centres on the map (the
// owned ones and the unowned list).
void read_final(const JsonValue &line, RecordSummary *summary) {
    summary->finished = true;
    summary->reason = line["reason"].text;
    summary->end = phase_of(line);
    summary->powers.clear();
    summary->centre_total = static_cast<int>(line["unowned"].items.size());
    for (const JsonValue &power : line["powers"].items) {
        PowerEnd end;
        end.power = power["power"].integer();
        end.centres = power["centres"].integer();
        end.units = power["units"].integer();
        summary->centre_total += end.centres;
        summary->powers.push_back(end);
    }
}

}  // namespace

// Walks the record from its end, so that only its last lines are parsed:
// the final line comes after every phase line.
RecordSummary record_read(const std::string &folder) {
    RecordSummary summary;
    std::ifstream file(std::filesystem::path(folder) / RECORD_FILE, std::ios::binary);
    if (!file) return summary;
    summary.readable = true;
    std::vector<std::string> lines;
    for (std::string text; std::getline(file, text);) lines.push_back(std::move(text));
    for (size_t i = lines.size(); i-- > 0;) {
        JsonValue line;
        if (!json_parse(lines[i], &line, nullptr, JsonStrings::ANY_BYTES) || line.kind != JsonValue::Kind::OBJECT ||
            line["dropped"].boolean)
            continue;
        if (line["final"].boolean) {
            if (!summary.finished) read_final(line, &summary);
        } else if (!phase_of(line).empty()) {
            summary.last_phase = phase_of(line);
            break;
        }
    }
    return summary;
}

bool record_solo(const RecordSummary &record, const PowerEnd &power) {
    return 2 * power.centres > record.centre_total;
}

bool record_survived(const PowerEnd &power) { return power.centres > 0 || power.units > 0; }
