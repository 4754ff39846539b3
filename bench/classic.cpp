// Reading the classic map and positions for the benchmarks.
#include "classic.h"

#include <cstdio>
#include <fstream>
#include <iterator>

#include "world/centres.h"
#include "world/map.h"
#include "world/position.h"

const char *const CLASSIC_POSITIONS[4] = {"opening", "midgame-1", "midgame-2", "midgame-3"};

namespace {

std::vector<uint8_t> read_file(const std::string &folder, const std::string &name) {
    std::string path = folder + "/" + name;
    std::ifstream file(path, std::ios::binary);
    if (!file) std::fprintf(stderr, "brox_bench: cannot read %s\n", path.c_str());
    return {std::istreambuf_iterator<char>(file), {}};
}

}  // namespace

ClassicBoard::ClassicBoard(const std::string &name) : ClassicBoard(name, BROX_CLASSIC_DIR) {}

ClassicBoard::ClassicBoard(const std::string &name, const std::string &folder) {
    std::vector<uint8_t> map_message = read_file(folder, "map.bin");
    std::vector<uint8_t> centres_message = read_file(folder, name + "-centres.bin");
    message = read_file(folder, name + "-position.bin");
    if (map_message.empty() || centres_message.empty() || message.empty()) return;
    map = map_build(map_message.data());
    if (map) centres = centre_table_retain(centre_table_build(map, centres_message.data()));
}

ClassicBoard::~ClassicBoard() {
    if (centres) centre_table_release(map, centres);
    if (map) map_release(map);
}

Position *ClassicBoard::build() const {
    if (!map || !centres) return nullptr;
    std::vector<uint8_t> copy = message;
    return position_build(map, centres, copy.data());
}

