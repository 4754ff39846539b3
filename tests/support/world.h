// A Map and CentreTable built from a board description, Positions built on
// them, and readable names for locations, units and orders, so that tests
// compare candidate sets as text:
//
//   World world(board, "0: PAR; 1: MUN");
//   Position *spring = world.position(SEASON_SPRING, "0 A PAR; 1 A MUN");
//   EXPECT_EQ(world.candidates(world.unit(spring, "PAR")),
//             (Texts{"HOLD", "MOVE BUR", "SUPPORT A MUN -> BUR"}));
//
// Location names: "PAR" for an army location (coast 1) or a sea location
// (coast 2), "BRE/f" for a coastal fleet location (coast 4), "SPA/sc" for a
// named coast.  Units: "A PAR", "F BRE", "F SPA/sc".
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "board.h"
#include "brox.h"

using Texts = std::vector<std::string>;

class World {
  public:
    World(const board::Board &board, const std::string &owners = "");
    ~World();
    World(const World &) = delete;
    World &operator=(const World &) = delete;

    const board::Board &board;
    Map *map = nullptr;
    CentreTable *centres = nullptr;  // the world holds one reference

    // Builds a Position; the World frees it unless the test frees it first
    // and calls forget().
    Position *position(uint16_t season, const std::string &units, uint16_t year = 1901);
    Position *position(std::vector<uint8_t> &message);  // written back into
    void forget(Position *position);
    // Replaces the CentreTable for later Positions.
    void own(const std::string &owners);

    // The unit standing (or else dislodged) in a province.
    Unit *unit(const Position *position, const std::string &province) const;
    // A LocationState by name, as above.
    LocationState *location(Position *position, const std::string &name) const;

    std::string name(const LocationState *location) const;
    std::string name(const Unit *unit) const;
    std::string name(const Order &order) const;
    // The candidate set in walk order.
    Texts candidates(const Unit *unit) const;
    // "<season> <year>: 0 A PAR; 1 F BRE dislodged; ..." in unit order, in
    // the unit grammar of board descriptions.
    std::string describe(const Position *position) const;
    // "0: PAR BRE; 1: MUN" from a Position's CentreTable (powers in order,
    // empty lists left out).
    std::string owners(const Position *position) const;
    // Gives the unit in `province` (standing, else dislodged) the candidate
    // whose text is `order`.
    void order(Position *position, const std::string &province, const std::string &order) const;
    // brox_adjudicate; the World frees the result.
    Position *next(Position *position);
    // Gives the orders (province, candidate text) and adjudicates.
    using Orders = std::vector<std::pair<const char *, const char *>>;
    Position *play(Position *position, const Orders &orders);
    // Chooses the candidate whose text is `order` (fails the test if none).
    void choose(Unit *unit, const std::string &order) const;
    const Order *candidate(const Unit *unit, const std::string &order) const;

  private:
    std::vector<Position *> positions_;
};
