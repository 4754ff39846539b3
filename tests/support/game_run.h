// Games played by processes: the brox-server command of the test program
// (BROX_SERVER_PATH) started in a workspace on a free port, the time
// limits of such games, and the game record read back.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "process.h"
#include "temp_dir.h"
#include "tools/common/json_value.h"

constexpr int START_MS = 30000;  // the server writing its first lines
constexpr int GAME_MS = 240000;  // a whole short game, sanitizer builds included
constexpr int EXIT_MS = 30000;   // a process ending once told to
constexpr int BOT_COUNT = 7;     // powers of the default map

// The server started in `space` on a free port with `options` after its
// own, its output in server.log and its game in out/.  `port` is read from
// its first line; 0 when that line did not come or named none.
struct Server {
    Server(const Workspace &space, const std::vector<std::string> &options);
    std::string log;
    std::unique_ptr<ChildProcess> process;
    uint16_t port = 0;
};

// The phase lines and the final line of the game record in out/; the map
// line and the lines of dropped connections are skipped, as a reader that
// does not know them would, or with `dropped` the dropped-connection lines
// are kept alone.  Every line must be JSON.
std::vector<JsonValue> game_record(const Workspace &space, bool dropped = false);
