// Reading a game record: its last phase line, its final line, every
// power's orders, and the fingerprint of the whole game.
#include "tools/tournament/record.h"

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "tools/common/json_value.h"

namespace {

constexpr int MAX_POWERS_READ = 20;  // power indices beyond are not counted

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

namespace {

// The orders of each power in one phase line.
void add_orders(const JsonValue &line, RecordSummary *summary) {
    for (const JsonValue &power : line["powers"].items) {
        int index = power["power"].integer();
        if (index < 0 || index >= MAX_POWERS_READ) continue;
        if (summary->orders.size() <= static_cast<size_t>(index)) summary->orders.resize(static_cast<size_t>(index) + 1);
        PowerOrders &orders = summary->orders[static_cast<size_t>(index)];
        bool due = power["orders_due"].boolean;
        orders.due += due;
        orders.missed += due && !power["orders_received"].boolean;
        orders.refused += std::max(0, power["refused"].integer());
    }
}

// FNV-1a, 64 bits, over the line and its end.
uint64_t fingerprint_add(uint64_t hash, const std::string &line) {
    for (unsigned char c : line) hash = (hash ^ c) * 0x100000001b3ull;
    return (hash ^ '\n') * 0x100000001b3ull;
}

}  // namespace

RecordSummary record_read(const std::string &folder) {
    RecordSummary summary;
    std::ifstream file(std::filesystem::path(folder) / RECORD_FILE, std::ios::binary);
    if (!file) return summary;
    summary.readable = true;
    uint64_t fingerprint = 0xcbf29ce484222325ull;
    for (std::string text; std::getline(file, text);) {
        // The map line is long and tells nothing the table needs but its
        // share of the fingerprint.
        bool map = text.rfind("{\"map\":true", 0) == 0;
        JsonValue line;
        if (!map && (!json_parse(text, &line, nullptr, JsonStrings::ANY_BYTES) || line.kind != JsonValue::Kind::OBJECT))
            continue;
        if (line["dropped"].boolean) continue;
        fingerprint = fingerprint_add(fingerprint, text);
        if (map) continue;
        if (line["final"].boolean) {
            if (!summary.finished) read_final(line, &summary);
        } else if (!phase_of(line).empty()) {
            summary.last_phase = phase_of(line);
            add_orders(line, &summary);
        }
    }
    summary.fingerprint = fingerprint;
    return summary;
}

bool record_solo(const RecordSummary &record, const PowerEnd &power) {
    return 2 * power.centres > record.centre_total;
}

bool record_survived(const PowerEnd &power) { return power.centres > 0 || power.units > 0; }
