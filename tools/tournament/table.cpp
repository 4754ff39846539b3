// Building the tournament table from the games' results, and writing it as
// text and as CSV.
#include "tools/tournament/table.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>

namespace fs = std::filesystem;

namespace {

std::string format(const char *pattern, double a, double b = 0) {
    char text[64];
    std::snprintf(text, sizeof text, pattern, a, b);
    return text;
}

std::string percent_interval(const Interval &interval) {
    return interval.known ? format("[%.1f%%, %.1f%%]", 100 * interval.low, 100 * interval.high) : "-";
}

std::string count_and_rate(int count, int trials) {
    if (trials == 0) return std::to_string(count);
    return std::to_string(count) + format(" (%.1f%%)", 100.0 * count / trials);
}

// Left-aligns the first column and right-aligns the others.
std::string aligned(const std::vector<std::vector<std::string>> &rows) {
    std::vector<size_t> widths;
    for (const auto &row : rows)
        for (size_t c = 0; c < row.size(); c++) {
            if (widths.size() <= c) widths.push_back(0);
            widths[c] = std::max(widths[c], row[c].size());
        }
    std::string out;
    for (const auto &row : rows) {
        std::string line;
        for (size_t c = 0; c < row.size(); c++) {
            std::string padding(widths[c] - row[c].size(), ' ');
            line += c == 0 ? row[c] + padding : "  " + padding + row[c];
        }
        out += line + "\n";
    }
    return out;
}

std::string game_name(int game) {
    char text[32];
    std::snprintf(text, sizeof text, "game %04d", game);
    return text;
}

// A CSV field, quoted when it needs to be.
std::string csv(const std::string &field) {
    if (field.find_first_of(",\"\n\r") == std::string::npos) return field;
    std::string out = "\"";
    for (char c : field) out += c == '"' ? std::string("\"\"") : std::string(1, c);
    return out + "\"";
}

std::string csv_number(double value) { return format("%.4f", value); }

std::string csv_interval(const Interval &interval) {
    return interval.known ? csv_number(interval.low) + "," + csv_number(interval.high) : ",";
}

bool write_file(const fs::path &path, const std::string &text, std::string *error) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << text;
    file.close();
    if (!file) *error = "cannot write " + path.string();
    return static_cast<bool>(file);
}

std::string bot_rows(const TournamentTable &table) {
    std::vector<std::vector<std::string>> rows = {{"bot", "games", "seats", "solo wins", "95% CI", "survivals",
                                                   "95% CI", "centres", "95% CI", "missed", "refused", "faults"}};
    for (const BotSummary &bot : table.bots)
        rows.push_back({bot.name, std::to_string(bot.games), std::to_string(bot.seats),
                        count_and_rate(bot.solo_wins, bot.seats), percent_interval(bot.solo_interval),
                        count_and_rate(bot.survivals, bot.seats), percent_interval(bot.survival_interval),
                        bot.seats ? format("%.2f", bot.mean_centres) : "-",
                        bot.centres_interval.known
                            ? format("[%.2f, %.2f]", bot.centres_interval.low, bot.centres_interval.high)
                            : "-",
                        std::to_string(bot.missed) + "/" + std::to_string(bot.orders_due),
                        std::to_string(bot.refused), std::to_string(bot.faults)});
    return aligned(rows);
}

// Each bot against the first, paired by rotation.
std::string paired_rows(const TournamentTable &table) {
    if (table.bots.size() < 2) return "";
    std::string out = "\nPaired by rotation (" + std::to_string(table.rotations) + " complete " +
                      (table.rotations == 1 ? "rotation" : "rotations") +
                      "): mean centres per seat minus " + table.bots.front().name + "'s on the same maps\n";
    if (table.rotations == 0) return out + "  no rotation has all its games played (and none repeated)\n";
    std::vector<std::vector<std::string>> rows = {{"bot", "difference", "95% CI"}};
    for (size_t b = 1; b < table.bots.size(); b++) {
        const BotSummary &bot = table.bots[b];
        rows.push_back({bot.name, format("%+.2f", bot.paired_mean),
                        bot.paired_interval.known
                            ? format("[%+.2f, %+.2f]", bot.paired_interval.low, bot.paired_interval.high)
                            : "-"});
    }
    std::string text = aligned(rows);
    for (size_t at = 0; at < text.size(); at = text.find('\n', at) + 1) text.insert(at, "  ");
    return out + text;
}

std::string repeats_warning(const TournamentTable &table) {
    if (table.repeats == 0) return "";
    int distinct = table.played - table.repeats;
    std::string out = "WARNING: " + std::to_string(table.repeats) + " of the " + std::to_string(table.played) +
                      " played games repeat an earlier game move for move: the same record,\n"
                      "with the same bots on the same powers (bots that choose without chance, on one map).\n"
                      "The repeats are left out of every count below, which stands on the " +
                      std::to_string(distinct) + " distinct " + (distinct == 1 ? "game" : "games") +
                      ".\nPlay generated maps (the default), or bots that draw at random.\n";
    int listed = 0;
    for (size_t game = 1; game < table.repeat_of.size(); game++) {
        if (!table.repeat_of[game]) continue;
        if (listed == 12) {
            out += " ...";
            break;
        }
        out += std::string(listed % 4 ? ", " : listed ? ",\n  " : "  ") + game_name(static_cast<int>(game)) +
               " repeats " + game_name(table.repeat_of[game]);
        listed++;
    }
    return out + "\n\n";
}

// Games that are another game move for move with the bots on other powers:
// a result (the bots chose alike there), but one to know of.
std::string alike_note(const TournamentTable &table) {
    std::string games;
    int count = 0;
    for (size_t game = 1; game < table.alike_of.size(); game++) {
        if (!table.alike_of[game]) continue;
        if (count++ < 4)
            games += std::string(count > 1 ? ", " : "") + game_name(static_cast<int>(game)) + " plays " +
                     game_name(table.alike_of[game]);
    }
    if (count == 0) return "";
    return "\nNote: " + std::to_string(count) + (count == 1 ? " game plays" : " games play") +
           " an earlier game move for move with the bots on other powers: the bots\nchose alike there (" +
           games + (count > 4 ? ", ..." : "") + ").\n";
}

const char NOTES[] =
    "Counted per seat: one bot playing one power in one game.  A solo win is ending\n"
    "with more than half the supply centres; a survival is ending with a centre or a\n"
    "unit (solo winners included); centres is the mean number of supply centres\n"
    "owned at the end.  95% confidence intervals: Wilson score for the two rates,\n"
    "Student t for the mean.  Seats of one game are not independent of each other,\n"
    "so read the intervals as a guide.  Missed: phases for which no orders came, of\n"
    "the phases in which the bot had something to order (the server then holds its\n"
    "units); refused: orders the server refused.  Faults are the failed games in\n"
    "which the bot's own process failed.\n";

const char PAIRED_NOTES[] =
    "A rotation is the games that play one map with every bot on every power once;\n"
    "each bot's difference is taken within each rotation, which removes what the\n"
    "map and the powers add, and its mean gets a Student t interval over the\n"
    "rotations.  An interval that holds 0 says no difference was seen.\n";

std::string problems(const TournamentTable &table) {
    std::string failed, missing, warnings;
    for (const GameResult &game : table.games) {
        if (game.status == GameStatus::FAILED) failed += "  " + game_name(game.game) + ": " + game.error + "\n";
        if (game.status == GameStatus::MISSING) missing += "  " + game_name(game.game) + ": " + game.error + "\n";
        for (const std::string &warning : game.warnings)
            warnings += "  " + game_name(game.game) + ": " + warning + "\n";
    }
    std::string out;
    if (!failed.empty()) out += "\nFailed games (not counted above):\n" + failed;
    if (!missing.empty()) out += "\nGames without a result (not counted above):\n" + missing;
    if (!warnings.empty()) out += "\nWarnings (the games are counted):\n" + warnings;
    return out;
}

// Where to look next: the games' folders and a replay page or record.
std::string pointers(const Tournament &tournament, const TournamentTable &table) {
    std::string out = "\nEvery game's record, logs and pictures: " +
                      (fs::path(tournament.folder) / GAMES_FOLDER).string() + "/NNNN/\n";
    for (const GameResult &game : table.games) {
        if (game.status != GameStatus::PLAYED) continue;
        fs::path replay = fs::path(game.folder) / "replay.html";
        fs::path record = fs::path(game.folder) / "game.jsonl";
        std::error_code failure;
        bool has_replay = fs::exists(replay, failure);
        out += "  " + std::string(has_replay ? "replay" : "record") + " of " + game_name(game.game) + ": " +
               (has_replay ? replay : record).string() + "\n";
        break;
    }
    fs::path folder(tournament.folder);
    out += "This table: " + (folder / TABLE_FILE).string() + "; as CSV: " + SUMMARY_CSV + ", " + GAMES_CSV + ", " +
           SEATS_CSV + " beside it\n";
    return out;
}

}  // namespace

namespace {

// Marks the played games that repeat an earlier played game.
// and those whose record alone equals an earlier one's.
void find_repeats(TournamentTable *table, const std::vector<GameResult> &games) {
    std::map<uint64_t, int> first, first_record;
    for (const GameResult &game : games) {
        if (game.game < 0) continue;
        if (table->repeat_of.size() <= static_cast<size_t>(game.game)) {
            table->repeat_of.resize(static_cast<size_t>(game.game) + 1, 0);
            table->alike_of.resize(static_cast<size_t>(game.game) + 1, 0);
        }
        if (game.status != GameStatus::PLAYED) continue;
        auto [at, fresh] = first.emplace(game.fingerprint, game.game);
        auto [record_at, fresh_record] = first_record.emplace(game.record_fingerprint, game.game);
        if (!fresh) {
            table->repeat_of[static_cast<size_t>(game.game)] = at->second;
            table->repeats++;
        } else if (!fresh_record) {
            table->alike_of[static_cast<size_t>(game.game)] = record_at->second;
        }
    }
}

bool repeated(const TournamentTable &table, int game) {
    return game >= 0 && static_cast<size_t>(game) < table.repeat_of.size() && table.repeat_of[static_cast<size_t>(game)];
}

// Each bot's mean centres per seat in every complete rotation, minus the
// first bot's.
void pair_by_rotation(TournamentTable *table, const std::vector<GameResult> &games) {
    size_t bots = table->bots.size();
    if (bots < 2) return;
    std::map<int, std::vector<const GameResult *>> rotations;
    for (const GameResult &game : games)
        if (game.game >= 1) rotations[(game.game - 1) / static_cast<int>(bots)].push_back(&game);
    for (const auto &[rotation, members] : rotations) {
        bool complete = members.size() == bots;
        for (const GameResult *game : members)
            complete = complete && game->status == GameStatus::PLAYED && !repeated(*table, game->game);
        if (!complete) continue;
        std::vector<double> centres(bots, 0), seats(bots, 0);
        for (const GameResult *game : members)
            for (const Seat &seat : game->seats)
                for (size_t b = 0; b < bots; b++)
                    if (table->bots[b].name == seat.bot) {
                        centres[b] += seat.centres;
                        seats[b]++;
                    }
        bool everyone = true;
        for (double count : seats) everyone = everyone && count > 0;
        if (!everyone) continue;
        table->rotations++;
        for (size_t b = 1; b < bots; b++)
            table->bots[b].paired.push_back(centres[b] / seats[b] - centres[0] / seats[0]);
    }
    for (size_t b = 1; b < bots; b++) {
        BotSummary &bot = table->bots[b];
        bot.paired_mean = mean_of(bot.paired);
        bot.paired_interval = mean_interval(bot.paired);
    }
}

}  // namespace

TournamentTable table_build(const Tournament &tournament, std::vector<GameResult> games) {
    TournamentTable table;
    for (const BotEntry &bot : tournament.bots) {
        table.bots.emplace_back();
        table.bots.back().name = bot.name;
    }
    auto summary_of = [&table](const std::string &name) -> BotSummary * {
        for (BotSummary &bot : table.bots)
            if (bot.name == name) return &bot;
        return nullptr;
    };
    find_repeats(&table, games);
    for (const GameResult &game : games) {
        if (game.status == GameStatus::MISSING) table.missing++;
        if (game.status == GameStatus::FAILED) {
            table.failed++;
            if (BotSummary *culprit = summary_of(game.culprit)) culprit->faults++;
        }
        if (game.status != GameStatus::PLAYED) continue;
        table.played++;
        if (repeated(table, game.game)) continue;
        std::vector<BotSummary *> present;
        for (const Seat &seat : game.seats) {
            BotSummary *bot = summary_of(seat.bot);
            if (!bot) continue;
            bot->seats++;
            bot->solo_wins += seat.solo;
            bot->survivals += seat.survived;
            bot->centres.push_back(seat.centres);
            bot->orders_due += seat.orders_due;
            bot->missed += seat.missed;
            bot->refused += seat.refused;
            bool counted = false;
            for (BotSummary *seen : present) counted |= seen == bot;
            if (!counted) present.push_back(bot);
        }
        for (BotSummary *bot : present) bot->games++;
    }
    for (BotSummary &bot : table.bots) {
        bot.solo_interval = wilson_interval(bot.solo_wins, bot.seats);
        bot.survival_interval = wilson_interval(bot.survivals, bot.seats);
        bot.mean_centres = mean_of(bot.centres);
        bot.centres_interval = mean_interval(bot.centres);
        // No power owns fewer than no centres; cutting the interval there
        // keeps its coverage.
        if (bot.centres_interval.low < 0) bot.centres_interval.low = 0;
    }
    pair_by_rotation(&table, games);
    table.games = std::move(games);
    return table;
}

std::string table_text(const Tournament &tournament, const TournamentTable &table) {
    std::string out = "Tournament " + tournament.folder + "\n" + std::to_string(tournament.games) +
                      (tournament.games == 1 ? " game" : " games");
    if (!tournament.maps.empty()) out += " on " + tournament.maps;
    out += ": " + std::to_string(table.played) + " played, " + std::to_string(table.failed) + " failed";
    if (table.missing) out += ", " + std::to_string(table.missing) + " without a result";
    if (table.repeats) out += " (" + std::to_string(table.repeats) + " of them repeats)";
    out += "\n\n" + repeats_warning(table) + bot_rows(table) + "\n" + NOTES;
    if (table.bots.size() > 1) out += paired_rows(table) + "\n" + PAIRED_NOTES + alike_note(table);
    out += problems(table) + pointers(tournament, table);
    return out;
}

bool table_write_csv(const std::string &folder, const TournamentTable &table, std::string *error) {
    std::string summary = "bot,games,seats,solo_wins,solo_rate,solo_low,solo_high,survivals,survival_rate,"
                          "survival_low,survival_high,mean_centres,centres_low,centres_high,faults,"
                          "orders_due,missed,refused,paired_rotations,paired_difference,paired_low,paired_high\n";
    for (size_t b = 0; b < table.bots.size(); b++) {
        const BotSummary &bot = table.bots[b];
        double seats = bot.seats ? bot.seats : 1;
        bool paired = b > 0 && !bot.paired.empty();
        summary += csv(bot.name) + "," + std::to_string(bot.games) + "," + std::to_string(bot.seats) + "," +
                   std::to_string(bot.solo_wins) + "," + (bot.seats ? csv_number(bot.solo_wins / seats) : "") + "," +
                   csv_interval(bot.solo_interval) + "," + std::to_string(bot.survivals) + "," +
                   (bot.seats ? csv_number(bot.survivals / seats) : "") + "," + csv_interval(bot.survival_interval) +
                   "," + (bot.seats ? csv_number(bot.mean_centres) : "") + "," + csv_interval(bot.centres_interval) +
                   "," + std::to_string(bot.faults) + "," + std::to_string(bot.orders_due) + "," +
                   std::to_string(bot.missed) + "," + std::to_string(bot.refused) + "," +
                   (b > 0 ? std::to_string(bot.paired.size()) : "") + "," +
                   (paired ? csv_number(bot.paired_mean) : "") + "," + csv_interval(bot.paired_interval) + "\n";
    }
    std::string games = "game,status,error,map,end,reason,seconds,folder,repeat_of\n";
    std::string seats = "game,power,bot,centres,units,solo,survived,orders_due,missed,refused\n";
    for (const GameResult &game : table.games) {
        int repeat = game.game >= 0 && static_cast<size_t>(game.game) < table.repeat_of.size()
                         ? table.repeat_of[static_cast<size_t>(game.game)]
                         : 0;
        games += std::to_string(game.game) + "," + game_status_name(game.status) + "," + csv(game.error) + "," +
                 csv(game.map) + "," + csv(game.end) + "," + csv(game.reason) + "," + format("%.1f", game.seconds) +
                 "," + csv(game.folder) + "," + (repeat ? std::to_string(repeat) : "") + "\n";
        for (const Seat &seat : game.seats)
            seats += std::to_string(game.game) + "," + std::to_string(seat.power) + "," + csv(seat.bot) + "," +
                     std::to_string(seat.centres) + "," + std::to_string(seat.units) + "," +
                     (seat.solo ? "1" : "0") + "," + (seat.survived ? "1" : "0") + "," +
                     std::to_string(seat.orders_due) + "," + std::to_string(seat.missed) + "," +
                     std::to_string(seat.refused) + "\n";
    }
    fs::path out(folder);
    return write_file(out / SUMMARY_CSV, summary, error) && write_file(out / GAMES_CSV, games, error) &&
           write_file(out / SEATS_CSV, seats, error);
}
