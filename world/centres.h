// CentreTable: which supply centres each power owns, shared by reference
// count between the session and every Position built with it.
#pragma once

#include <cstddef>
#include <cstdint>

#include "brox.h"

// Builds a table from a MSG_CENTRE_OWNERSHIP message
// (world/centres_message.h; the address of its type word) for `map`;
// ref_count 0.  Entries for a power at or above the Map's power count
// (POWER_UNOWNED in games of at most eleven powers), for a province out of
// the Map's range, beyond the message's length or
// beyond a list's capacity are skipped.  Null when memory runs out.
CentreTable *centre_table_build(const Map *map, const uint8_t *message);

// A table with an empty list per power of `map`; ref_count 0.  Null when
// memory runs out.
CentreTable *centre_table_create(const Map *map);

// Appends a province to a power's list; 0 when the list is full.
int centre_table_add(CentreTable *table, uint16_t power, uint16_t province);

// Adds one holder and returns the table.  The count changes atomically:
// holders on different threads may retain and release at the same time.
CentreTable *centre_table_retain(CentreTable *table);

// Drops one holder, atomically; the last release frees the lists of the
// Map's powers and the table.  `map` must be the Map the table was built
// for.
void centre_table_release(const Map *map, CentreTable *table);
