// Writing game.jsonl, the pictures of the phases, the final board and the
// replay page.
#include "tools/server/record_files.h"

#include <filesystem>
#include <fstream>

#include "tools/server/game_record.h"
#include "tools/server/notation.h"
#include "tools/server/replay_page.h"

namespace {

BotNames bot_names(const Game *game) {
    BotNames bots;
    for (const Seat &seat : game->seats) bots.push_back(seat.bot_name);
    return bots;
}

void write_line(Game *game, const std::string &line) {
    if (!game->record_file || line.empty()) return;
    std::fputs(line.c_str(), game->record_file);
    std::fputc('\n', game->record_file);
    std::fflush(game->record_file);
}

bool write_file(const std::string &path, const std::string &bytes) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << bytes;
    file.close();
    if (!file) std::fprintf(stderr, "brox-server: cannot write %s\n", path.c_str());
    return static_cast<bool>(file);
}

// "phases/0003-1901-fall.svg": numbered in playing order.
std::string phase_picture_name(const Game *game, const Position *position) {
    char number[16];
    std::snprintf(number, sizeof number, "%04zu", game->replay.size() + 1);
    return std::string(PHASE_PICTURE_FOLDER) + "/" + number + "-" + std::to_string(position->year) + "-" +
           season_name(position->season) + ".svg";
}

// Draws `position` (with its orders when `phase` is given) into `picture`
// under the output folder and keeps its parts for the replay page.
void draw_phase(Game *game, const Position *position, const BoardPhase *phase, const std::string &picture,
                std::vector<ReplayOrder> orders) {
    const Layout &layout = game->generated.layout;
    BoardPicture parts = board_picture(layout, position->map, position->centres, position, phase);
    std::filesystem::path out(game->options.out);
    std::error_code failure;
    std::filesystem::create_directories((out / picture).parent_path(), failure);
    write_file((out / picture).string(), board_svg(layout, position->map, position->centres, position, phase));
    game->replay.push_back(
        {phase_title(position->season, position->year), picture, parts.owners, parts.overlay, std::move(orders)});
}

void write_unrecorded_drops(Game *game) {
    const Position *position = game_position(game);
    for (const auto &[key, count] : game->unrecorded_drops)
        write_line(game, game_record_dropped_line(position->season, position->year, key.first, "", key.second,
                                                  std::to_string(count) + " more connections dropped for this reason" +
                                                      " were counted, not recorded one by one"));
    game->unrecorded_drops.clear();
}

}  // namespace

bool record_open(Game *game, std::string *error) {
    std::error_code failure;
    std::filesystem::create_directories(game->options.out, failure);
    if (failure) {
        *error = "cannot create " + game->options.out + ": " + failure.message();
        return false;
    }
    std::string path = (std::filesystem::path(game->options.out) / GAME_RECORD_FILE).string();
    game->record_file = std::fopen(path.c_str(), "w");
    if (!game->record_file) {
        *error = "cannot write " + path;
        return false;
    }
    return true;
}

void record_close(Game *game) {
    if (game->record_file) std::fclose(game->record_file);
    game->record_file = nullptr;
}

void record_phase(Game *game) {
    const Position *last = brox_referee_last_position(game->referee);
    if (!last) return;
    std::string picture = phase_picture_name(game, last);
    write_line(game, game_record_phase_line(game->referee, game->generated.layout, bot_names(game), picture));
    Notation names{game->generated.layout, last->map};
    BoardPhase phase;
    std::vector<ReplayOrder> orders;
    for (uint16_t u = 0; u < last->unit_count; u++) {
        BroxOrderResult result{};
        if (!brox_referee_last_result(game->referee, u, &result)) break;
        const char *outcome = brox_outcome_text(result.outcome);
        phase.outcomes.push_back(outcome);
        phase.dislodged.push_back(result.dislodged != 0);
        orders.push_back({last->units[u]->power, order_text(names, last->units[u], last->units[u]->order), outcome});
    }
    draw_phase(game, last, &phase, picture, std::move(orders));
}

void record_final(Game *game, const char *reason) {
    if (!game->referee) return;
    write_unrecorded_drops(game);
    write_line(game, game_record_final_line(game->referee, game->generated.layout, bot_names(game), reason,
                                            FINAL_BOARD_FILE));
    draw_phase(game, game_position(game), nullptr, FINAL_BOARD_FILE, {});
    std::string error;
    if (!replay_page_write(game, &error)) std::fprintf(stderr, "brox-server: %s\n", error.c_str());
}

void record_dropped(Game *game, const Link &link, const char *reason, const std::string &detail) {
    if (!game->referee) return;
    int seat = link.power >= 0 ? link.power : link.claimed_seat;
    size_t group = link.power >= 0 ? static_cast<size_t>(link.power) : game->seats.size();
    int allowed = link.power >= 0 ? RECORD_DROPS_PER_SEAT : RECORD_DROPS_WITHOUT_SEAT;
    if (group >= game->recorded_drops.size()) return;
    if (game->recorded_drops[group] >= allowed) {
        game->unrecorded_drops[{seat, reason}]++;
        return;
    }
    game->recorded_drops[group]++;
    const Position *position = game_position(game);
    write_line(game, game_record_dropped_line(position->season, position->year, seat, link.peer, reason, detail));
}
