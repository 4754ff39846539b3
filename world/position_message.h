// MSG_POSITION: the season, the year and every unit with its place, read by
// the position builder and the server's map-folder check, written by the
// adjudicator (the next phase's message), the server, the map generator and
// the tests.  Offsets count from the type word.
//
//   Offset  Width           Field
//   0       6               header (common/record.h); length 12 + 96 x unit_count
//   6       2               season token
//   8       2               year
//   10      2               unit_count
//   12      96 x unit_count unit entries
//
// Unit entry:
//   0    2       power index
//   2    2       unit_type: UNIT_ARMY or UNIT_FLEET
//   4    2       province index (not the token)
//   6    2       coast of the unit's Location; bit 15 (COAST_ANY) set: open,
//                the builder chooses the coast and writes its choice here
//   8    4       dislodged: 0 when not dislodged
//   12   2       retreat_count: options used, 0 to 20; read only for a
//                dislodged unit
//   14   4 x 20  retreat options: province index (2), coast (2); an open
//                coast is chosen and written back as for the unit
//   94   2       not used
//
// The orders message describes a unit in this entry's first 12 bytes
// (orders/orders_message.h).
#pragma once

#include <cstddef>
#include <cstdint>

#include "brox.h"
#include "common/bytes.h"
#include "common/record.h"

constexpr size_t POSITION_SEASON_AT = 6;
constexpr size_t POSITION_YEAR_AT = 8;
constexpr size_t POSITION_UNIT_COUNT_AT = 10;
constexpr size_t POSITION_UNITS_AT = 12;
constexpr size_t POSITION_UNIT_SIZE = 96;

constexpr size_t UNIT_POWER_AT = 0;
constexpr size_t UNIT_TYPE_AT = 2;
constexpr size_t UNIT_PROVINCE_AT = 4;
constexpr size_t UNIT_COAST_AT = 6;
constexpr size_t UNIT_DISLODGED_AT = 8;
constexpr size_t UNIT_RETREAT_COUNT_AT = 12;
constexpr size_t UNIT_RETREATS_AT = 14;
constexpr size_t UNIT_RETREAT_SIZE = 4;
constexpr size_t RETREAT_PROVINCE_AT = 0;
constexpr size_t RETREAT_COAST_AT = 2;

struct PositionPhase {
    uint16_t season;
    uint16_t year;
};

// A retreat option: a province index and a coast.
struct RetreatPlace {
    uint16_t province;
    uint16_t coast;
};

struct PositionUnitEntry {
    uint16_t power;
    uint16_t unit_type;
    uint16_t province;
    uint16_t coast;
    uint32_t dislodged;
    uint16_t retreat_count;  // options in `retreats`
    RetreatPlace retreats[MAX_RETREATS];
};

// The bytes a message of `unit_count` units takes, header included.
constexpr size_t position_message_size(size_t unit_count) {
    return POSITION_UNITS_AT + POSITION_UNIT_SIZE * unit_count;
}

// The address of unit entry `index`.
inline uint8_t *position_message_unit(uint8_t *message, uint16_t index) {
    return message + position_message_size(index);
}
inline const uint8_t *position_message_unit(const uint8_t *message, uint16_t index) {
    return message + position_message_size(index);
}

// ---------------------------------------------------------------------------
// Reading (the message holds at least POSITION_UNITS_AT bytes)
// ---------------------------------------------------------------------------

inline PositionPhase position_message_phase(const uint8_t *message) {
    return {get_u16(message, POSITION_SEASON_AT), get_u16(message, POSITION_YEAR_AT)};
}

// The unit count the message declares.
inline uint16_t position_message_unit_count(const uint8_t *message) {
    return get_u16(message, POSITION_UNIT_COUNT_AT);
}

// The unit entries that can be read: the declared count, cut to what the
// message's length holds.
inline uint16_t position_message_units_held(const uint8_t *message) {
    size_t fitting = (msg_length(message) - POSITION_UNITS_AT) / POSITION_UNIT_SIZE;
    uint16_t count = position_message_unit_count(message);
    return count > fitting ? static_cast<uint16_t>(fitting) : count;
}

// Reads a unit entry.  Its retreat options are read only for a dislodged
// unit, at most MAX_RETREATS of them; other units get none.
inline void position_unit_read(const uint8_t *entry, PositionUnitEntry *unit) {
    unit->power = get_u16(entry, UNIT_POWER_AT);
    unit->unit_type = get_u16(entry, UNIT_TYPE_AT);
    unit->province = get_u16(entry, UNIT_PROVINCE_AT);
    unit->coast = get_u16(entry, UNIT_COAST_AT);
    unit->dislodged = get_u32(entry, UNIT_DISLODGED_AT);
    unit->retreat_count = 0;
    if (!unit->dislodged) return;
    uint16_t count = get_u16(entry, UNIT_RETREAT_COUNT_AT);
    unit->retreat_count = count < MAX_RETREATS ? count : uint16_t{MAX_RETREATS};
    for (uint16_t r = 0; r < unit->retreat_count; r++) {
        const uint8_t *option = entry + UNIT_RETREATS_AT + UNIT_RETREAT_SIZE * r;
        unit->retreats[r] = {get_u16(option, RETREAT_PROVINCE_AT), get_u16(option, RETREAT_COAST_AT)};
    }
}

// ---------------------------------------------------------------------------
// Writing
// ---------------------------------------------------------------------------

// Writes the header, season, year and unit count of a message of
// `unit_count` units; the entries are the caller's.
inline void position_message_init(uint8_t *message, PositionPhase phase, uint16_t unit_count) {
    msg_header_init(message, MSG_POSITION, static_cast<uint16_t>(position_message_size(unit_count)));
    put_u16(message, POSITION_SEASON_AT, phase.season);
    put_u16(message, POSITION_YEAR_AT, phase.year);
    put_u16(message, POSITION_UNIT_COUNT_AT, unit_count);
}

inline void position_message_set_phase(uint8_t *message, PositionPhase phase) {
    put_u16(message, POSITION_SEASON_AT, phase.season);
    put_u16(message, POSITION_YEAR_AT, phase.year);
}

// Sets the unit count and the length that goes with it.
inline void position_message_set_unit_count(uint8_t *message, uint16_t unit_count) {
    put_u16(message, POSITION_UNIT_COUNT_AT, unit_count);
    msg_set_length(message, static_cast<uint16_t>(position_message_size(unit_count)));
}

// Writes a unit entry: every field, with the retreat count as given and its
// first (at most MAX_RETREATS) options.  Options past the count and the two
// unused bytes are left as they are.
inline void position_unit_write(uint8_t *entry, const PositionUnitEntry &unit) {
    put_u16(entry, UNIT_POWER_AT, unit.power);
    put_u16(entry, UNIT_TYPE_AT, unit.unit_type);
    put_u16(entry, UNIT_PROVINCE_AT, unit.province);
    put_u16(entry, UNIT_COAST_AT, unit.coast);
    put_u32(entry, UNIT_DISLODGED_AT, unit.dislodged);
    put_u16(entry, UNIT_RETREAT_COUNT_AT, unit.retreat_count);
    for (uint16_t r = 0; r < unit.retreat_count && r < MAX_RETREATS; r++) {
        uint8_t *option = entry + UNIT_RETREATS_AT + UNIT_RETREAT_SIZE * r;
        put_u16(option, RETREAT_PROVINCE_AT, unit.retreats[r].province);
        put_u16(option, RETREAT_COAST_AT, unit.retreats[r].coast);
    }
}

// The builder's choices for open coasts, written back into the entry.
inline void position_unit_write_coast(uint8_t *entry, uint16_t coast) { put_u16(entry, UNIT_COAST_AT, coast); }
inline void position_unit_write_retreat_coast(uint8_t *entry, uint16_t option, uint16_t coast) {
    put_u16(entry, UNIT_RETREATS_AT + UNIT_RETREAT_SIZE * option + RETREAT_COAST_AT, coast);
}
