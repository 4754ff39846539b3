// MSG_MAP_DEFINITION: the map's provinces and adjacencies, read by
// map_build and written by the map generator and the tests.  Offsets count
// from the type word.
//
//   Offset                  Width                Field
//   0                       6                    header (common/record.h)
//   6                       2                    power_count
//   8                       2                    province_count
//   10                      2                    not read
//   12                      4                    adjacency_count
//   16                      12 x province_count  province entries, entry i describing province i
//   16 + 12 x provinces     8 x adjacency_count  adjacency entries
//
// Province entry:
//   0    2   token: the province token; its high byte is the province index
//   2    2   not read
//   4    4   is_centre: non-zero for a supply centre
//   8    2   home_power: the home power's index; power_count for a neutral
//            centre; read only for a centre
//   10   2   terrain: bit 0 land; any of bits 1-15 water
//
// Adjacency entry, one directed move:
//   0    2   from_province (index)
//   2    2   from_coast
//   4    2   to_province (index)
//   6    2   to_coast
#pragma once

#include <cstddef>
#include <cstdint>

#include "brox.h"
#include "common/bytes.h"
#include "common/record.h"

constexpr size_t MAPDEF_POWER_COUNT_AT = 6;
constexpr size_t MAPDEF_PROVINCE_COUNT_AT = 8;
constexpr size_t MAPDEF_ADJACENCY_COUNT_AT = 12;
constexpr size_t MAPDEF_PROVINCES_AT = 16;
constexpr size_t MAPDEF_PROVINCE_SIZE = 12;
constexpr size_t MAPDEF_ADJACENCY_SIZE = 8;

constexpr size_t MAPDEF_TOKEN_AT = 0;
constexpr size_t MAPDEF_IS_CENTRE_AT = 4;
constexpr size_t MAPDEF_HOME_POWER_AT = 8;
constexpr size_t MAPDEF_TERRAIN_AT = 10;

constexpr size_t MAPDEF_FROM_PROVINCE_AT = 0;
constexpr size_t MAPDEF_FROM_COAST_AT = 2;
constexpr size_t MAPDEF_TO_PROVINCE_AT = 4;
constexpr size_t MAPDEF_TO_COAST_AT = 6;

// Terrain bits of a province entry.
constexpr uint16_t MAPDEF_TERRAIN_LAND = 1;
constexpr uint16_t MAPDEF_TERRAIN_WATER = 0xFFFE;

struct MapCounts {
    uint16_t power_count;
    uint16_t province_count;
    uint32_t adjacency_count;
};

struct MapProvinceEntry {
    uint16_t token;
    uint32_t is_centre;
    uint16_t home_power;
    uint16_t terrain;
};

struct MapAdjacencyEntry {
    uint16_t from_province;
    uint16_t from_coast;
    uint16_t to_province;
    uint16_t to_coast;
};

// The bytes a definition of these counts takes, header included; wider
// than the 16-bit length, so that a caller can tell when it does not fit.
constexpr uint64_t map_message_size(uint64_t province_count, uint64_t adjacency_count) {
    return MAPDEF_PROVINCES_AT + MAPDEF_PROVINCE_SIZE * province_count + MAPDEF_ADJACENCY_SIZE * adjacency_count;
}

// ---------------------------------------------------------------------------
// Reading (the caller has checked the message's length first)
// ---------------------------------------------------------------------------

// The three counts; the message holds at least MAPDEF_PROVINCES_AT bytes.
inline MapCounts map_message_counts(const uint8_t *message) {
    return {get_u16(message, MAPDEF_POWER_COUNT_AT), get_u16(message, MAPDEF_PROVINCE_COUNT_AT),
            get_u32(message, MAPDEF_ADJACENCY_COUNT_AT)};
}

inline MapProvinceEntry map_message_province(const uint8_t *message, uint16_t index) {
    const uint8_t *entry = message + MAPDEF_PROVINCES_AT + MAPDEF_PROVINCE_SIZE * size_t{index};
    return {get_u16(entry, MAPDEF_TOKEN_AT), get_u32(entry, MAPDEF_IS_CENTRE_AT), get_u16(entry, MAPDEF_HOME_POWER_AT),
            get_u16(entry, MAPDEF_TERRAIN_AT)};
}

// Adjacency entry `index` of a message with `province_count` province
// entries.
inline MapAdjacencyEntry map_message_adjacency(const uint8_t *message, uint16_t province_count, uint32_t index) {
    const uint8_t *entry = message + map_message_size(province_count, 0) + MAPDEF_ADJACENCY_SIZE * size_t{index};
    return {get_u16(entry, MAPDEF_FROM_PROVINCE_AT), get_u16(entry, MAPDEF_FROM_COAST_AT),
            get_u16(entry, MAPDEF_TO_PROVINCE_AT), get_u16(entry, MAPDEF_TO_COAST_AT)};
}

// ---------------------------------------------------------------------------
// Writing
// ---------------------------------------------------------------------------

// Writes a whole definition, header included, into `message`, which holds
// map_message_size(province_count, adjacency_count) bytes.  The length
// word takes the size's low 16 bits; the bytes marked "not read" are left
// as they are.
inline void map_message_write(uint8_t *message, uint16_t power_count, const MapProvinceEntry *provinces,
                              uint16_t province_count, const MapAdjacencyEntry *adjacencies,
                              uint32_t adjacency_count) {
    msg_header_init(message, MSG_MAP_DEFINITION, static_cast<uint16_t>(map_message_size(province_count, adjacency_count)));
    put_u16(message, MAPDEF_POWER_COUNT_AT, power_count);
    put_u16(message, MAPDEF_PROVINCE_COUNT_AT, province_count);
    put_u32(message, MAPDEF_ADJACENCY_COUNT_AT, adjacency_count);
    for (uint16_t i = 0; i < province_count; i++) {
        uint8_t *entry = message + MAPDEF_PROVINCES_AT + MAPDEF_PROVINCE_SIZE * size_t{i};
        put_u16(entry, MAPDEF_TOKEN_AT, provinces[i].token);
        put_u32(entry, MAPDEF_IS_CENTRE_AT, provinces[i].is_centre);
        put_u16(entry, MAPDEF_HOME_POWER_AT, provinces[i].home_power);
        put_u16(entry, MAPDEF_TERRAIN_AT, provinces[i].terrain);
    }
    uint8_t *entry = message + map_message_size(province_count, 0);
    for (uint32_t a = 0; a < adjacency_count; a++, entry += MAPDEF_ADJACENCY_SIZE) {
        put_u16(entry, MAPDEF_FROM_PROVINCE_AT, adjacencies[a].from_province);
        put_u16(entry, MAPDEF_FROM_COAST_AT, adjacencies[a].from_coast);
        put_u16(entry, MAPDEF_TO_PROVINCE_AT, adjacencies[a].to_province);
        put_u16(entry, MAPDEF_TO_COAST_AT, adjacencies[a].to_coast);
    }
}
