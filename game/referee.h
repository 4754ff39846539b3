// The referee's record: one game (the Map, the current Position and the
// phase last resolved, the orders given for each) behind the exported
// brox_referee_ calls.
#pragma once

#include <cstddef>
#include <cstdint>

#include "brox.h"
#include "game/phase_messages.h"
#include "game/phase_orders.h"

struct BroxReferee {
    Map *map;
    CentreTable *opening_centres;  // one reference: the ownership the game opened with
    Position *position;          // the current phase; holds the current ownership
    Position *last;              // the phase last resolved, orders as used; null before the first step
    uint16_t first_year;         // the opening position's year
    uint16_t end_year;           // the game ends at this year's spring; 0: no limit
    uint16_t over;               // END_ code
    char failure[80];            // why the last step failed; "" when it did not
    uint16_t result_count;       // entries of results: the last Position's units
    PhaseOrders *current;        // orders for `position`: one of orders[]
    PhaseOrders *previous;       // orders `last` was resolved with: the other one
    uint8_t last_due[MAX_POWERS];         // whether each power had orders due in the last phase
    BroxOrderResult results[MAX_UNITS];   // what became of each order of the last phase
    PhaseOrders orders[2];
    size_t position_size;                 // bytes of position_message
    size_t centres_size;                  // bytes of centres_message
    size_t opening_size;                  // bytes of opening_message
    uint8_t opening_message[PHASE_POSITION_CAPACITY];  // the opening position as given, coasts chosen
    uint8_t position_message[PHASE_POSITION_CAPACITY]; // the current phase as sent to bots
    uint8_t centres_message[PHASE_CENTRES_CAPACITY];   // its ownership as sent to bots
};

// Whether the power has anything to order in `position`: a unit in a
// movement phase, a dislodged unit in a retreat phase, removals due, or
// builds due with a home centre free to build in.
bool referee_orders_due(const Position *position, uint16_t power);

// The power that owns more than half the supply centres in `position`, or
// POWER_NONE.
uint16_t referee_majority(const Position *position);
