// Starting the game server for a test and reading its game record.
#include "game_run.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>

Server::Server(const Workspace &space, const std::vector<std::string> &options) : log(space / "server.log") {
    std::vector<std::string> argv = {BROX_SERVER_PATH, "--port", "0", "--out", space / "out"};
    argv.insert(argv.end(), options.begin(), options.end());
    process = std::make_unique<ChildProcess>(argv, space.str(), log);
    if (wait_for_text(log, "\n", START_MS)) {
        std::string first = read_text(log).substr(0, read_text(log).find('\n'));
        if (first.rfind("port ", 0) == 0) port = static_cast<uint16_t>(std::atoi(first.c_str() + 5));
    }
}

std::vector<JsonValue> game_record(const Workspace &space, bool dropped) {
    std::vector<JsonValue> lines;
    std::istringstream text(read_text(space / "out/game.jsonl"));
    for (std::string line; std::getline(text, line);) {
        JsonValue value;
        std::string error;
        EXPECT_TRUE(json_parse(line, &value, &error)) << error << "\n" << line;
        if (value["map"].boolean) continue;
        if (value["dropped"].boolean == dropped) lines.push_back(std::move(value));
    }
    return lines;
}
