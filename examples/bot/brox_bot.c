/*
 * brox_bot.c -- an example bot on the Brox library, meant to be copied.
 *
 * It joins a game (or rejoins it after a restart, through the rejoin file
 * in its current directory), hands every delivered record to
 * brox_process_msg, and whenever a new position has come it chooses its
 * orders and submits them:
 *   - spring, fall (moves) and summer, autumn (retreats): a best-first
 *     agenda search over its own units' candidate orders, each trial
 *     adjudicated by the library and scored by score_position below;
 *   - winter: builds on free home centres and removals of the units
 *     farthest from home, as many as are due.
 *
 * Usage: brox_bot [-n host | -i address] [-p port] [--steps N]
 *                 [--name TEXT] [--verbose]   (--help explains them)
 */
#include <brox.h>
#include <vorn.h>

#include <errno.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#define BOT_VERSION "1.0"
#define NAME_LIMIT 64 /* the join message holds 64 characters and a NUL */

typedef struct BotOptions {
    int steps;
    char name[NAME_LIMIT + 1];
    int verbose;
} BotOptions;

/* ===================================================================
 * Reading candidate sets
 * =================================================================== */

/* The unit's first candidate with this token, or NULL. */
static Order *candidate_with(Unit *unit, uint16_t token) {
    for (Order *order = brox_candidate_first(unit); order; order = brox_candidate_next(unit, order))
        if (order->token == token) return order;
    return NULL;
}

static int has_candidates(const Unit *unit) { return unit->candidates.root != NULL; }

static void set_plain_order(Unit *unit, uint16_t token) {
    memset(&unit->order, 0, sizeof unit->order);
    unit->order.token = token;
}

/* ===================================================================
 * Scoring: what a resulting Position is worth to the searching power
 * =================================================================== */

typedef struct Scoring {
    uint16_t power; /* the searching power's index */
} Scoring;

enum {
    SCORE_BASE = 100000,       /* keeps every score positive */
    SCORE_CENTRE_HELD = 1000,  /* a supply centre with our unit in it */
    SCORE_CENTRE_OWNED = 950,  /* a centre we own that no other power occupies */
    SCORE_CENTRE_THREAT = 200, /* a centre we own, occupied by another power */
    SCORE_UNIT = 300,          /* every unit we keep */
    SCORE_DISLODGED = 250,     /* taken off for each unit of ours dislodged */
    SCORE_NEAR = 60,           /* per step closer to a centre we do not own */
    NEAR_RANGE = 8
};

/* Distance from a unit's province to the nearest supply centre that the
 * power does not own yet (NEAR_RANGE when none is closer). */
static int distance_to_target(const Position *position, uint16_t power, uint16_t from) {
    const Map *map = position->map;
    int best = NEAR_RANGE;
    for (uint16_t p = 0; p < map->province_count; p++) {
        if (map->provinces[p].centre_kind == CENTRE_NONE || position->provinces[p].owner == power) continue;
        int d = p == from ? 0 : map->distance[from][p];
        if (d < best) best = d;
    }
    return best;
}

/* Values the searching power's supply centres in the Position: those its
 * units stand on, those it owns, and a little for units on their way to
 * centres it does not own. */
static uint32_t score_position(Position *position, void *user_data) {
    const Scoring *scoring = (const Scoring *)user_data;
    const Map *map = position->map;
    uint32_t score = SCORE_BASE;
    for (uint16_t p = 0; p < map->province_count; p++) {
        if (map->provinces[p].centre_kind == CENTRE_NONE) continue;
        const ProvinceState *province = &position->provinces[p];
        const Unit *unit = province->unit;
        if (unit && unit->power == scoring->power)
            score += SCORE_CENTRE_HELD;
        else if (province->owner == scoring->power)
            score += unit ? SCORE_CENTRE_THREAT : SCORE_CENTRE_OWNED;
    }
    for (uint16_t u = 0; u < position->unit_count; u++) {
        const Unit *unit = position->units[u];
        if (unit->power != scoring->power || !unit->location) continue;
        score += SCORE_UNIT;
        if (unit->dislodged) score -= SCORE_DISLODGED;
        uint16_t here = (uint16_t)(unit->location->province - position->provinces);
        score += (uint32_t)(SCORE_NEAR * (NEAR_RANGE - distance_to_target(position, scoring->power, here)));
    }
    return score;
}

/* ===================================================================
 * Moves and retreats: the agenda search
 * =================================================================== */

/* Whether an item chooses for every unit of the power that has candidates
 * (`complete`), and for no unit of another power (`own_only`). */
static void item_coverage(const AgendaItem *item, const Position *position, uint16_t power,
                          int *complete, int *own_only) {
    *complete = 1;
    *own_only = 1;
    for (uint16_t u = 0; u < position->unit_count; u++) {
        const Unit *unit = position->units[u];
        if (unit->power == power && has_candidates(unit) && !item->choices[u]) *complete = 0;
        if (unit->power != power && item->choices[u]) *own_only = 0;
    }
}

static AgendaItem *best_item(Agenda *agenda) {
    return (AgendaItem *)LUM_AVL_ITEM(&agenda->by_score, agenda->by_score.last);
}

/* Runs `steps` agenda steps and copies into `chosen` the best item that
 * orders all of the power's units and none of the others (the others are
 * assumed to hold); failing that, the best item that orders only some of
 * its units.  Returns 0 when nothing was found. */
static int search(Session *session, Position *position, uint16_t power, int steps,
                  Order *chosen[MAX_UNITS]) {
    Scoring scoring = {power};
    Agenda *agenda = brox_agenda_new(position, score_position, &scoring);
    if (!agenda) return 0;
    uint32_t best_score = 0;
    int best_complete = 0, found = 0;
    for (int step = 0;; step++) {
        AgendaItem *top = best_item(agenda);
        if (!top) break;
        int complete, own_only;
        item_coverage(top, position, power, &complete, &own_only);
        if (own_only && (!found || complete > best_complete ||
                         (complete == best_complete && top->score > best_score))) {
            memcpy(chosen, top->choices, sizeof top->choices);
            best_score = top->score;
            best_complete = complete;
            found = 1;
        }
        if (step >= steps || !brox_agenda_step(session, agenda)) break;
        brox_agenda_item_free(top, 1); /* taken out by the step: ours to free */
    }
    brox_agenda_free(agenda);
    return found;
}

/* Gives every unit of the power its chosen order, or the season's default
 * (hold; disband for a dislodged unit in a retreat season). */
static void apply_choices(Position *position, uint16_t power, Order *chosen[MAX_UNITS], int retreats) {
    for (uint16_t u = 0; u < position->unit_count; u++) {
        Unit *unit = position->units[u];
        if (unit->power != power) continue;
        if (chosen[u]) {
            unit->order = *chosen[u];
        } else if (retreats && unit->dislodged) {
            Order *disband = candidate_with(unit, ORD_DISBAND);
            if (disband) unit->order = *disband;
            else set_plain_order(unit, ORD_DISBAND);
        } else {
            set_plain_order(unit, ORD_HOLD);
        }
    }
}

/* ===================================================================
 * Winter: builds and removals
 * =================================================================== */

static uint16_t province_index(const Position *position, const LocationState *location) {
    return (uint16_t)(location->province - position->provinces);
}

/* A build candidate of the first slot in a province not used yet,
 * preferring a fleet location when `want_fleet`. */
static Order *pick_build(Unit *first_slot, const Position *position, const int *used, int want_fleet) {
    Order *fallback = NULL;
    for (Order *order = brox_candidate_first(first_slot); order; order = brox_candidate_next(first_slot, order)) {
        if (order->token != ORD_BUILD || !order->target) continue;
        if (used[province_index(position, order->target)]) continue;
        int fleet = order->target->coast != COAST_ARMY;
        if (fleet == want_fleet) return order;
        if (!fallback) fallback = order;
    }
    return fallback;
}

static void choose_builds(Position *position, uint16_t power) {
    int used[MAX_PROVINCES] = {0};
    int armies = 0, fleets = 0;
    Unit *first_slot = NULL;
    for (uint16_t u = 0; u < position->unit_count; u++) {
        const Unit *unit = position->units[u];
        if (unit->power != power || !unit->location) continue;
        if (unit->location->coast == COAST_ARMY) armies++;
        else fleets++;
    }
    for (uint16_t u = 0; u < position->unit_count; u++) {
        Unit *slot = position->units[u];
        if (slot->power != power || slot->location) continue;
        if (!first_slot) first_slot = slot; /* only the first slot has the candidates */
        Order *build = pick_build(first_slot, position, used, 2 * fleets < armies);
        if (!build) break; /* no place left: the remaining slots waive */
        slot->order = *build;
        used[province_index(position, build->target)] = 1;
        int fleet = build->target->coast != COAST_ARMY;
        slot->unit_type = fleet ? UNIT_FLEET : UNIT_ARMY;
        if (fleet) fleets++;
        else armies++;
    }
}

static void choose_removals(Position *position, uint16_t power, int due) {
    const Map *map = position->map;
    for (; due > 0; due--) {
        Unit *farthest = NULL;
        Order *removal = NULL;
        int distance = -1;
        for (uint16_t u = 0; u < position->unit_count; u++) {
            Unit *unit = position->units[u];
            if (unit->power != power || !unit->location || unit->order.token == ORD_REMOVE) continue;
            Order *remove = candidate_with(unit, ORD_REMOVE);
            int d = map->home_distance[power][province_index(position, unit->location)];
            if (remove && d >= distance) {
                farthest = unit;
                removal = remove;
                distance = d;
            }
        }
        if (!farthest) return;
        farthest->order = *removal;
    }
}

/* ===================================================================
 * One phase
 * =================================================================== */

static const char *season_name(uint16_t season) {
    switch (season) {
    case SEASON_SPRING: return "spring";
    case SEASON_SUMMER: return "summer";
    case SEASON_FALL: return "fall";
    case SEASON_AUTUMN: return "autumn";
    case SEASON_WINTER: return "winter";
    default: return "?";
    }
}

static void play_phase(Session *session, const BotOptions *options) {
    Position *position = session->position;
    if (!position) return;
    uint16_t power = brox_session_power(session);
    if (power == POWER_NONE) return;

    if (position->season == SEASON_WINTER) {
        if (position->adjustment[power] == 0) return;
        if (position->adjustment[power] > 0) choose_builds(position, power);
        if (position->adjustment[power] < 0) choose_removals(position, power, -position->adjustment[power]);
    } else {
        int retreats = position->season == SEASON_SUMMER || position->season == SEASON_AUTUMN;
        int to_order = 0;
        for (uint16_t u = 0; u < position->unit_count; u++)
            to_order += position->units[u]->power == power && has_candidates(position->units[u]);
        if (!to_order) return;
        Order *chosen[MAX_UNITS] = {0};
        search(session, position, power, options->steps, chosen);
        apply_choices(position, power, chosen, retreats);
    }
    if (options->verbose)
        printf("brox_bot: %s %u: orders sent\n", season_name(position->season), position->year);
    brox_order_submit(NULL, position, (uint16_t)(power << 8));
}

/* ===================================================================
 * Command line and the receive loop
 * =================================================================== */

static void stop_on_signal(int signal_number) {
    (void)signal_number;
    vorn_client_stop();
}

static const char USAGE[] =
    "Usage: brox_bot [-n host | -i address] [-p port] [--steps N] [--name TEXT] [--verbose]\n"
    "  -n host      the game server's host name (default localhost)\n"
    "  -i address   the game server's numeric IPv4 or IPv6 address\n"
    "  -p port      the game server's port, 1 to 65535 (default 16713)\n"
    "  --steps N    agenda steps per phase, 0 to 100000 (default 30)\n"
    "  --name TEXT  the name it joins with, up to 64 characters (default brox_bot)\n"
    "  --verbose    print a line for every phase it plays\n"
    "Run each bot in a folder of its own: the rejoin file broxgame.log\n"
    "lives in the current directory.\n";

/* Reads a whole number from lo to hi; says why not on stderr. */
static int read_number(const char *option, const char *text, long lo, long hi, long *value) {
    char *end;
    errno = 0;
    long number = strtol(text, &end, 10);
    if (end == text || *end != '\0') {
        fprintf(stderr, "brox_bot: %s: \"%s\" is not a number\n", option, text);
        return 0;
    }
    if (errno == ERANGE || number < lo || number > hi) {
        fprintf(stderr, "brox_bot: %s must be %ld to %ld\n", option, lo, hi);
        return 0;
    }
    *value = number;
    return 1;
}

/* Returns 0 to play, -1 after --help, 2 after a complaint on stderr. */
static int parse_options(int argc, char **argv, BotOptions *options) {
    options->steps = 30;
    options->verbose = 0;
    strcpy(options->name, "brox_bot");
    for (int i = 1; i < argc; i++) {
        const char *option = argv[i];
        if (!strcmp(option, "--help") || !strcmp(option, "-h")) {
            fputs(USAGE, stdout);
            return -1;
        }
        if (!strcmp(option, "--verbose")) {
            options->verbose = 1;
            continue;
        }
        int server = !strcmp(option, "-n") || !strcmp(option, "-i") || !strcmp(option, "-p");
        if (!server && strcmp(option, "--steps") && strcmp(option, "--name")) {
            fprintf(stderr, "brox_bot: unknown option %s (see --help)\n", option);
            return 2;
        }
        if (i + 1 >= argc) {
            fprintf(stderr, "brox_bot: %s needs a value (see --help)\n", option);
            return 2;
        }
        char *value = argv[++i];
        long number = 0;
        if (!strcmp(option, "--steps")) {
            if (!read_number(option, value, 0, 100000, &number)) return 2;
            options->steps = (int)number;
        } else if (!strcmp(option, "--name")) {
            if (strlen(value) > NAME_LIMIT) {
                fprintf(stderr, "brox_bot: --name must be at most %d characters\n", NAME_LIMIT);
                return 2;
            }
            strcpy(options->name, value);
        } else {
            if (!strcmp(option, "-p") && !read_number(option, value, 1, 65535, &number)) return 2;
            /* The client library keeps where the server is. */
            char *pair[3] = {argv[0], argv[i - 1], value};
            if (!vorn_client_configure(3, pair)) {
                fprintf(stderr, "brox_bot: %s: \"%s\" is not a %s\n", option, value,
                        option[1] == 'i' ? "numeric IPv4 or IPv6 address" : "usable host name");
                return 2;
            }
        }
    }
    return 0;
}

int main(int argc, char **argv) {
    BotOptions options;
    int status = parse_options(argc, argv, &options);
    if (status) return status < 0 ? 0 : status;
    signal(SIGINT, stop_on_signal);
    signal(SIGTERM, stop_on_signal);

    Session session;
    brox_initialise(&session, vorn_client_release);
    brox_game_join(&session, options.name, BOT_VERSION);

    int running = 1, position_waiting = 0, ended_by_server = 0, stopped = 0;
    while (running) {
        /* Records already waiting are taken first, so that the bot plays
         * only the latest position when several have arrived. */
        uint8_t *record = vorn_client_receive(position_waiting ? 0 : 1000);
        if (!record) {
            if (position_waiting) play_phase(&session, &options);
            position_waiting = 0;
            continue;
        }
        uint16_t type = brox_record_type(record);
        int release;
        brox_process_msg(&session, record, &running, &release);
        if (type == MSG_ASSIGNMENT)
            printf("brox_bot: power %u%s\n", (unsigned)brox_session_power(&session),
                   session.rejoining ? " (rejoined)" : "");
        if (type == MSG_POSITION && session.position) position_waiting = 1;
        if (type == MSG_GAME_END || type == MSG_SESSION_END) ended_by_server = 1;
        if (record[0] == KIND_STOP_A || record[0] == KIND_STOP_B) stopped = 1;
        if (release) vorn_client_release(record);
        fflush(stdout);
    }
    printf("brox_bot: %s\n", ended_by_server ? "game over" : stopped ? "stopped" : "connection ended");
    brox_terminate(&session);
    vorn_client_disconnect();
    return ended_by_server || stopped ? 0 : 1;
}
