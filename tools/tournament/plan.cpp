// Planning a tournament: the rotation of bots over powers, the maps, the
// job line of every game, and the plan file the merge step reads back.
#include "tools/tournament/tournament.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "tools/common/json_quote.h"
#include "tools/common/json_value.h"

namespace fs = std::filesystem;

namespace {

constexpr int PHASES_PER_YEAR = 5;
constexpr int START_AND_STOP_S = 60;

std::string number_text(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

bool write_file(const std::string &path, const std::string &text, std::string *error) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << text;
    file.close();
    if (file) return true;
    *error = "cannot write " + path;
    return false;
}

std::string plan_json(const Tournament &tournament) {
    std::string out = "{\"bots\":[";
    for (size_t b = 0; b < tournament.bots.size(); b++)
        out += std::string(b ? "," : "") + "{\"name\":" + json_quote(tournament.bots[b].name) +
               ",\"command\":" + json_quote(tournament.bots[b].command) + "}";
    out += "],\"games\":" + std::to_string(tournament.games) + ",\"years\":" + std::to_string(tournament.years) +
           ",\"deadline\":" + number_text(tournament.deadline_s) +
           ",\"game_limit\":" + std::to_string(game_limit_seconds(tournament)) +
           ",\"maps\":" + json_quote(map_description(tournament)) + "}\n";
    return out;
}

}  // namespace

int game_rotation(const Tournament &tournament, int game) {
    return static_cast<int>((game - 1) % static_cast<int>(tournament.bots.size()));
}

uint64_t game_seed(const Tournament &tournament, int game) {
    return tournament.first_seed + static_cast<uint64_t>((game - 1) / static_cast<int>(tournament.bots.size()));
}

std::string game_folder(const std::string &tournament_folder, int game) {
    char name[16];
    std::snprintf(name, sizeof name, "%04d", game);
    return (fs::path(tournament_folder) / GAMES_FOLDER / name).string();
}

int game_limit_seconds(const Tournament &tournament) {
    if (tournament.game_limit_s > 0) return tournament.game_limit_s;
    double phases = static_cast<double>(tournament.years) * PHASES_PER_YEAR;
    return static_cast<int>(phases * tournament.deadline_s) + START_AND_STOP_S;
}

std::string map_description(const Tournament &tournament) {
    switch (tournament.map) {
    case MapChoice::STANDARD: return "the built-in standard map";
    case MapChoice::FOLDER: return "the map in " + tournament.map_folder;
    case MapChoice::GENERATED: break;
    }
    int rotations = (tournament.games + static_cast<int>(tournament.bots.size()) - 1) /
                    static_cast<int>(tournament.bots.size());
    uint64_t last = tournament.first_seed + static_cast<uint64_t>(rotations) - 1;
    std::string size;
    if (tournament.provinces) size += std::to_string(tournament.provinces) + " provinces";
    if (tournament.powers) size += (size.empty() ? "" : ", ") + std::to_string(tournament.powers) + " powers";
    if (tournament.homes)
        size += (size.empty() ? "" : ", ") + std::to_string(tournament.homes) + " home centres a power";
    if (!size.empty()) size = " (" + size + ")";
    if (rotations == 1) return "a map generated from seed " + std::to_string(tournament.first_seed) + size;
    return "maps generated from seeds " + std::to_string(tournament.first_seed) + " to " + std::to_string(last) + size;
}

std::string shell_quote(const std::string &word) {
    std::string out = "'";
    for (char c : word) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

std::string job_line(const Tournament &tournament, int game) {
    std::string line = shell_quote(tournament.program) + " game --game " + std::to_string(game) +
                       " --out " + shell_quote(game_folder(tournament.folder, game)) +
                       " --rotation " + std::to_string(game_rotation(tournament, game)) +
                       " --limit " + std::to_string(game_limit_seconds(tournament)) +
                       " --server " + shell_quote(tournament.server);
    for (const BotEntry &bot : tournament.bots) line += " --bot " + shell_quote(bot.name + "=" + bot.command);
    line += " -- --years " + std::to_string(tournament.years) + " --deadline " + number_text(tournament.deadline_s);
    if (tournament.map == MapChoice::GENERATED) {
        line += " --seed " + std::to_string(game_seed(tournament, game));
        if (tournament.provinces) line += " --provinces " + std::to_string(tournament.provinces);
        if (tournament.powers) line += " --powers " + std::to_string(tournament.powers);
        if (tournament.homes) line += " --homes " + std::to_string(tournament.homes);
    }
    if (tournament.map == MapChoice::FOLDER) line += " --map " + shell_quote(tournament.map_folder);
    for (const std::string &arg : tournament.server_args) line += " " + shell_quote(arg);
    return line;
}

bool tournament_write(const Tournament &tournament, std::string *error) {
    std::error_code failure;
    for (int game = 1; game <= tournament.games && !failure; game++)
        fs::create_directories(game_folder(tournament.folder, game), failure);
    if (failure) {
        *error = "cannot create the game folders in " + tournament.folder + ": " + failure.message();
        return false;
    }
    std::string jobs;
    for (int game = 1; game <= tournament.games; game++) jobs += job_line(tournament, game) + "\n";
    fs::path folder(tournament.folder);
    return write_file((folder / PLAN_FILE).string(), plan_json(tournament), error) &&
           write_file((folder / JOBS_FILE).string(), jobs, error);
}

bool tournament_read(const std::string &folder, Tournament *tournament, std::string *error) {
    std::string path = (fs::path(folder) / PLAN_FILE).string();
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        *error = "no tournament in " + folder + " (" + PLAN_FILE + " is missing)";
        return false;
    }
    std::stringstream text;
    text << file.rdbuf();
    JsonValue plan;
    if (!json_parse(text.str(), &plan, nullptr, JsonStrings::ANY_BYTES) || plan["bots"].kind != JsonValue::Kind::ARRAY ||
        plan["games"].kind != JsonValue::Kind::NUMBER) {
        *error = path + " is not a tournament plan";
        return false;
    }
    *tournament = Tournament{};
    for (const JsonValue &bot : plan["bots"].items)
        tournament->bots.push_back({bot["name"].text, bot["command"].text});
    tournament->games = plan["games"].integer();
    tournament->years = plan["years"].integer();
    tournament->deadline_s = plan["deadline"].number;
    tournament->game_limit_s = plan["game_limit"].integer();
    tournament->maps = plan["maps"].text;
    tournament->folder = fs::absolute(folder).lexically_normal().string();
    if (tournament->bots.empty() || tournament->games < 1) {
        *error = path + " names no bots or no games";
        return false;
    }
    return true;
}
