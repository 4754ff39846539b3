// Pictures of a board as SVG, from a layout and a board state that names
// provinces by their index in the layout: the provinces (land tinted by
// the owner of its supply centre), the centres in their owners' colours,
// the units, a phase's orders with what became of them, and a legend.
// Used by the map generator, the server and the replay alike.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "tools/board/layout.h"

constexpr size_t BOARD_NOWHERE = SIZE_MAX;

// The fills of the board and the colour of failure, which no power's
// colour comes near (see board_power_colour).
constexpr const char *BOARD_SEA_FILL = "#a9cce3";
constexpr const char *BOARD_LAND_FILL = "#eadcb8";
constexpr const char *BOARD_UNOWNED_CENTRE = "#f5f5f5";
constexpr const char *BOARD_FAILED = "#e00000";  // failed orders and dislodgements

// A place: a province of the layout and, for a fleet on one of a
// two-coast province's coasts, the coast's name.
struct BoardPlace {
    size_t province = BOARD_NOWHERE;
    std::string coast;  // "" for the province itself
};

struct BoardUnit {
    int power = 0;
    bool fleet = false;
    BoardPlace place;
    bool dislodged = false;  // must retreat: drawn beside its place
};

enum class BoardOrderKind { HOLD, MOVE, SUPPORT, CONVOY, CONVOY_MOVE, RETREAT, DISBAND, BUILD, REMOVE, WAIVE };

// An order and what became of it.
struct BoardOrder {
    BoardOrderKind kind = BoardOrderKind::HOLD;
    int power = 0;
    int unit = -1;             // the ordered unit in BoardState::units; -1 for a build or a waive
    BoardPlace target;         // where it moves, retreats, supports or convoys to, or builds
    int other = -1;            // support and convoy: the unit supported or convoyed
    std::vector<size_t> via;   // move by convoy: the seas of its route
    bool fleet = false;        // build: a fleet
    std::string outcome;       // the game record's word: "moved", "bounced", "cut", ...
};

// One moment of a game.
struct BoardState {
    std::string phase;               // "Spring 1901"; "" for a bare board (no phase, no key)
    std::vector<int> owners;         // by province: the power owning its supply centre, -1 none
    std::vector<int> centre_counts;  // by power, shown in the legend; empty: no counts
    std::vector<BoardUnit> units;
    std::vector<BoardOrder> orders;  // drawn with their outcomes
    std::vector<int> dislodged;      // units this phase's moves dislodged, marked with a ring
};

// Whether an outcome word is a failure (drawn with a cross).
bool board_outcome_failed(const std::string &outcome);

// Colour number `power` of the palette the map generator gives its
// powers: twenty colours that stay apart from each other at full strength
// and as land tints, and from the sea, the land, unowned centres and the
// red of failures.  The first ones, which small maps use, differ most.
std::string board_power_colour(int power);
// The fill of land owned by `power`: its colour lightened, the same in the
// board and in the legend's swatch.
std::string board_owner_tint(const Layout &layout, int power);
// The fill of a province with no owner.
std::string board_plain_fill(const Layout &layout, size_t province);

// A picture in parts, so that a page showing many phases of one map keeps
// a single copy of the provinces: `head` opens the SVG document, `base`
// draws every province (with id "province-N") in its unowned fill,
// `owners` gives the power whose tint each land province takes (-1 for
// none), `overlay` draws the centres, units, orders, marks and the legend,
// and `labels` the province abbreviations, above everything else.  The
// document is head, the provinces tinted, overlay, labels, "</svg>".
struct BoardPicture {
    int32_t width = 0;
    int32_t height = 0;  // map and legend
    std::string head;
    std::string base;
    std::vector<int> owners;
    std::string overlay;
    std::string labels;
};

// Provinces, units and orders that the layout does not cover are left out.
BoardPicture board_picture(const Layout &layout, const BoardState &state);
// The whole document.
std::string board_svg(const Layout &layout, const BoardState &state);
