// Parsing board descriptions and writing the messages the library reads.
#include "board.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <stdexcept>

#include "brox.h"
#include "common/assignment_message.h"
#include "common/record.h"
#include "session/join_message.h"
#include "session/map_name_message.h"
#include "session/rejoin_message.h"
#include "world/centres_message.h"
#include "world/map_message.h"
#include "world/position_message.h"

namespace board {

namespace {

std::vector<std::string> words(const std::string &text) {
    std::istringstream in(text);
    std::vector<std::string> out;
    std::string word;
    while (in >> word) out.push_back(word);
    return out;
}

std::vector<std::string> split(const std::string &text, char separator) {
    std::vector<std::string> parts;
    std::string part;
    std::istringstream in(text);
    while (std::getline(in, part, separator)) parts.push_back(part);
    return parts;
}

[[noreturn]] void fail(const std::string &what) {
    std::fprintf(stderr, "board description: %s\n", what.c_str());
    std::abort();
}

bool is_number(const std::string &text) {
    return !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
}

}  // namespace

std::vector<uint8_t> MapDefinition::bytes() const {
    std::vector<MapProvinceEntry> entries;
    for (const ProvinceEntry &province : provinces)
        // A neutral centre ('*' alone) names the power count as its home.
        entries.push_back({province.token, province.is_centre,
                           province.home_power == 0xFFFF ? power_count : province.home_power, province.terrain});
    std::vector<MapAdjacencyEntry> moves;
    for (const AdjacencyEntry &adjacency : adjacencies)
        moves.push_back({adjacency.from_province, adjacency.from_coast, adjacency.to_province, adjacency.to_coast});
    std::vector<uint8_t> message(map_message_size(entries.size(), moves.size()));
    map_message_write(message.data(), power_count, entries.data(), static_cast<uint16_t>(entries.size()),
                      moves.data(), static_cast<uint32_t>(moves.size()));
    return message;
}

std::vector<uint8_t> position_message(uint16_t season, uint16_t year,
                                      const std::vector<UnitEntry> &units) {
    std::vector<uint8_t> message(position_message_size(units.size()));
    position_message_init(message.data(), {season, year}, static_cast<uint16_t>(units.size()));
    for (size_t u = 0; u < units.size(); u++) {
        const UnitEntry &unit = units[u];
        PositionUnitEntry entry{};
        entry.power = unit.power;
        entry.unit_type = unit.unit_type;
        entry.province = unit.province;
        entry.coast = unit.coast;
        entry.dislodged = unit.dislodged;
        entry.retreat_count = unit.retreat_count_field != 0xFFFF ? unit.retreat_count_field
                                                                 : static_cast<uint16_t>(unit.retreats.size());
        for (size_t r = 0; r < unit.retreats.size() && r < MAX_RETREATS; r++)
            entry.retreats[r] = {unit.retreats[r].province, unit.retreats[r].coast};
        position_unit_write(position_message_unit(message.data(), static_cast<uint16_t>(u)), entry);
    }
    return message;
}

std::vector<uint8_t> centre_message(const std::vector<CentreEntry> &entries) {
    std::vector<CentreOwnership> owners;
    for (const CentreEntry &entry : entries) owners.push_back({entry.power, entry.province});
    std::vector<uint8_t> message(centres_message_size(owners.size()));
    centres_message_write(message.data(), owners.data(), static_cast<uint16_t>(owners.size()));
    return message;
}

std::vector<uint8_t> as_record(const std::vector<uint8_t> &message, uint8_t kind) {
    std::vector<uint8_t> record(RECORD_MESSAGE_AT + message.size());
    record[RECORD_KIND_AT] = kind;
    std::copy(message.begin(), message.end(), record_message(record.data()));
    return record;
}

std::vector<uint8_t> record_of(uint16_t type, uint16_t length, uint8_t flag) {
    std::vector<uint8_t> record(RECORD_MESSAGE_AT + length, 0);
    msg_set_flag(msg_init(record.data(), type, length), flag);
    return record;
}

std::vector<uint8_t> assignment_record(uint16_t power_token, uint16_t passcode) {
    std::vector<uint8_t> record = record_of(MSG_ASSIGNMENT, ASSIGNMENT_LENGTH);
    assignment_write(record_message(record.data()), {power_token, passcode});
    return record;
}

std::vector<uint8_t> rejoin_record(uint16_t power_token, uint16_t passcode) {
    std::vector<uint8_t> record = record_of(MSG_REJOIN, REJOIN_LENGTH);
    rejoin_write(record_message(record.data()), {power_token, passcode});
    return record;
}

std::vector<uint8_t> join_record(const char *name, const char *version) {
    std::vector<uint8_t> record = record_of(MSG_JOIN, JOIN_LENGTH);
    join_write(record_message(record.data()), name, version);
    return record;
}

std::vector<uint8_t> map_name_record(const char *name, uint8_t flag) {
    std::vector<uint8_t> record = record_of(MSG_MAP_NAME, map_name_message_length(std::strlen(name)), flag);
    map_name_write(record_message(record.data()), name);
    msg_set_flag(record_message(record.data()), flag);
    return record;
}

uint16_t record_type(const std::vector<uint8_t> &record) { return msg_type(record_message(record.data())); }

uint8_t record_flag(const std::vector<uint8_t> &record) { return msg_flag(record_message(record.data())); }

void record_set_flag(std::vector<uint8_t> &record, uint8_t flag) { msg_set_flag(record_message(record.data()), flag); }

// ---------------------------------------------------------------------------
// Board
// ---------------------------------------------------------------------------

Board::Board(const std::string &description) {
    for (const std::string &line : split(description, '\n')) {
        std::string text = line.substr(0, line.find('#'));
        std::vector<std::string> parts = words(text);
        if (parts.empty()) continue;
        const std::string &kind = parts[0];
        if (kind == "powers" && parts.size() == 2) {
            definition.power_count = static_cast<uint16_t>(std::stoi(parts[1]));
        } else if (kind == "land" || kind == "coast" || kind == "sea") {
            for (size_t w = 1; w < parts.size(); w++) declare(kind, parts[w]);
        } else if (kind == "army" || kind == "fleet") {
            for (size_t w = 1; w < parts.size(); w++) link(kind, parts[w]);
        } else {
            fail("unknown line: " + line);
        }
    }
}

uint16_t Board::coast_code(const std::string &name) {
    if (is_number(name)) return static_cast<uint16_t>(std::stoi(name));
    auto found = coast_codes_.find(name);
    if (found != coast_codes_.end()) return found->second;
    return coast_codes_[name] = next_coast_code_++;
}

uint16_t Board::coast(const std::string &name) const {
    if (name == "?") return COAST_ANY;
    if (is_number(name)) return static_cast<uint16_t>(std::stoi(name));
    auto found = coast_codes_.find(name);
    if (found == coast_codes_.end()) fail("unknown coast " + name);
    return found->second;
}

std::string Board::coast_name(uint16_t code) const {
    for (const auto &[name, value] : coast_codes_)
        if (value == code) return name;
    return std::to_string(code);
}

void Board::declare(const std::string &kind, const std::string &word) {
    std::vector<std::string> pieces = split(word, '/');
    std::string name = pieces[0];
    ProvinceEntry province;
    size_t star = name.find('*');
    if (star != std::string::npos) {
        province.is_centre = 1;
        std::string home = name.substr(star + 1);
        province.home_power = home.empty() ? 0xFFFF : static_cast<uint16_t>(std::stoi(home));
        name = name.substr(0, star);
    }
    uint16_t index = static_cast<uint16_t>(definition.provinces.size());
    province.name = name;
    province.token = static_cast<uint16_t>(((index & 0xFF) << 8) | 0x50);
    province.terrain = kind == "land" ? 1 : kind == "sea" ? 2 : 3;
    for (size_t p = 1; p < pieces.size(); p++) province.fleet_coasts.push_back(coast_code(pieces[p]));
    if (indices_.count(name)) fail("province declared twice: " + name);
    indices_[name] = index;
    definition.provinces.push_back(province);
}

uint16_t Board::index(const std::string &province) const {
    auto found = indices_.find(province);
    if (found == indices_.end()) fail("unknown province " + province);
    return found->second;
}

// The coast of one end of a move: explicit, else by the kind of move.
uint16_t Board::end_coast(const std::string &kind, uint16_t province, const std::string &coast_name) const {
    if (!coast_name.empty()) return coast(coast_name);
    if (kind == "army") return COAST_ARMY;
    const ProvinceEntry &entry = definition.provinces[province];
    if (!entry.fleet_coasts.empty()) fail("a fleet move into " + entry.name + " must name its coast");
    return entry.terrain == 2 ? COAST_SEA : COAST_SHORE;
}

void Board::link(const std::string &kind, const std::string &pair) {
    size_t arrow = pair.find_first_of("->");
    if (arrow == std::string::npos) fail("a move needs - or >: " + pair);
    bool both_ways = pair[arrow] == '-';
    auto end = [&](const std::string &text) {
        std::vector<std::string> pieces = split(text, '/');
        uint16_t province = index(pieces[0]);
        std::string coast_name = pieces.size() > 1 ? pieces[1] : "";
        return std::make_pair(province, end_coast(kind, province, coast_name));
    };
    auto from = end(pair.substr(0, arrow));
    auto to = end(pair.substr(arrow + 1));
    definition.adjacencies.push_back({from.first, from.second, to.first, to.second});
    if (both_ways) definition.adjacencies.push_back({to.first, to.second, from.first, from.second});
}

std::pair<uint16_t, uint16_t> Board::place(const std::string &text, uint16_t unit_type) const {
    std::vector<std::string> pieces = split(text, '/');
    uint16_t province = index(pieces[0]);
    if (pieces.size() > 1) return {province, coast(pieces[1])};
    if (unit_type == UNIT_ARMY) return {province, COAST_ARMY};
    const ProvinceEntry &entry = definition.provinces[province];
    return {province, entry.terrain == 2 ? uint16_t{COAST_SEA} : uint16_t{COAST_SHORE}};
}

std::vector<UnitEntry> Board::units(const std::string &text) const {
    std::vector<UnitEntry> out;
    for (const std::string &item : split(text, ';')) {
        std::vector<std::string> parts = words(item);
        if (parts.empty()) continue;
        if (parts.size() < 3) fail("unit needs power, type and place: " + item);
        UnitEntry unit;
        unit.power = static_cast<uint16_t>(std::stoi(parts[0]));
        if (parts[1] == "A")
            unit.unit_type = UNIT_ARMY;
        else if (parts[1] == "F")
            unit.unit_type = UNIT_FLEET;
        else
            fail("unit type must be A or F: " + item);
        auto [province, coast_code] = place(parts[2], unit.unit_type);
        unit.province = province;
        unit.coast = coast_code;
        size_t w = 3;
        if (w < parts.size() && parts[w] == "dislodged") {
            unit.dislodged = 1;
            w++;
        }
        if (w < parts.size() && parts[w] == "->") {
            for (w++; w < parts.size(); w++) {
                auto option = place(parts[w], unit.unit_type);
                unit.retreats.push_back({option.first, option.second});
            }
        }
        if (w != parts.size()) fail("cannot read unit: " + item);
        out.push_back(unit);
    }
    return out;
}

std::vector<uint8_t> Board::position(uint16_t season, uint16_t year, const std::string &text) const {
    return position_message(season, year, units(text));
}

std::vector<CentreEntry> Board::owners(const std::string &text) const {
    std::vector<CentreEntry> out;
    for (const std::string &item : split(text, ';')) {
        std::vector<std::string> parts = words(item);
        if (parts.empty()) continue;
        std::string power = parts[0];
        if (power.back() != ':') fail("ownership needs 'power:': " + item);
        uint16_t power_index = static_cast<uint16_t>(std::stoi(power.substr(0, power.size() - 1)));
        for (size_t w = 1; w < parts.size(); w++) out.push_back({power_index, index(parts[w])});
    }
    return out;
}

std::vector<uint8_t> Board::centres(const std::string &text) const {
    return centre_message(owners(text));
}

}  // namespace board
