// The game's course: setting it up on the referee, opening each phase to
// the bots, resolving it when the orders are in or the deadline has
// passed, recording and reporting it, and ending it.
#include "tools/server/game.h"

#include <utility>

#include "tools/server/links.h"
#include "tools/server/map_folder.h"
#include "tools/server/messages.h"
#include "tools/server/record_files.h"
#include "tools/server/rejoins.h"
#include "tools/server/report.h"
#include "tools/server/seat_secrets.h"

namespace {

// ---------------------------------------------------------------------------
// Setting up
// ---------------------------------------------------------------------------

// The map the options ask for, and its name: a map folder, a generated
// map (the same as brox-mapgen's for the same seed and sizes), or the
// built-in one.
bool choose_map(const ServerOptions &options, GeneratedMap *generated, std::string *name, std::string *error) {
    if (!options.map_dir.empty()) {
        *name = map_folder_name(options.map_dir);
        return map_folder_read(options.map_dir, generated, error);
    }
    if (!options.use_seed && !options.sized) {
        *generated = mapgen_default();
        *name = "standard";
        return true;
    }
    MapgenOptions mapgen = options.sized ? MapgenOptions{} : mapgen_default_options();
    mapgen.seed = options.use_seed ? options.seed : 1;
    *name = "seed-" + std::to_string(mapgen.seed);
    if (options.sized) {
        mapgen.provinces = options.provinces;
        mapgen.powers = options.powers;
        mapgen.homes = options.homes;
        *name += "-provinces-" + std::to_string(mapgen.provinces) + "-powers-" + std::to_string(mapgen.powers) +
                 "-homes-" + std::to_string(mapgen.homes);
    }
    std::string problem = mapgen_check_options(mapgen);
    if (!problem.empty()) {
        *error = problem;
        return false;
    }
    *generated = mapgen_generate(mapgen);
    return true;
}

// The referee on game->generated.
bool load_map(Game *game, std::string *error) {
    const GeneratedMap &map = game->generated;
    if (map.map_message.empty()) {
        *error = "no map could be generated from this seed";
        return false;
    }
    const char *why = nullptr;
    game->referee = brox_referee_new(map.map_message.data(), map.map_message.size(), map.centres_message.data(),
                                     map.centres_message.size(), map.position_message.data(),
                                     map.position_message.size(), &why);
    if (!game->referee) {
        *error = std::string("the library refused the map: ") + (why ? why : "?");
        return false;
    }
    std::string why_not;
    if (map_centres_playable(game_map(game), &why_not)) return true;
    *error = "map " + game->map_name + ": " + why_not;
    return false;
}

std::vector<uint16_t> centre_counts(const Game *game) {
    std::vector<uint16_t> counts(game_map(game)->power_count, 0);
    for (uint16_t p = 0; p < counts.size(); p++) counts[p] = brox_referee_centre_count(game->referee, p);
    return counts;
}

// ---------------------------------------------------------------------------
// Phases
// ---------------------------------------------------------------------------

// Every power that has something to order and whose bot is connected has
// sent its orders.  Powers that never had a bot, or whose bot has gone, are
// not waited for (they get their defaults until the bot rejoins); but with
// no bot connected at all the phase runs to its deadline, so that the game
// does not race to its end while every bot is restarting.
bool phase_complete(const Game *game) {
    bool anyone = false;
    for (uint16_t p = 0; p < game->seats.size(); p++) {
        const Seat &seat = game->seats[p];
        if (!seat.assigned || seat.link < 0) continue;
        anyone = true;
        if (!brox_referee_orders_received(game->referee, p) && brox_referee_orders_due(game->referee, p))
            return false;
    }
    return anyone;
}

void open_phase(Game *game) {
    game->deadline_ms = game->now_ms + game->options.deadline_ms;
    for (uint32_t l = 0; l < game->links.size(); l++)
        if (game->links[l].state == LinkState::READY) link_send_phase(game, l);
}

void end_game(Game *game, const char *reason) {
    game->stage = GameStage::OVER;
    rejoin_forget_all(game);  // held rejoins get the end messages below
    record_final(game, reason);
    game_report_end(game, reason);
    for (uint32_t l = 0; l < game->links.size(); l++) {
        link_send(game, l, end_record(MSG_GAME_END));
        link_send(game, l, end_record(MSG_SESSION_END));
        game->links[l].close_when_sent = true;
    }
}

// Ends the game on a step the referee could not make: the final line of
// the record keeps the phase that stayed current, with the reason.
void fail(Game *game, const char *why) {
    std::fprintf(stderr, "brox-server: %s; the game ends\n", why);
    game->exit_status = 1;
    if (game->stage != GameStage::OVER) end_game(game, why);
}

// The referee resolves the phase; the server reports and records it, and
// ends the game or opens the next phase.
void resolve_phase(Game *game) {
    if (!brox_referee_step(game->referee)) {
        const char *why = brox_referee_failure(game->referee);
        return fail(game, why ? why : "the phase could not be resolved");
    }
    game_report_phase(game);
    record_phase(game);
    const Position *last = brox_referee_last_position(game->referee);
    if (last->centres != game_position(game)->centres)
        game->centre_history.push_back({std::to_string(last->year), centre_counts(game)});
    if (uint16_t end = brox_referee_over(game->referee)) return end_game(game, brox_end_text(end));
    open_phase(game);
}

int ready_count(const Game *game) {
    int ready = 0;
    for (const Link &link : game->links) ready += link.state == LinkState::READY;
    return ready;
}

}  // namespace

// ---------------------------------------------------------------------------
// Setting up and releasing
// ---------------------------------------------------------------------------

bool game_init(Game *game, const ServerOptions &options, std::string *error) {
    GeneratedMap generated;
    std::string name;
    if (!choose_map(options, &generated, &name, error)) return false;
    return game_init_on_map(game, options, std::move(generated), name, error);
}

bool game_init_on_map(Game *game, const ServerOptions &options, GeneratedMap generated,
                      const std::string &map_name, std::string *error) {
    game->options = options;
    game->generated = std::move(generated);
    game->map_name = map_name;
    game->log = options.verbosity == Verbosity::QUIET ? nullptr : stdout;
    if (!load_map(game, error)) return false;
    // Years are 16-bit words: the last one must still fit.
    uint16_t first_year = game_position(game)->year;
    if (!brox_referee_set_years(game->referee, static_cast<uint16_t>(game->options.years))) {
        *error = "the game starts in " + std::to_string(first_year) + ": --years must be 1 to " +
                 std::to_string(0xFFFF - first_year);
        return false;
    }
    uint16_t powers = game_map(game)->power_count;
    if (game->options.players == 0) game->options.players = powers;
    if (game->options.players > powers) {
        *error = "the map has only " + std::to_string(powers) + " powers";
        return false;
    }
    if (game->options.limits.max_connections < game->options.players) {
        *error = "--max-connections " + std::to_string(game->options.limits.max_connections) +
                 " leaves no room for the " + std::to_string(game->options.players) + " bots the game waits for";
        return false;
    }
    game->seats.assign(powers, Seat{});
    if (!options.seat_secrets.empty() && !seat_secrets_read(options.seat_secrets, powers, &game->preset_secrets, error))
        return false;
    for (size_t p = 0; p < powers; p++) seat_reset(game, p);
    // The limits' groups: one per power and one for connections without.
    game->seat_gates.assign(powers + 1u, RejoinGate{});
    game->log_budgets.assign(powers + 1u, LineBudget{});
    game->recorded_drops.assign(powers + 1u, 0);
    game->centre_history.push_back({"start", centre_counts(game)});
    return record_open(game, error);
}

void game_release(Game *game) {
    brox_referee_free(game->referee);
    game->referee = nullptr;
    record_close(game);
}

// ---------------------------------------------------------------------------
// Links
// ---------------------------------------------------------------------------

uint32_t game_link_open(Game *game, const std::string &peer) {
    uint32_t link = link_open(game, peer);
    if (game->stage == GameStage::OVER) {
        // Too late to play: tell the bot and let it go.
        link_send(game, link, end_record(MSG_SESSION_END));
        game->links[link].close_when_sent = true;
    }
    return link;
}

void game_link_closed(Game *game, uint32_t link) {
    if (link_close(game, link) >= 0) game_resolve_when_complete(game);
}

void game_link_drop(Game *game, uint32_t link, const char *reason, const std::string &detail) {
    if (link_drop(game, link, reason, detail) >= 0) game_resolve_when_complete(game);
}

void link_send_phase(Game *game, uint32_t link) {
    if (game->stage != GameStage::PLAYING) return;
    size_t size = 0;
    const uint8_t *centres = brox_referee_centres_message(game->referee, &size);
    link_send(game, link, record_of_message(centres, size));
    const uint8_t *position = brox_referee_position_message(game->referee, &size);
    link_send(game, link, record_of_message(position, size));
}

// ---------------------------------------------------------------------------
// The course of the game
// ---------------------------------------------------------------------------

void game_try_start(Game *game) {
    if (game->stage != GameStage::WAITING || ready_count(game) < game->options.players) return;
    game->stage = GameStage::PLAYING;
    game_report_start(game);
    open_phase(game);
    game_resolve_when_complete(game);
}

void game_resolve_when_complete(Game *game) {
    while (game->stage == GameStage::PLAYING && phase_complete(game)) resolve_phase(game);
}

void game_tick(Game *game, int64_t now_ms) {
    game->now_ms = now_ms;
    if (links_expire(game)) game_resolve_when_complete(game);
    rejoin_release_due(game);
    game_try_start(game);  // a rejoin may complete the bots awaited
    if (game->stage != GameStage::PLAYING || now_ms < game->deadline_ms) return;
    resolve_phase(game);
    game_resolve_when_complete(game);
}

int64_t game_wait_ms(const Game *game) {
    int64_t next = links_next_expiry(game);
    int64_t rejoin = rejoin_next_ms(game);
    if (rejoin >= 0 && (next < 0 || rejoin < next)) next = rejoin;
    if (game->stage == GameStage::PLAYING && (next < 0 || game->deadline_ms < next)) next = game->deadline_ms;
    if (next < 0) return -1;
    return next > game->now_ms ? next - game->now_ms : 0;
}

void game_stop(Game *game) {
    if (game->stage != GameStage::OVER) end_game(game, "the server was stopped");
}
