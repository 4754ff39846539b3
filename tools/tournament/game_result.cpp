// Writing and reading a game's result.json, and joining it with the game
// record's final line into the seats the table counts.
#include "tools/tournament/game_result.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "tools/common/json_quote.h"
#include "tools/common/json_value.h"
#include "tools/tournament/record.h"

namespace fs = std::filesystem;

namespace {

std::string string_list(const std::vector<std::string> &items) {
    std::string out = "[";
    for (size_t i = 0; i < items.size(); i++) out += (i ? "," : "") + json_quote(items[i]);
    return out + "]";
}

std::vector<std::string> strings_of(const JsonValue &list) {
    std::vector<std::string> out;
    for (const JsonValue &item : list.items) out.push_back(item.text);
    return out;
}

GameResult failed(GameResult result, const std::string &error) {
    result.status = GameStatus::FAILED;
    result.error = error;
    result.seats.clear();
    return result;
}

// The seats of a played game from its record's final line.
GameResult with_seats(GameResult result) {
    RecordSummary record = record_read(result.folder);
    if (!record.readable) return failed(result, "its record " + std::string(RECORD_FILE) + " cannot be read");
    if (!record.finished) return failed(result, "its record has no final line");
    if (record.powers.size() != result.bots.size())
        return failed(result, "its record has " + std::to_string(record.powers.size()) + " powers, but " +
                                  std::to_string(result.bots.size()) + " bots were seated");
    for (size_t p = 0; p < record.powers.size(); p++) {
        const PowerEnd &end = record.powers[p];
        if (end.power != static_cast<int>(p)) return failed(result, "its record lists the powers out of order");
        Seat seat;
        seat.power = end.power;
        seat.bot = result.bots[p];
        seat.centres = end.centres;
        seat.units = end.units;
        seat.solo = record_solo(record, end);
        seat.survived = record_survived(end);
        if (p < record.orders.size()) {
            seat.orders_due = record.orders[p].due;
            seat.missed = record.orders[p].missed;
            seat.refused = record.orders[p].refused;
        }
        result.seats.push_back(seat);
    }
    // The same record with the same bots on the same powers is the same
    // game.
    result.record_fingerprint = record.fingerprint;
    result.fingerprint = record.fingerprint;
    for (const std::string &bot : result.bots)
        for (unsigned char c : bot + '\n') result.fingerprint = (result.fingerprint ^ c) * 0x100000001b3ull;
    if (result.end.empty()) result.end = record.end;
    if (result.reason.empty()) result.reason = record.reason;
    return result;
}

}  // namespace

const char *game_status_name(GameStatus status) {
    switch (status) {
    case GameStatus::PLAYED: return "played";
    case GameStatus::FAILED: return "failed";
    case GameStatus::MISSING: break;
    }
    return "missing";
}

bool game_result_write(const GameResult &result, std::string *error) {
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.1f", result.seconds);
    std::string text = "{\"game\":" + std::to_string(result.game) + ",\"status\":" +
                       json_quote(result.status == GameStatus::PLAYED ? "played" : "failed") +
                       ",\"error\":" + json_quote(result.error) + ",\"culprit\":" + json_quote(result.culprit) +
                       ",\"warnings\":" + string_list(result.warnings) + ",\"bots\":" + string_list(result.bots) +
                       ",\"map\":" + json_quote(result.map) + ",\"end\":" + json_quote(result.end) +
                       ",\"reason\":" + json_quote(result.reason) + ",\"seconds\":" + seconds + "}\n";
    fs::path path = fs::path(result.folder) / RESULT_FILE;
    fs::path partial = path;
    partial += ".partial";
    {
        std::ofstream file(partial, std::ios::binary | std::ios::trunc);
        file << text;
        file.close();
        if (!file) {
            *error = "cannot write " + partial.string();
            return false;
        }
    }
    std::error_code failure;
    fs::rename(partial, path, failure);
    if (failure) *error = "cannot write " + path.string() + ": " + failure.message();
    return !failure;
}

GameResult game_result_read(const std::string &folder, int game) {
    GameResult result;
    result.game = game;
    result.folder = folder;
    std::ifstream file(fs::path(folder) / RESULT_FILE, std::ios::binary);
    if (!file) {
        result.error = "no result: not played yet, or its job was stopped before it could write one";
        return result;
    }
    std::stringstream text;
    text << file.rdbuf();
    JsonValue stored;
    if (!json_parse(text.str(), &stored, nullptr, JsonStrings::ANY_BYTES) ||
        stored.kind != JsonValue::Kind::OBJECT)
        return failed(result, std::string(RESULT_FILE) + " is not readable");
    result.error = stored["error"].text;
    result.culprit = stored["culprit"].text;
    result.warnings = strings_of(stored["warnings"]);
    result.bots = strings_of(stored["bots"]);
    result.map = stored["map"].text;
    result.end = stored["end"].text;
    result.reason = stored["reason"].text;
    result.seconds = stored["seconds"].number;
    if (stored["status"].text != "played") return failed(result, result.error.empty() ? "failed" : result.error);
    result.status = GameStatus::PLAYED;
    return with_seats(result);
}
