/*
 * guide_bot.c -- the bot that docs/writing-a-bot.md walks through.
 *
 * It joins a game (or rejoins it after a restart), hands every delivered
 * record to the library, and on every new position chooses and submits its
 * orders: an agenda search in the movement and retreat seasons, simple
 * rules for builds and removals in winter.
 *
 * Usage: guide_bot [-n host | -i address] [-p port] [--steps N] [--budget MS]
 */
#define _POSIX_C_SOURCE 200809L /* clock_gettime */

#include <brox.h>
#include <vorn.h>

#include <errno.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

/* ===================================================================
 * Command line
 * =================================================================== */

static const char USAGE[] =
    "Usage: guide_bot [-n host | -i address] [-p port] [--steps N] [--budget MS]\n"
    "  -n host      the game server's host name (default localhost)\n"
    "  -i address   the game server's numeric IPv4 or IPv6 address\n"
    "  -p port      the game server's port, 1 to 65535 (default 16713)\n"
    "  --steps N    agenda steps per phase, 0 to 1000 (default 20)\n"
    "  --budget MS  milliseconds a phase's search may take, 1 to 60000\n"
    "               (default: as long as the steps take)\n"
    "Run each bot in a folder of its own: the rejoin file broxgame.log\n"
    "lives in the current directory.\n";

/* Reads a whole number from lo to hi; says why not on stderr. */
static int read_number(const char *option, const char *text, long lo, long hi, long *value) {
    char *end;
    errno = 0;
    long number = strtol(text, &end, 10);
    if (end == text || *end != '\0') {
        fprintf(stderr, "guide_bot: %s: \"%s\" is not a number\n", option, text);
        return 0;
    }
    if (errno == ERANGE || number < lo || number > hi) {
        fprintf(stderr, "guide_bot: %s must be %ld to %ld\n", option, lo, hi);
        return 0;
    }
    *value = number;
    return 1;
}

/* How long a phase's search may go on: at most `steps` agenda steps and,
 * when `budget_ms` is above 0, no step begun that would end past it. */
typedef struct Search {
    int steps;
    int budget_ms;
} Search;

/* Returns 0 to play, -1 after --help, 2 after a complaint. */
static int parse_options(int argc, char **argv, Search *search) {
    search->steps = 20;
    search->budget_ms = 0;
    for (int i = 1; i < argc; i++) {
        const char *option = argv[i];
        if (!strcmp(option, "--help") || !strcmp(option, "-h")) {
            fputs(USAGE, stdout);
            return -1;
        }
        int server = !strcmp(option, "-n") || !strcmp(option, "-i") || !strcmp(option, "-p");
        if (!server && strcmp(option, "--steps") && strcmp(option, "--budget")) {
            fprintf(stderr, "guide_bot: unknown option %s (see --help)\n", option);
            return 2;
        }
        if (i + 1 >= argc) {
            fprintf(stderr, "guide_bot: %s needs a value (see --help)\n", option);
            return 2;
        }
        char *value = argv[++i];
        long number = 0;
        if (!strcmp(option, "--steps")) {
            if (!read_number(option, value, 0, 1000, &number)) return 2;
            search->steps = (int)number;
            continue;
        }
        if (!strcmp(option, "--budget")) {
            if (!read_number(option, value, 1, 60000, &number)) return 2;
            search->budget_ms = (int)number;
            continue;
        }
        if (!strcmp(option, "-p") && !read_number(option, value, 1, 65535, &number)) return 2;
        /* The client library keeps where the server is. */
        char *pair[3] = {argv[0], argv[i - 1], value};
        if (!vorn_client_configure(3, pair)) {
            fprintf(stderr, "guide_bot: %s: \"%s\" is not a %s\n", option, value,
                    option[1] == 'i' ? "numeric IPv4 or IPv6 address" : "usable host name");
            return 2;
        }
    }
    return 0;
}

/* ===================================================================
 * Reading candidates
 * =================================================================== */

/* The unit's candidate with this token, or NULL. */
static Order *candidate_with(Unit *unit, uint16_t token) {
    for (Order *order = brox_candidate_first(unit); order; order = brox_candidate_next(unit, order))
        if (order->token == token) return order;
    return NULL;
}

/* The province index of a place: the high byte of its province token. */
static uint16_t province_of(const LocationState *place) {
    return (uint16_t)(place->province->province->token >> 8);
}

/* ===================================================================
 * Scoring a position for the searching power
 * =================================================================== */

/* Moves from `from` to the nearest supply centre the power does not own
 * (8 when none is that close). */
static int moves_to_target(const Position *position, uint16_t power, uint16_t from) {
    const Map *map = position->map;
    int best = 8;
    for (uint16_t p = 0; p < map->province_count; p++) {
        if (map->provinces[p].centre_kind == CENTRE_NONE) continue;
        if (position->provinces[p].owner == power) continue;
        int moves = p == from ? 0 : map->distance[from][p];
        if (moves < best) best = moves;
    }
    return best;
}

/* The agenda wants an unsigned score, and only the order of scores counts:
 * a signed total is shifted up by 2^31 (and held within range), so that a
 * penalty may take it below zero without wrapping round to the top. */
static uint32_t unsigned_score(int64_t total) {
    int64_t shifted = total + 0x80000000LL;
    if (shifted < 0) return 0;
    if (shifted > (int64_t)UINT32_MAX) return UINT32_MAX;
    return (uint32_t)shifted;
}

/* Supply centres held and owned, units kept, a little for units on their
 * way to centres the power does not own yet, and a penalty for each unit
 * dislodged. */
static uint32_t score_position(Position *position, void *user_data) {
    uint16_t power = *(const uint16_t *)user_data;
    const Map *map = position->map;
    int64_t score = 0;
    for (uint16_t p = 0; p < map->province_count; p++) {
        if (map->provinces[p].centre_kind == CENTRE_NONE) continue;
        const ProvinceState *province = &position->provinces[p];
        if (province->unit && province->unit->power == power)
            score += 100; /* ours at the next winter */
        else if (province->owner == power)
            score += province->unit ? 30 : 90; /* owned, and maybe lost */
    }
    for (uint16_t u = 0; u < position->unit_count; u++) {
        const Unit *unit = position->units[u];
        if (unit->power != power || !unit->location) continue;
        if (unit->dislodged) {
            score -= 60; /* it must retreat, or is lost */
            continue;
        }
        score += 40 + 5 * (8 - moves_to_target(position, power, province_of(unit->location)));
    }
    return unsigned_score(score);
}

/* ===================================================================
 * Movement and retreats: the agenda search
 * =================================================================== */

/* The order of a unit the search chose nothing for: disband when it is
 * dislodged, else hold. */
static void give_default_order(Unit *unit) {
    Order *fallback = candidate_with(unit, unit->dislodged ? ORD_DISBAND : ORD_HOLD);
    if (fallback) {
        unit->order = *fallback;
    } else {
        memset(&unit->order, 0, sizeof unit->order);
        unit->order.token = ORD_HOLD;
    }
}

/* Milliseconds on a clock that only goes forward. */
static double clock_ms(void) {
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return (double)now.tv_sec * 1000.0 + (double)now.tv_nsec / 1e6;
}

/* The adjudications a step on `item` makes: one per candidate of each unit
 * it expands, the power's own units until the item is complete, then every
 * unit of every power. */
static long step_trials(const Position *position, const AgendaItem *item, uint16_t power) {
    long trials = 0;
    for (uint16_t u = 0; u < position->unit_count; u++)
        if (item->complete || position->units[u]->power == power) trials += position->units[u]->candidates.count;
    return trials;
}

/* Runs agenda steps while the search allows and gives each of the power's
 * units its choice in the best item taken out, or its default.  A step
 * cannot be cut short, so one is begun only when its trials, at the
 * slowest pace seen so far, still end within the budget. */
static void search_orders(Session *session, Position *position, uint16_t power, const Search *search) {
    Agenda *agenda = brox_agenda_new(position, score_position, &power);
    if (!agenda) return;
    AgendaItem *kept = NULL; /* the best item taken out so far: ours to free */
    double start = clock_ms(), ms_per_trial = 0;
    for (int step = 0; step <= search->steps; step++) {
        AgendaItem *best = LUM_AVL_ITEM(&agenda->by_score, agenda->by_score.last);
        if (!best) break;
        long trials = step_trials(position, best, power);
        double began = clock_ms();
        if (search->budget_ms > 0 && began - start + (double)trials * ms_per_trial > search->budget_ms) break;
        if (!brox_agenda_step(session, agenda)) break;
        double took = clock_ms() - began;
        if (trials > 0 && took / (double)trials > ms_per_trial) ms_per_trial = took / (double)trials;
        /* The step took `best` out of the agenda: it is ours now.  The
         * first one is the root, scored on this phase rather than the
         * next, so it is never kept. */
        if (step > 0 && (!kept || best->score > kept->score)) {
            brox_agenda_item_free(kept, 1);
            kept = best;
        } else {
            brox_agenda_item_free(best, 1);
        }
    }
    for (uint16_t u = 0; u < position->unit_count; u++) {
        Unit *unit = position->units[u];
        if (unit->power != power) continue; /* other powers' choices are guesses */
        if (kept && kept->choices[u])
            unit->order = *kept->choices[u];
        else
            give_default_order(unit);
    }
    brox_agenda_item_free(kept, 1);
    brox_agenda_free(agenda);
}

/* ===================================================================
 * Winter: builds and removals
 * =================================================================== */

/* A build candidate of the first build slot in a province not used yet,
 * of the kind wanted if there is one. */
static Order *pick_build(Unit *first_slot, const int used[], int want_fleet) {
    Order *other_kind = NULL;
    for (Order *order = brox_candidate_first(first_slot); order;
         order = brox_candidate_next(first_slot, order)) {
        if (order->token != ORD_BUILD || used[province_of(order->target)]) continue;
        int fleet = order->target->coast != COAST_ARMY;
        if (fleet == want_fleet) return order;
        if (!other_kind) other_kind = order;
    }
    return other_kind;
}

/* Gives each build slot a build in a province of its own: a fleet while the
 * power has fewer than half as many fleets as armies.  Slots without a
 * place left keep their ORD_WAIVE. */
static void choose_builds(Position *position, uint16_t power) {
    int used[MAX_PROVINCES] = {0};
    int armies = 0, fleets = 0;
    for (uint16_t u = 0; u < position->unit_count; u++) {
        const Unit *unit = position->units[u];
        if (unit->power != power || !unit->location) continue;
        if (unit->unit_type == UNIT_FLEET) fleets++;
        else armies++;
    }
    Unit *first_slot = NULL;
    for (uint16_t u = 0; u < position->unit_count; u++) {
        Unit *slot = position->units[u];
        if (slot->power != power || slot->location) continue; /* slots have no location */
        if (!first_slot) first_slot = slot; /* only the first slot has candidates */
        Order *build = pick_build(first_slot, used, 2 * fleets < armies);
        if (!build) break;
        slot->order = *build;
        used[province_of(build->target)] = 1;
        if (build->target->coast != COAST_ARMY) {
            slot->unit_type = UNIT_FLEET; /* the slot is an army until told */
            fleets++;
        } else {
            armies++;
        }
    }
}

/* Removes `due` units, those farthest from the power's home centres. */
static void choose_removals(Position *position, uint16_t power, int due) {
    const Map *map = position->map;
    for (; due > 0; due--) {
        Unit *farthest = NULL;
        Order *removal = NULL;
        for (uint16_t u = 0; u < position->unit_count; u++) {
            Unit *unit = position->units[u];
            if (unit->power != power || unit->order.token == ORD_REMOVE) continue;
            Order *remove = candidate_with(unit, ORD_REMOVE);
            if (!remove) continue;
            if (!farthest || map->home_distance[power][province_of(unit->location)] >
                                 map->home_distance[power][province_of(farthest->location)]) {
                farthest = unit;
                removal = remove;
            }
        }
        if (!farthest) return;
        farthest->order = *removal;
    }
}

/* ===================================================================
 * One phase, and the receive loop
 * =================================================================== */

static void play_phase(Session *session, const Search *search) {
    Position *position = session->position;
    uint16_t power = brox_session_power(session);
    if (!position || power == POWER_NONE) return;
    if (position->season == SEASON_WINTER) {
        int adjustment = position->adjustment[power];
        if (adjustment > 0) choose_builds(position, power);
        if (adjustment < 0) choose_removals(position, power, -adjustment);
    } else {
        search_orders(session, position, power, search);
    }
    brox_order_submit(NULL, position, (uint16_t)(power << 8));
}

static void stop_on_signal(int signal_number) {
    (void)signal_number;
    vorn_client_stop(); /* the loop ends; the rejoin file stays */
}

int main(int argc, char **argv) {
    Search search;
    int status = parse_options(argc, argv, &search);
    if (status) return status < 0 ? 0 : status;
    signal(SIGINT, stop_on_signal);
    signal(SIGTERM, stop_on_signal);

    Session session;
    brox_initialise(&session, vorn_client_release);
    brox_game_join(&session, "guide_bot", "1.0");

    int running = 1, game_over = 0, stopped = 0;
    while (running) {
        uint8_t *record = vorn_client_receive(1000);
        if (!record) continue; /* a quiet second */
        uint16_t type = brox_record_type(record); /* 0 for stops and events */
        if (record[0] == KIND_STOP_A || record[0] == KIND_STOP_B) stopped = 1;
        int release;
        brox_process_msg(&session, record, &running, &release);
        if (release) vorn_client_release(record);

        if (type == MSG_ASSIGNMENT)
            printf("guide_bot: power %u%s\n", (unsigned)brox_session_power(&session),
                   session.rejoining ? " (rejoined)" : "");
        if (type == MSG_POSITION && running) play_phase(&session, &search);
        if (type == MSG_GAME_END || type == MSG_SESSION_END) game_over = 1;
        fflush(stdout);
    }
    printf("guide_bot: %s\n", game_over ? "game over" : stopped ? "stopped" : "connection ended");
    brox_terminate(&session);
    vorn_client_disconnect();
    return game_over || stopped ? 0 : 1;
}
