// Setting up the local game server: its command line (every complaint
// says what is wrong), and map folders, which come from users: a folder
// brox-mapgen wrote is read back exactly, and every damaged file is
// refused with a message naming the file and the fault.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "board.h"
#include "common/bytes.h"
#include "doubles.h"
#include "temp_dir.h"
#include "tools/mapgen/mapgen.h"
#include "tools/server/game.h"
#include "tools/server/map_folder.h"
#include "tools/server/options.h"
#include "world/centres_message.h"
#include "world/position.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

// ---------------------------------------------------------------------------
// The command line
// ---------------------------------------------------------------------------

struct Parsed {
    int status;
    std::string complaint;
    ServerOptions options;
};

Parsed parse(std::vector<std::string> words) {
    words.insert(words.begin(), "brox-server");
    std::vector<char *> argv;
    for (std::string &word : words) argv.push_back(word.data());
    Parsed parsed;
    testing::internal::CaptureStderr();
    parsed.status = server_options_parse(static_cast<int>(argv.size()), argv.data(), &parsed.options);
    parsed.complaint = testing::internal::GetCapturedStderr();
    return parsed;
}

TEST(ServerOptions, EachComplaintSaysWhatIsWrong) {
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"--years", "0"}, "brox-server: --years must be 1 to 1000\n"},
        {{"--years", "1001"}, "brox-server: --years must be 1 to 1000\n"},
        {{"--port", "x"}, "brox-server: --port: \"x\" is not a number\n"},
        {{"--port", "70000"}, "brox-server: --port must be 0 to 65535\n"},
        {{"--powers", "21"}, "brox-server: --powers must be 1 to 20\n"},
        {{"--provinces", "7"}, "brox-server: --provinces must be 8 to 300\n"},
        {{"--homes", "6x"}, "brox-server: --homes: \"6x\" is not a number\n"},
        {{"--seed", "99999999999999999999"}, "brox-server: --seed must be 0 to 9223372036854775807\n"},
        {{"--deadline", "0"}, "brox-server: --deadline must be more than 0 and at most 86400 seconds\n"},
        {{"--deadline", "soon"}, "brox-server: --deadline: \"soon\" is not a number\n"},
        {{"--foo"}, "brox-server: unknown option --foo (see --help)\n"},
        {{"--foo", "3"}, "brox-server: unknown option --foo (see --help)\n"},
        {{"--years"}, "brox-server: --years needs a value (see --help)\n"},
        {{"--out", "--quiet"}, "brox-server: --out needs a value (see --help)\n"},
        {{"--out", ""}, "brox-server: --out needs a folder name\n"},
        {{"--map", "m", "--seed", "2"}, "brox-server: --map plays the map of a folder; --seed, --provinces, "
                                        "--powers and --homes make a new one: give one or the other\n"},
    };
    for (const auto &[words, complaint] : cases) {
        Parsed parsed = parse(words);
        EXPECT_EQ(parsed.status, 2) << words[0];
        EXPECT_EQ(parsed.complaint, complaint) << words[0];
    }
    Parsed sized = parse({"--provinces", "300", "--powers", "20", "--years", "1000", "--deadline", "0.5"});
    EXPECT_EQ(sized.status, 0);
    EXPECT_EQ(sized.complaint, "");
    EXPECT_TRUE(sized.options.sized);
    EXPECT_EQ(sized.options.provinces, 300);
    EXPECT_EQ(sized.options.powers, 20);
    EXPECT_EQ(sized.options.years, 1000);
    EXPECT_EQ(sized.options.deadline_ms, 500);
}

// ---------------------------------------------------------------------------
// Map folders
// ---------------------------------------------------------------------------

MapgenOptions small_map() {
    MapgenOptions options;
    options.seed = 4;
    options.provinces = 24;
    options.powers = 3;
    options.homes = 2;
    return options;
}

void write(const fs::path &path, const Bytes &bytes) {
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char *>(bytes.data()),
                                                static_cast<std::streamsize>(bytes.size()));
}

void write(const fs::path &path, const std::string &text) { std::ofstream(path, std::ios::binary) << text; }

void write_folder(const fs::path &folder, const GeneratedMap &map) {
    fs::create_directories(folder);
    write(folder / "map.bin", map.map_message);
    write(folder / "centres.bin", map.centres_message);
    write(folder / "position.bin", map.position_message);
    write(folder / "layout.json", layout_json(map.layout));
}

std::string read_error(const fs::path &folder) {
    GeneratedMap read;
    std::string error;
    EXPECT_FALSE(map_folder_read(folder.string(), &read, &error));
    return error;
}

TEST(MapFolder, AFolderBroxMapgenWroteIsReadBackAndPlayed) {
    TempDir dir;
    GeneratedMap generated = mapgen_generate(small_map());
    write_folder("small", generated);
    GeneratedMap read;
    std::string error;
    ASSERT_TRUE(map_folder_read("small", &read, &error)) << error;
    EXPECT_EQ(read.map_message, generated.map_message);
    EXPECT_EQ(read.centres_message, generated.centres_message);
    EXPECT_EQ(read.position_message, generated.position_message);
    EXPECT_EQ(layout_json(read.layout), layout_json(generated.layout));

    ServerOptions options;
    options.map_dir = "small/";
    options.out = "out";
    options.verbosity = Verbosity::QUIET;
    Game game;
    ASSERT_TRUE(game_init(&game, options, &error)) << error;
    EXPECT_EQ(game.map_name, "small");
    EXPECT_EQ(game_map(&game)->power_count, 3);
    EXPECT_EQ(game_position(&game)->unit_count, position_message_unit_count(generated.position_message.data()));
    game_release(&game);
}

// The server plays maps of at most 100 supply centres: a winter could
// owe more builds than a position has room for.  The library builds such
// maps, and a referee plays them in-process.
TEST(MapFolder, AMapOfMoreThanAHundredSupplyCentresIsRefusedByTheServerOnly) {
    TempDir dir;
    std::string text = "powers 1\nland H*0";
    for (int c = 0; c < 101; c++) text += " C" + std::to_string(c) + "*";
    board::Board big(text + "\n");
    GeneratedMap map;
    map.map_message = big.map_message();
    map.centres_message = big.centres("0: H");
    map.position_message = big.position(SEASON_SPRING, 1901, "0 A H");
    write_folder("big", map);
    EXPECT_NE(read_error("big").find("map folder big: map.bin: 102 supply centres, but a position holds at most 100 "
                                     "units, so the server plays maps of at most 100 supply centres"),
              std::string::npos)
        << read_error("big");

    ServerOptions options;
    options.out = "out";
    options.verbosity = Verbosity::QUIET;
    Game game;
    std::string error;
    EXPECT_FALSE(game_init_on_map(&game, options, map, "big", &error));
    EXPECT_NE(error.find("map big: 102 supply centres"), std::string::npos) << error;
    game_release(&game);

    const char *why = nullptr;
    BroxReferee *referee =
        brox_referee_new(map.map_message.data(), map.map_message.size(), map.centres_message.data(),
                         map.centres_message.size(), map.position_message.data(), map.position_message.size(), &why);
    ASSERT_NE(referee, nullptr) << why;
    EXPECT_EQ(brox_referee_position(referee)->map->centre_count, 102);
    brox_referee_free(referee);
}

TEST(MapFolder, EveryDamagedFileIsRefusedWithItsNameAndFault) {
    TempDir dir;
    GeneratedMap good = mapgen_generate(small_map());
    std::string layout = layout_json(good.layout);
    auto damaged = [&](const std::string &name, auto damage) {
        GeneratedMap map = good;
        write_folder(name, map);
        damage(fs::path(name));
        return read_error(name);
    };
    auto unit_field = [&](size_t at, uint16_t value) {
        Bytes position = good.position_message;
        put_u16(position_message_unit(position.data(), 0), at, value);
        return position;
    };
    const std::vector<std::pair<std::string, std::string>> cases = {
        {damaged("no-map", [](const fs::path &f) { fs::remove(f / "map.bin"); }), "map folder no-map: map.bin: missing"},
        {damaged("short-map", [&](const fs::path &f) { write(f / "map.bin", Bytes(good.map_message.begin(), good.map_message.begin() + 40)); }),
         "map.bin: 40 bytes, but its header gives a length of"},
        {damaged("swapped", [&](const fs::path &f) { write(f / "centres.bin", good.position_message); }),
         "centres.bin: not a centre-ownership message (type 0x0E48, expected 0x1548)"},
        {damaged("far-centre", [&](const fs::path &f) {
             Bytes centres = good.centres_message;
             put_u16(centres.data(), centres_message_size(0) + CENTRES_PROVINCE_AT, 999);
             write(f / "centres.bin", centres);
         }),
         "centres.bin: entry 1: province 999 is not a supply centre of the map"},
        {damaged("far-unit", [&](const fs::path &f) { write(f / "position.bin", unit_field(UNIT_PROVINCE_AT, 999)); }),
         "position.bin: unit 1: province 999 is not a province of the map"},
        {damaged("no-season", [&](const fs::path &f) {
             Bytes position = good.position_message;
             position_message_set_phase(position.data(), {0, position_message_phase(position.data()).year});
             write(f / "position.bin", position);
         }),
         "position.bin: season 0x0000 is not one of the five seasons"},
        {damaged("stacked", [&](const fs::path &f) {
             Bytes position = good.position_message;
             PositionUnitEntry first, second;
             position_unit_read(position_message_unit(position.data(), 0), &first);
             position_unit_read(position_message_unit(position.data(), 1), &second);
             second.unit_type = first.unit_type;
             second.province = first.province;
             second.coast = first.coast;
             position_unit_write(position_message_unit(position.data(), 1), second);
             write(f / "position.bin", position);
         }),
         "position.bin: unit 2: a second unit standing in province"},
        {damaged("cut-layout", [&](const fs::path &f) { write(f / "layout.json", layout.substr(0, layout.size() / 2)); }),
         "layout.json: line "},
        {damaged("few-provinces", [&](const fs::path &f) {
             Layout fewer = good.layout;
             fewer.provinces.pop_back();
             write(f / "layout.json", layout_json(fewer));
         }),
         "layout.json: 23 provinces, but map.bin has 24"},
        {damaged("red", [&](const fs::path &f) {
             Layout red = good.layout;
             red.powers[1].colour = "red";
             write(f / "layout.json", layout_json(red));
         }),
         "layout.json: powers[1].colour: expected a colour written #rrggbb"},
        {damaged("far-point", [&](const fs::path &f) {
             Layout far = good.layout;
             far.provinces[5].label.x = 5000000;
             write(f / "layout.json", layout_json(far));
         }),
         "layout.json: provinces[5].label: expected [x, y], whole numbers within 1000000 of 0"},
        {damaged("deep", [&](const fs::path &f) { write(f / "layout.json", std::string(100000, '[')); }),
         "layout.json: line 1: nested too deeply"},
        {damaged("latin1", [&](const fs::path &f) {
             Layout odd = good.layout;
             odd.provinces[0].name = "Caf\xe9";
             write(f / "layout.json", layout_json(odd));
         }),
         "a string that is not UTF-8"},
    };
    for (const auto &[error, expected] : cases) EXPECT_NE(error.find(expected), std::string::npos) << error;
    EXPECT_NE(read_error("nowhere").find("map folder nowhere: not a folder"), std::string::npos);
}

}  // namespace
