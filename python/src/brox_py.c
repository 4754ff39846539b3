/*
 * brox_py.c -- the brox Python package's own C helpers, compiled into its
 * extension brox._brox.  They read and write only the records of brox.h,
 * through its exported calls, and do in one call the loops over a
 * Position's units and provinces that would cost Python's price per unit:
 * the board encoding, the table of legal orders, choosing by index and at
 * random.  Every index coming from Python is checked here.
 */
#include <dlfcn.h>
#include <stdlib.h>
#include <string.h>

#include <brox.h>
#include <vorn.h>

/* Columns of brox_py_board, per province (see brox/arrays.py). */
#define BROX_PY_BOARD_FEATURES 10
/* Columns of brox_py_order_table, per candidate (see brox/arrays.py). */
#define BROX_PY_ORDER_COLUMNS 8
/* Columns of brox_py_order_describe before the route. */
#define BROX_PY_ORDER_FIELDS 7

/* The library version the extension was compiled for ("0.2.0"). */
static const char *brox_py_built_for(void) { return BROX_PY_BUILT_FOR; }

/* The file of the libbrox actually loaded, symbolic links resolved, as a
 * NUL-terminated text in `path`.  Returns its length, or 0 when the loader
 * cannot tell or `size` is too small. */
static int brox_py_loaded_library(char *path, int size) {
    Dl_info info;
    if (size <= 0 || !dladdr((void *)&brox_adjudicate, &info) || !info.dli_fname) return 0;
    char *resolved = realpath(info.dli_fname, NULL);
    const char *name = resolved ? resolved : info.dli_fname;
    size_t length = strlen(name);
    int fits = length < (size_t)size;
    if (fits) memcpy(path, name, length + 1);
    free(resolved);
    return fits ? (int)length : 0;
}

/* The index of a ProvinceState of `position`, or -1 for null or one of
 * another Position. */
static int brox_py_province_index(const Position *position, const ProvinceState *province) {
    if (!position || !province) return -1;
    if (province < position->provinces || province >= position->provinces + position->map->province_count)
        return -1;
    return (int)(province - position->provinces);
}

/* The index of a Unit in position->units, or -1. */
static int brox_py_unit_index(const Position *position, const Unit *unit) {
    if (!position || !unit) return -1;
    for (int u = 0; u < position->unit_count && u < MAX_UNITS; u++)
        if (position->units[u] == unit) return u;
    return -1;
}

static int location_index(const LocationState *location) {
    return location && location->location ? location->location->index : -1;
}

static int brox_py_candidate_count(Unit *unit) { return unit ? (int)unit->candidates.count : 0; }

/* One order as numbers: token, target location, target province, target
 * coast, other unit, route length, then the route's province indices.
 * -1 where the order has nothing.  `out` holds BROX_PY_ORDER_FIELDS +
 * MAX_ROUTE entries.  Returns 0 for a null argument. */
static int brox_py_order_describe(const Position *position, const Order *order, int32_t *out) {
    if (!position || !order || !out) return 0;
    out[0] = order->token;
    out[1] = location_index(order->target);
    out[2] = order->target ? brox_py_province_index(position, order->target->province) : -1;
    out[3] = order->target ? order->target->coast : -1;
    out[4] = brox_py_unit_index(position, order->other_unit);
    int length = order->route_length < MAX_ROUTE ? order->route_length : MAX_ROUTE;
    out[5] = length;
    out[6] = 0;
    for (int r = 0; r < length; r++) out[BROX_PY_ORDER_FIELDS + r] = brox_py_province_index(position, order->route[r]);
    return 1;
}

/* The agenda's best item (the last of by_score), or null when it is empty. */
static AgendaItem *brox_py_agenda_best(Agenda *agenda) {
    if (!agenda) return NULL;
    return (AgendaItem *)LUM_AVL_ITEM(&agenda->by_score, agenda->by_score.last);
}

/* ===================================================================
 * Arrays for learning
 * =================================================================== */

static int unit_kind(const Unit *unit) { return !unit ? 0 : unit->unit_type == UNIT_FLEET ? 2 : 1; }

/* The board: BROX_PY_BOARD_FEATURES numbers per province, row by row,
 * into `out` (province_count rows).  Returns the number of rows. */
static int brox_py_board(const Position *position, int16_t *out) {
    if (!position || !out) return 0;
    const Map *map = position->map;
    int nobody = map->power_count;
    for (int p = 0; p < map->province_count; p++) {
        const Province *province = &map->provinces[p];
        const ProvinceState *state = &position->provinces[p];
        int16_t *row = out + p * BROX_PY_BOARD_FEATURES;
        row[0] = province->terrain;
        row[1] = province->centre_kind;
        row[2] = province->centre_kind == CENTRE_HOME && province->home_power < nobody ? province->home_power : -1;
        row[3] = province->centre_kind != CENTRE_NONE && state->owner < nobody ? state->owner : -1;
        row[4] = unit_kind(state->unit);
        row[5] = state->unit ? state->unit->power : -1;
        row[6] = state->unit ? location_index(state->unit->location) : -1;
        row[7] = unit_kind(state->dislodged_unit);
        row[8] = state->dislodged_unit ? state->dislodged_unit->power : -1;
        row[9] = state->dislodged_unit ? location_index(state->dislodged_unit->location) : -1;
    }
    return map->province_count;
}

static int brox_py_candidate_counts(Position *position, int32_t *out) {
    if (!position || !out) return 0;
    for (int u = 0; u < position->unit_count; u++) out[u] = (int32_t)position->units[u]->candidates.count;
    return position->unit_count;
}

/* Every candidate of every unit, one row of BROX_PY_ORDER_COLUMNS each:
 * unit, candidate index, token, the unit's location, target location,
 * target province, other unit, the other unit's location (-1 where none).
 * Returns the number of rows written, or minus the number needed when
 * `rows` is too few (nothing written then). */
static int brox_py_order_table(Position *position, int32_t *out, int rows) {
    if (!position) return 0;
    int needed = 0;
    for (int u = 0; u < position->unit_count; u++) needed += (int)position->units[u]->candidates.count;
    if (needed > rows || !out) return -needed;
    int32_t *row = out;
    for (int u = 0; u < position->unit_count; u++) {
        Unit *unit = position->units[u];
        int k = 0;
        for (Order *order = brox_candidate_first(unit); order; order = brox_candidate_next(unit, order), k++) {
            row[0] = u;
            row[1] = k;
            row[2] = order->token;
            row[3] = location_index(unit->location);
            row[4] = location_index(order->target);
            row[5] = order->target ? brox_py_province_index(position, order->target->province) : -1;
            row[6] = brox_py_unit_index(position, order->other_unit);
            row[7] = order->other_unit ? location_index(order->other_unit->location) : -1;
            row += BROX_PY_ORDER_COLUMNS;
        }
    }
    return needed;
}

/* ===================================================================
 * Choosing orders for many units at once
 * =================================================================== */

/* The first build slot of `power` (a unit without location), or null. */
static Unit *first_slot(Position *position, uint16_t power) {
    for (int u = 0; u < position->unit_count; u++) {
        Unit *unit = position->units[u];
        if (!unit->location && unit->power == power) return unit;
    }
    return NULL;
}

/* The units whose candidates a unit chooses from: its own, or for a later
 * build slot those of its power's first slot. */
static Unit *choosing_from(Position *position, Unit *unit) {
    if (unit->location || unit->candidates.count) return unit;
    Unit *first = first_slot(position, unit->power);
    return first ? first : unit;
}

static Order *candidate_at(Unit *unit, int k) {
    Order *order = brox_candidate_first(unit);
    for (; order && k > 0; k--) order = brox_candidate_next(unit, order);
    return order;
}

/* Copies a candidate into a unit's chosen order; a build slot becomes a
 * fleet for a build at a fleet location, an army otherwise. */
static void give_order(Unit *unit, const Order *order) {
    unit->order = *order;
    if (!unit->location)
        unit->unit_type = order->token == ORD_BUILD && order->target && order->target->coast != COAST_ARMY
                              ? UNIT_FLEET
                              : UNIT_ARMY;
}

/* indices[u]: the candidate (by its place in the walk of the unit's set,
 * or of its power's first build slot for a later slot) unit u takes; -1
 * leaves its order as it is.  `count` must be the unit count.  Checks
 * every index before it changes anything: returns -1 when all were
 * applied, else the first unit whose index is out of range (nothing
 * changed), or -2 for a count that is not the unit count. */
static int brox_py_choose(Position *position, const int32_t *indices, int count) {
    if (!position || !indices || count != position->unit_count) return -2;
    for (int u = 0; u < count; u++) {
        Unit *from = choosing_from(position, position->units[u]);
        if (indices[u] < -1 || indices[u] >= (int32_t)from->candidates.count) return u;
    }
    for (int u = 0; u < count; u++) {
        if (indices[u] < 0) continue;
        Unit *unit = position->units[u];
        give_order(unit, candidate_at(choosing_from(position, unit), indices[u]));
    }
    return -1;
}

/* Draw d in [0, 1) picks entry floor(d * n) of n. */
static int pick(double draw, int n) {
    int k = (int)(draw * n);
    if (k < 0) k = 0;
    if (k >= n) k = n - 1;
    return k;
}

/* How an order reaches a unit: written into its order field (a Position
 * of one's own), or given through a referee (a game's current Position),
 * which keeps its own copy; the unit's field then shows what was taken. */
typedef struct Giver {
    BroxReferee *referee; /* null: write the unit's order directly */
    int refused;          /* orders the referee refused */
} Giver;

/* Gives unit u the order; returns the REFUSAL_ code (REFUSAL_NONE taken). */
static int give(Giver *giver, Position *position, int u, const Order *order) {
    Unit *unit = position->units[u];
    if (!giver->referee) {
        give_order(unit, order);
        return REFUSAL_NONE;
    }
    uint16_t refusal = REFUSAL_NOT_LEGAL;
    if (brox_referee_order(giver->referee, (uint16_t)u, order, &refusal)) {
        give_order(unit, order);
        return REFUSAL_NONE;
    }
    giver->refused++;
    return refusal;
}

/* The random draw of brox_py_choose_random, each order handed to `giver`. */
static void choose_random_with(Giver *giver, Position *position, const double *draws, int power) {
    char used[MAX_PROVINCES];
    int used_by = -1; /* power whose builds `used` marks */
    for (int u = 0; u < position->unit_count; u++) {
        Unit *unit = position->units[u];
        if (power >= 0 && unit->power != power) continue;
        if (unit->location) {
            int n = (int)unit->candidates.count;
            if (n) give(giver, position, u, candidate_at(unit, pick(draws[u], n)));
            continue;
        }
        if (used_by != unit->power) {
            memset(used, 0, sizeof used);
            used_by = unit->power;
        }
        Unit *first = choosing_from(position, unit);
        Order *open[MAX_LOCATIONS + 1];
        int n = 0;
        for (Order *order = brox_candidate_first(first); order && n <= MAX_LOCATIONS;
             order = brox_candidate_next(first, order)) {
            int province = order->target ? brox_py_province_index(position, order->target->province) : -1;
            if (order->token == ORD_BUILD && province >= 0 && used[province]) continue;
            open[n++] = order;
        }
        if (!n) continue;
        Order *chosen = open[pick(draws[u], n)];
        if (give(giver, position, u, chosen) != REFUSAL_NONE) continue;
        int province = chosen->target ? brox_py_province_index(position, chosen->target->province) : -1;
        if (chosen->token == ORD_BUILD && province >= 0) used[province] = 1;
    }
}

/* Gives every unit of `power` (every power for -1) an order drawn with
 * draws[u] uniformly from its candidates.  Build slots draw from their
 * power's first slot: a waive, or a build in a province that no earlier
 * slot of the power builds in.  Units without candidates keep their
 * order.  `count` must be the unit count.  Returns 1, or 0 (nothing
 * changed) for a bad argument. */
static int brox_py_choose_random(Position *position, const double *draws, int count, int power) {
    if (!position || !draws || count != position->unit_count) return 0;
    Giver giver = {NULL, 0};
    choose_random_with(&giver, position, draws, power);
    return 1;
}

/* ===================================================================
 * Games through the referee
 *
 * The same choices for a game's current Position, each order given with
 * brox_referee_order (so the referee checks it and keeps a refusal for the
 * record), and loops over many games in one call.
 * =================================================================== */

/* Besides the REFUSAL_ codes (0 and up), what the helpers below return
 * when they cannot give an order at all. */
#define BROX_PY_NO_GAME (-1)       /* a null referee: the game was closed */
#define BROX_PY_BAD_UNIT (-2)      /* a unit index out of range */
#define BROX_PY_BAD_CANDIDATE (-3) /* a candidate index out of range */

static int brox_py_referee_order(BroxReferee *referee, int unit, const Order *order) {
    Position *position = brox_referee_position(referee);
    if (!position) return BROX_PY_NO_GAME;
    if (unit < 0 || unit >= position->unit_count) return BROX_PY_BAD_UNIT;
    Giver giver = {referee, 0};
    return give(&giver, position, unit, order);
}

/* Gives unit `unit` its candidate `candidate` (its place in the walk of
 * the unit's set, or of its power's first build slot for a later slot). */
static int brox_py_referee_order_index(BroxReferee *referee, int unit, int candidate) {
    Position *position = brox_referee_position(referee);
    if (!position) return BROX_PY_NO_GAME;
    if (unit < 0 || unit >= position->unit_count) return BROX_PY_BAD_UNIT;
    Unit *from = choosing_from(position, position->units[unit]);
    if (candidate < 0 || candidate >= (int)from->candidates.count) return BROX_PY_BAD_CANDIDATE;
    Giver giver = {referee, 0};
    return give(&giver, position, unit, candidate_at(from, candidate));
}

/* Candidates each unit of the Position chooses from (a later build slot:
 * its power's first slot's), into out[unit_count].  Returns the unit
 * count, or -1 for a null Position. */
static int brox_py_choosable_counts(Position *position, int32_t *out) {
    if (!position || !out) return -1;
    for (int u = 0; u < position->unit_count; u++)
        out[u] = (int32_t)choosing_from(position, position->units[u])->candidates.count;
    return position->unit_count;
}

/* brox_py_choose for a game: every index checked first (returns the first
 * unit out of range, nothing given), then each order given to the
 * referee, its REFUSAL_ code in refusals[u] (0 for an index of -1).
 * Returns -1 when every index was in range, -2 for a count that is not the
 * unit count (or a null array), -3 for a null referee. */
static int brox_py_referee_choose(BroxReferee *referee, const int32_t *indices, int count, int32_t *refusals) {
    Position *position = brox_referee_position(referee);
    if (!position) return -3;
    if (!indices || !refusals || count != position->unit_count) return -2;
    for (int u = 0; u < count; u++) {
        Unit *from = choosing_from(position, position->units[u]);
        if (indices[u] < -1 || indices[u] >= (int32_t)from->candidates.count) return u;
    }
    Giver giver = {referee, 0};
    for (int u = 0; u < count; u++) {
        refusals[u] = REFUSAL_NONE;
        if (indices[u] < 0) continue;
        Unit *from = choosing_from(position, position->units[u]);
        refusals[u] = give(&giver, position, u, candidate_at(from, indices[u]));
    }
    return -1;
}

/* brox_py_choose_random for a game: draws[u] for unit u (`count` at least
 * the unit count).  Returns the orders the referee refused (removals
 * beyond those due), or BROX_PY_NO_GAME, or -2 for too few draws. */
static int brox_py_referee_choose_random(BroxReferee *referee, const double *draws, int count, int power) {
    Position *position = brox_referee_position(referee);
    if (!position) return BROX_PY_NO_GAME;
    if (!draws || count < position->unit_count) return -2;
    Giver giver = {referee, 0};
    choose_random_with(&giver, position, draws, power);
    return giver.refused;
}

/* Many games at once: `count` referees; row g of `draws`, `indices` and
 * the outputs belongs to game g, `stride` entries apart (at least
 * MAX_UNITS).  Games that are over are left alone.  Each returns -1 when
 * done, else the first game that is null (closed). */
static int brox_py_games_choose_random(BroxReferee *const *referees, int count, const double *draws, int stride,
                                       int power) {
    for (int g = 0; g < count; g++) {
        if (!referees[g]) return g;
        if (brox_referee_over(referees[g])) continue;
        Giver giver = {referees[g], 0};
        choose_random_with(&giver, brox_referee_position(referees[g]), draws + (size_t)g * stride, power);
    }
    return -1;
}

/* Per game, each unit's candidate index (-1 leaves it); refusals as in
 * brox_py_referee_choose.  Every index of every game is checked first:
 * returns g * MAX_UNITS + u for the first unit u of game g out of range
 * (nothing given), -1 when all were given, -2 for a null referee (its game
 * in *bad). */
static int brox_py_games_choose(BroxReferee *const *referees, int count, const int32_t *indices, int stride,
                                int32_t *refusals, int *bad) {
    for (int g = 0; g < count; g++) {
        if (!referees[g]) {
            *bad = g;
            return -2;
        }
        Position *position = brox_referee_position(referees[g]);
        if (brox_referee_over(referees[g])) continue;
        for (int u = 0; u < position->unit_count; u++) {
            int32_t k = indices[(size_t)g * stride + u];
            if (k < -1 || k >= (int32_t)choosing_from(position, position->units[u])->candidates.count)
                return g * MAX_UNITS + u;
        }
    }
    for (int g = 0; g < count; g++) {
        if (brox_referee_over(referees[g])) continue;
        Position *position = brox_referee_position(referees[g]);
        brox_py_referee_choose(referees[g], indices + (size_t)g * stride, position->unit_count,
                               refusals + (size_t)g * stride);
    }
    return -1;
}

/* Steps every game that is not over; over[g] is then its END_ code.
 * Returns -1 when every step succeeded, else the first game whose step
 * failed (brox_referee_failure says why; the others were stepped), or
 * -2 - g for a null referee g (nothing stepped after it). */
static int brox_py_games_step(BroxReferee *const *referees, int count, uint16_t *over) {
    int failed = -1;
    for (int g = 0; g < count; g++) {
        if (!referees[g]) return -2 - g;
        if (!brox_referee_over(referees[g]) && !brox_referee_step(referees[g]) && failed < 0) failed = g;
        over[g] = brox_referee_over(referees[g]);
    }
    return failed;
}

/* Each game's choosable counts (brox_py_choosable_counts), a row of
 * `stride` per game, zero past its units; and its board (brox_py_board)
 * into `boards` (province_count rows per game) when not null.  Returns
 * -1, or the first null referee. */
static int brox_py_games_read(BroxReferee *const *referees, int count, int32_t *counts, int stride,
                              int16_t *boards) {
    for (int g = 0; g < count; g++) {
        if (!referees[g]) return g;
        Position *position = brox_referee_position(referees[g]);
        int32_t *row = counts + (size_t)g * stride;
        int units = brox_py_choosable_counts(position, row);
        for (int u = units; u < stride; u++) row[u] = 0;
        if (boards)
            brox_py_board(position, boards + (size_t)g * position->map->province_count * BROX_PY_BOARD_FEATURES);
    }
    return -1;
}
