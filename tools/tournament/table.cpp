// Building the tournament table from the games' results, and writing it as
// text and as CSV.
#include "tools/tournament/table.h"

#include <cstdio>
#include <filesystem>
#include <fstream>

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
                                                   "95% CI", "centres", "95% CI", "faults"}};
    for (const BotSummary &bot : table.bots)
        rows.push_back({bot.name, std::to_string(bot.games), std::to_string(bot.seats),
                        count_and_rate(bot.solo_wins, bot.seats), percent_interval(bot.solo_interval),
                        count_and_rate(bot.survivals, bot.seats), percent_interval(bot.survival_interval),
                        bot.seats ? format("%.2f", bot.mean_centres) : "-",
                        bot.centres_interval.known
                            ? format("[%.2f, %.2f]", bot.centres_interval.low, bot.centres_interval.high)
                            : "-",
                        std::to_string(bot.faults)});
    return aligned(rows);
}

const char NOTES[] =
    "Counted per seat: one bot playing one power in one game.  A solo win is ending\n"
    "with more than half the supply centres; a survival is ending with a centre or a\n"
    "unit (solo winners included); centres is the mean number of supply centres\n"
    "owned at the end.  95% confidence intervals: Wilson score for the two rates,\n"
    "Student t for the mean.  Seats of one game are not independent of each other,\n"
    "so read the intervals as a guide.  Faults are the failed games in which the\n"
    "bot's own process failed.\n";

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
    for (const GameResult &game : games) {
        if (game.status == GameStatus::MISSING) table.missing++;
        if (game.status == GameStatus::FAILED) {
            table.failed++;
            if (BotSummary *culprit = summary_of(game.culprit)) culprit->faults++;
        }
        if (game.status != GameStatus::PLAYED) continue;
        table.played++;
        std::vector<BotSummary *> present;
        for (const Seat &seat : game.seats) {
            BotSummary *bot = summary_of(seat.bot);
            if (!bot) continue;
            bot->seats++;
            bot->solo_wins += seat.solo;
            bot->survivals += seat.survived;
            bot->centres.push_back(seat.centres);
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
    table.games = std::move(games);
    return table;
}

std::string table_text(const Tournament &tournament, const TournamentTable &table) {
    std::string out = "Tournament " + tournament.folder + "\n" + std::to_string(tournament.games) +
                      (tournament.games == 1 ? " game" : " games");
    if (!tournament.maps.empty()) out += " on " + tournament.maps;
    out += ": " + std::to_string(table.played) + " played, " + std::to_string(table.failed) + " failed";
    if (table.missing) out += ", " + std::to_string(table.missing) + " without a result";
    out += "\n\n" + bot_rows(table) + "\n" + NOTES + problems(table) + pointers(tournament, table);
    return out;
}

bool table_write_csv(const std::string &folder, const TournamentTable &table, std::string *error) {
    std::string summary = "bot,games,seats,solo_wins,solo_rate,solo_low,solo_high,survivals,survival_rate,"
                          "survival_low,survival_high,mean_centres,centres_low,centres_high,faults\n";
    for (const BotSummary &bot : table.bots) {
        double seats = bot.seats ? bot.seats : 1;
        summary += csv(bot.name) + "," + std::to_string(bot.games) + "," + std::to_string(bot.seats) + "," +
                   std::to_string(bot.solo_wins) + "," + (bot.seats ? csv_number(bot.solo_wins / seats) : "") + "," +
                   csv_interval(bot.solo_interval) + "," + std::to_string(bot.survivals) + "," +
                   (bot.seats ? csv_number(bot.survivals / seats) : "") + "," + csv_interval(bot.survival_interval) +
                   "," + (bot.seats ? csv_number(bot.mean_centres) : "") + "," + csv_interval(bot.centres_interval) +
                   "," + std::to_string(bot.faults) + "\n";
    }
    std::string games = "game,status,error,map,end,reason,seconds,folder\n";
    std::string seats = "game,power,bot,centres,units,solo,survived\n";
    for (const GameResult &game : table.games) {
        games += std::to_string(game.game) + "," + game_status_name(game.status) + "," + csv(game.error) + "," +
                 csv(game.map) + "," + csv(game.end) + "," + csv(game.reason) + "," + format("%.1f", game.seconds) +
                 "," + csv(game.folder) + "\n";
        for (const Seat &seat : game.seats)
            seats += std::to_string(game.game) + "," + std::to_string(seat.power) + "," + csv(seat.bot) + "," +
                     std::to_string(seat.centres) + "," + std::to_string(seat.units) + "," +
                     (seat.solo ? "1" : "0") + "," + (seat.survived ? "1" : "0") + "\n";
    }
    fs::path out(folder);
    return write_file(out / SUMMARY_CSV, summary, error) && write_file(out / GAMES_CSV, games, error) &&
           write_file(out / SEATS_CSV, seats, error);
}
