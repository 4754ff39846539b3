// Boards for tests, written as text instead of byte arrays.
//
//   Board board(R"(
//     powers 2
//     land   PAR*0 BUR MUN*        # *N: home centre of power N; * alone: neutral centre
//     coast  BRE*0 PIC SPA/nc/sc   # /a/b: named fleet coasts instead of coast 4
//     sea    MAO ENG
//     army   PAR-BUR PAR>PIC       # two-way (-) or one-way (>) moves, coast 1
//     fleet  BRE-MAO MAO-SPA/sc    # fleet moves: sea coast 2, coastal 4 or as named
//   )");
//
// Provinces are indexed in the order they are declared.  A coast written as
// a number is that code; a name gets a code of its own (0x20, 0x21, ...).
// Any end may name its coast explicitly (`army PAR/4-BUR`).
//
// Units, for position messages, separated by ';':
//   "0 A PAR; 1 F SPA/sc; 1 F MAO; 0 F ENG dislodged -> PIC BRE/?"
// `/?` leaves the coast open (bit 15).  Retreat options follow "->".
//
// Ownership, for centre-ownership messages: "0: PAR BRE; 1: SPA; 11: MUN".
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace board {

struct ProvinceEntry {
    std::string name;
    uint16_t token = 0;
    uint32_t is_centre = 0;
    uint16_t home_power = 0;
    uint16_t terrain = 0;  // bit 0 land, bit 1 water
    std::vector<uint16_t> fleet_coasts;
};

struct AdjacencyEntry {
    uint16_t from_province, from_coast, to_province, to_coast;
};

struct Retreat {
    uint16_t province, coast;
};

struct UnitEntry {
    uint16_t power = 0;
    uint16_t unit_type = 0;
    uint16_t province = 0;
    uint16_t coast = 0;
    uint32_t dislodged = 0;
    std::vector<Retreat> retreats;
    uint16_t retreat_count_field = 0xFFFF;  // written as retreats.size() unless set
};

struct CentreEntry {
    uint16_t power, province;
};

// A map definition that tests may adjust before turning it into bytes.
struct MapDefinition {
    uint16_t power_count = 0;
    std::vector<ProvinceEntry> provinces;
    std::vector<AdjacencyEntry> adjacencies;
    std::vector<uint8_t> bytes() const;  // the message from its type word
};

// Message bytes from the type word on, with header and length filled in.
std::vector<uint8_t> position_message(uint16_t season, uint16_t year,
                                      const std::vector<UnitEntry> &units);
std::vector<uint8_t> centre_message(const std::vector<CentreEntry> &entries);
// A record: the kind byte followed by the message.
std::vector<uint8_t> as_record(const std::vector<uint8_t> &message, uint8_t kind = 2);
// A message record of `length` with the given type and flag and a zero body.
std::vector<uint8_t> record_of(uint16_t type, uint16_t length, uint8_t flag = 1);
// Records of the set-up messages, each written by its message's writer.
std::vector<uint8_t> assignment_record(uint16_t power_token, uint16_t passcode);
std::vector<uint8_t> rejoin_record(uint16_t power_token, uint16_t passcode);
std::vector<uint8_t> join_record(const char *name, const char *version);
std::vector<uint8_t> map_name_record(const char *name, uint8_t flag = 1);
// The type and flag of a message record, and changing its flag.
uint16_t record_type(const std::vector<uint8_t> &record);
uint8_t record_flag(const std::vector<uint8_t> &record);
void record_set_flag(std::vector<uint8_t> &record, uint8_t flag);

class Board {
  public:
    explicit Board(const std::string &description);

    MapDefinition definition;

    uint16_t index(const std::string &province) const;
    uint16_t coast(const std::string &name) const;
    // The name a coast code was given, or its number.
    std::string coast_name(uint16_t code) const;
    // (province index, coast) of "NAME" or "NAME/coast" for a unit of the
    // given type (default coasts: army 1, fleet 2 at sea and 4 on a coast).
    std::pair<uint16_t, uint16_t> place(const std::string &text, uint16_t unit_type) const;

    std::vector<uint8_t> map_message() const { return definition.bytes(); }
    std::vector<UnitEntry> units(const std::string &text) const;
    std::vector<uint8_t> position(uint16_t season, uint16_t year, const std::string &units) const;
    std::vector<CentreEntry> owners(const std::string &text) const;
    std::vector<uint8_t> centres(const std::string &text) const;

  private:
    std::map<std::string, uint16_t> indices_;
    std::map<std::string, uint16_t> coast_codes_;
    uint16_t next_coast_code_ = 0x20;

    uint16_t coast_code(const std::string &name);
    void declare(const std::string &kind, const std::string &word);
    void link(const std::string &kind, const std::string &pair);
    uint16_t end_coast(const std::string &kind, uint16_t province, const std::string &coast) const;
};

}  // namespace board
