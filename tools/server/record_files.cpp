// Writing game.jsonl, the pictures of the phases, the final board and the
// replay page.
#include "tools/server/record_files.h"

#include <filesystem>

#include "tools/common/json_value.h"
#include "tools/server/game_record.h"
#include "tools/server/notation.h"

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

// "phases/0003-1901-fall.svg": numbered in playing order.
std::string phase_picture_name(const Game *game, const Position *position) {
    char number[16];
    std::snprintf(number, sizeof number, "%04zu", game->recorded_phases + 1);
    return std::string(PHASE_PICTURE_FOLDER) + "/" + number + "-" + std::to_string(position->year) + "-" +
           season_name(position->season) + ".svg";
}

// Writes a phase line or the final line and draws its picture from the
// line itself, as brox-replay would.
void write_phase_line(Game *game, const std::string &line) {
    write_line(game, line);
    game->recorded_phases++;
    JsonValue value;
    RecordPhase phase;
    std::string error;
    if (!json_parse(line, &value, &error) || !record_phase_read(value, &phase) ||
        !replay_picture_write(game->generated.layout, phase, game->recorded_phases, game->options.out, &error))
        std::fprintf(stderr, "brox-server: %s\n", error.empty() ? "a record line cannot be read back" : error.c_str());
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
    write_line(game, game_record_map_line(game->map_name, game->generated.layout));
    return true;
}

void record_close(Game *game) {
    if (game->record_file) std::fclose(game->record_file);
    game->record_file = nullptr;
}

void record_phase(Game *game) {
    const Position *last = brox_referee_last_position(game->referee);
    if (!last) return;
    write_phase_line(game, game_record_phase_line(game->referee, game->generated.layout, bot_names(game),
                                                  phase_picture_name(game, last)));
}

void record_final(Game *game, const char *reason) {
    if (!game->referee) return;
    write_unrecorded_drops(game);
    write_phase_line(game, game_record_final_line(game->referee, game->generated.layout, bot_names(game), reason,
                                                  FINAL_BOARD_FILE));
    // The page from the record as written, so that it shows what any
    // reader of the record sees.
    std::filesystem::path out(game->options.out);
    GameRecordRead record;
    std::string error;
    if (!record_load((out / GAME_RECORD_FILE).string(), &record, &error) ||
        !replay_write(record, out.string(), false, &error))
        std::fprintf(stderr, "brox-server: the replay page: %s\n", error.c_str());
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
