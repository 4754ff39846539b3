// brox-replay: the pictures of every phase and the replay page of a game,
// from its record alone.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "tools/replay/replay.h"

namespace fs = std::filesystem;

namespace {

const char HELP[] = R"(Usage: brox-replay GAME.jsonl [--out DIR] [--layout FILE] [--page-only]

Writes the replay of a game from its record (game.jsonl, as brox-server or
any other writer of the same format writes it):
  replay.html                  the whole game on one page, phase by phase
                               (open replay.html#phase=N for phase N)
  phases/NNNN-YEAR-SEASON.svg  a picture of every phase with its orders
  final-board.svg              the board at the end
Pictures take the names the record gives them.

Options:
  --out DIR        folder to write into (default: the record's own folder;
                   created when missing)
  --layout FILE    the map's layout (layout.json, as brox-mapgen writes it),
                   for a record without a map line; a map line wins
  --page-only      write replay.html alone
  --help           show this text
)";

// A complaint about the command line (status 2) or about the files (1).
int complain(const std::string &text, int status = 2) {
    std::fprintf(stderr, "brox-replay: %s\n", text.c_str());
    return status;
}

bool read_file(const std::string &path, std::string *text) {
    std::ifstream file(path, std::ios::binary);
    if (!file) return false;
    std::stringstream bytes;
    bytes << file.rdbuf();
    *text = bytes.str();
    return true;
}

}  // namespace

int main(int argc, char **argv) {
    std::string record_path, out, layout_path;
    bool pictures = true;
    for (int i = 1; i < argc; i++) {
        std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(HELP, stdout);
            return 0;
        }
        if (arg == "--page-only") {
            pictures = false;
        } else if (arg == "--out" || arg == "--layout") {
            if (i + 1 >= argc || argv[i + 1][0] == '\0') return complain(arg + " needs a value (see --help)");
            (arg == "--out" ? out : layout_path) = argv[++i];
        } else if (arg.rfind("-", 0) == 0 && arg.size() > 1) {
            return complain("unknown option " + arg + " (see --help)");
        } else if (record_path.empty()) {
            record_path = arg;
        } else {
            return complain("one record at a time (see --help)");
        }
    }
    if (record_path.empty()) return complain("give the game record, as in \"brox-replay game-out/game.jsonl\"");
    if (out.empty()) out = fs::path(record_path).parent_path().string();
    if (out.empty()) out = ".";

    GameRecordRead record;
    std::string error;
    if (!record_load(record_path, &record, &error)) return complain(error, 1);
    if (!record.has_map) {
        std::string text;
        if (layout_path.empty())
            return complain(record_path + " has no map line (an older record): give the map's layout with "
                            "--layout FILE (brox-mapgen writes layout.json; --default for the built-in map)",
                            1);
        if (!read_file(layout_path, &text)) return complain("cannot read " + layout_path, 1);
        if (!layout_parse(text, &record.layout, &error)) return complain(layout_path + ": " + error, 1);
        record.map_name = fs::path(layout_path).parent_path().filename().string();
    }
    if (!replay_write(record, out, pictures, &error)) return complain(error, 1);
    std::printf("replay page:  %s\n", (fs::path(out) / REPLAY_PAGE_FILE).string().c_str());
    if (pictures) std::printf("pictures:     %zu phases, in %s\n", record.phases.size(), out.c_str());
    return 0;
}
