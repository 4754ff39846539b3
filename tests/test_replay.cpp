// The replay from a record alone: the record's names of units and orders
// read back into a board (moves, supports, convoys and routes, retreats of
// dislodged units, builds and removals), the page listing orders by power
// without the units that had nothing to do, picture names that stay in
// their folder, the layout on one line, and what a broken record says.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "temp_dir.h"
#include "tools/common/json_quote.h"
#include "tools/common/json_value.h"
#include "tools/mapgen/mapgen.h"
#include "tools/replay/phase_board.h"
#include "tools/replay/replay.h"

namespace {

namespace fs = std::filesystem;

// Places of the default map by kind, for writing records by hand.
struct Places {
    Layout layout;
    std::vector<std::string> land, sea;
    std::string two_coasts;  // a province with two named coasts
    std::string coast;       // one of its coasts' names

    Places() : layout(mapgen_default().layout) {
        for (const LayoutProvince &province : layout.provinces) {
            if (province.terrain == TERRAIN_WATER) sea.push_back(province.abbreviation);
            else if (province.terrain == TERRAIN_LAND) land.push_back(province.abbreviation);
            if (!province.coasts.empty() && two_coasts.empty()) {
                two_coasts = province.abbreviation;
                coast = province.coasts[1].name;
            }
        }
    }
    size_t index(const std::string &abbreviation) const { return phase_place(layout, abbreviation).province; }
    std::string map_line() const {
        return R"({"map":true,"name":"standard","layout":)" + layout_json(layout, LayoutText::ONE_LINE) + "}";
    }
};

JsonValue parsed(const std::string &text) {
    JsonValue value;
    std::string error;
    EXPECT_TRUE(json_parse(text, &value, &error)) << error << "\n" << text;
    return value;
}

RecordPhase phase_of(const std::string &line) {
    RecordPhase phase;
    EXPECT_TRUE(record_phase_read(parsed(line), &phase)) << line;
    return phase;
}

std::string unit_json(int power, const std::string &name, bool dislodged = false) {
    return "{\"power\":" + std::to_string(power) + ",\"unit\":" + json_quote(name) +
           (dislodged ? ",\"dislodged\":true,\"retreats\":[]" : "") + "}";
}

std::string order_json(int power, const std::string &text, const std::string &unit, const std::string &outcome,
                       bool dislodged = false) {
    return "{\"power\":" + std::to_string(power) + ",\"order\":" + json_quote(text) + ",\"from\":\"bot\",\"unit\":" +
           (unit.empty() ? "null" : json_quote(unit)) + ",\"outcome\":" + json_quote(outcome) +
           ",\"dislodged\":" + (dislodged ? "true" : "false") + "}";
}

std::string join(const std::vector<std::string> &items) {
    std::string out;
    for (const std::string &item : items) out += (out.empty() ? "" : ",") + item;
    return out;
}

std::string phase_line(int year, const char *season, const std::vector<std::string> &units,
                       const std::vector<std::string> &orders, const std::string &owned = "[]") {
    return "{\"year\":" + std::to_string(year) + ",\"season\":\"" + season + "\",\"units\":[" + join(units) +
           "],\"orders\":[" + join(orders) +
           "],\"powers\":[{\"power\":0,\"name\":\"Zero\",\"centres\":2},{\"power\":1,\"name\":\"One\",\"centres\":1}],"
           "\"ownership\":[" + owned + ",[]],\"unowned\":[]}";
}

// ---------------------------------------------------------------------------
// Names into a board
// ---------------------------------------------------------------------------

TEST(ReplayBoard, EveryKindOfOrderIsReadWithItsUnitsPlacesAndRoute) {
    Places at;
    const std::string &a = at.land[0], &b = at.land[1], &c = at.land[2], &s = at.sea[0], &t = at.sea[1];
    std::string fleet = "F " + at.two_coasts + "/" + at.coast;
    RecordPhase phase = phase_of(phase_line(
        1901, "spring",
        {unit_json(0, "A " + a), unit_json(0, "A " + b), unit_json(1, "F " + s), unit_json(1, "F " + t),
         unit_json(1, fleet), unit_json(0, "A XYZ")},
        {order_json(0, "A " + a + " - " + c + " via " + s + " " + t, "A " + a, "moved"),
         order_json(0, "A " + b + " S A " + a + " - " + c, "A " + b, "cut", true),
         order_json(1, "F " + s + " C A " + a + " - " + c, "F " + s, "carried"),
         order_json(1, "F " + t + " S F " + s, "F " + t, "supported"),
         order_json(1, fleet + " - " + c, fleet, "bounced"), order_json(0, "A XYZ H", "A XYZ", "held")},
        "[" + json_quote(a) + "," + json_quote(b) + "]"));
    BoardState board = phase_board(at.layout, phase);
    EXPECT_EQ(board.phase, "Spring 1901");
    // The unit on a place the map does not have is left out, and its order.
    ASSERT_EQ(board.units.size(), 5u);
    EXPECT_TRUE(board.units[4].fleet);
    EXPECT_EQ(board.units[4].place.province, at.index(at.two_coasts));
    EXPECT_EQ(board.units[4].place.coast, at.coast);
    ASSERT_EQ(board.orders.size(), 5u);

    const BoardOrder &route = board.orders[0];
    EXPECT_EQ(route.kind, BoardOrderKind::CONVOY_MOVE);
    EXPECT_EQ(route.unit, 0);
    EXPECT_EQ(route.target.province, at.index(c));
    EXPECT_EQ(route.via, (std::vector<size_t>{at.index(s), at.index(t)}));
    const BoardOrder &support = board.orders[1];
    EXPECT_EQ(support.kind, BoardOrderKind::SUPPORT);
    EXPECT_EQ(support.unit, 1);
    EXPECT_EQ(support.other, 0);
    EXPECT_EQ(support.target.province, at.index(c));
    EXPECT_EQ(support.outcome, "cut");
    const BoardOrder &convoy = board.orders[2];
    EXPECT_EQ(convoy.kind, BoardOrderKind::CONVOY);
    EXPECT_EQ(convoy.power, 1);
    EXPECT_EQ(convoy.other, 0);
    EXPECT_EQ(convoy.target.province, at.index(c));
    const BoardOrder &hold_support = board.orders[3];
    EXPECT_EQ(hold_support.kind, BoardOrderKind::SUPPORT);
    EXPECT_EQ(hold_support.other, 2);
    EXPECT_EQ(hold_support.target.province, BOARD_NOWHERE);
    EXPECT_EQ(board.orders[4].kind, BoardOrderKind::MOVE);
    EXPECT_EQ(board.orders[4].unit, 4);
    // The supporter was dislodged; owners and centre counts come along.
    EXPECT_EQ(board.dislodged, std::vector<int>{1});
    EXPECT_EQ(board.owners[at.index(a)], 0);
    EXPECT_EQ(board.owners[at.index(c)], -1);
    EXPECT_EQ(board.centre_counts, (std::vector<int>{2, 1}));
}

TEST(ReplayBoard, RetreatsAndDisbandsBelongToTheDislodgedUnitsAndWinterOrdersToTheirPlaces) {
    Places at;
    const std::string &a = at.land[0], &b = at.land[1];
    // Power 0's army in a was dislodged by power 1's, which now stands there.
    RecordPhase retreat = phase_of(phase_line(
        1901, "summer", {unit_json(1, "A " + a), unit_json(0, "A " + a, true), unit_json(0, "A " + b, true)},
        {order_json(1, "A " + a + " H", "A " + a, "held"), order_json(0, "A " + a + " R " + at.land[3], "A " + a, "retreated"),
         order_json(0, "A " + b + " D", "A " + b, "disbanded")}));
    BoardState board = phase_board(at.layout, retreat);
    ASSERT_EQ(board.orders.size(), 3u);
    EXPECT_EQ(board.orders[0].unit, 0);
    EXPECT_EQ(board.orders[1].kind, BoardOrderKind::RETREAT);
    EXPECT_EQ(board.orders[1].unit, 1);
    EXPECT_TRUE(board.units[1].dislodged);
    EXPECT_EQ(board.orders[1].target.province, at.index(at.land[3]));
    EXPECT_EQ(board.orders[2].kind, BoardOrderKind::DISBAND);
    EXPECT_EQ(board.orders[2].unit, 2);

    RecordPhase winter = phase_of(phase_line(
        1901, "winter", {unit_json(0, "A " + a)},
        {order_json(0, "remove A " + a, "A " + a, "removed"),
         order_json(1, "build F " + at.two_coasts + "/" + at.coast, "", "built"), order_json(1, "waive", "", "waived")}));
    board = phase_board(at.layout, winter);
    ASSERT_EQ(board.orders.size(), 3u);
    EXPECT_EQ(board.orders[0].kind, BoardOrderKind::REMOVE);
    EXPECT_EQ(board.orders[0].unit, 0);
    EXPECT_EQ(board.orders[1].kind, BoardOrderKind::BUILD);
    EXPECT_TRUE(board.orders[1].fleet);
    EXPECT_EQ(board.orders[1].target.province, at.index(at.two_coasts));
    EXPECT_EQ(board.orders[1].target.coast, at.coast);
    EXPECT_EQ(board.orders[2].kind, BoardOrderKind::WAIVE);
}

// ---------------------------------------------------------------------------
// The page
// ---------------------------------------------------------------------------

// The page's data: the JSON of its replay-data script.
JsonValue page_data(const std::string &html) {
    std::string head = "<script type=\"application/json\" id=\"replay-data\">";
    size_t start = html.find(head);
    EXPECT_NE(start, std::string::npos);
    start += head.size();
    return parsed(html.substr(start, html.find("</script>", start) - start));
}

TEST(ReplayPage, OrdersAreGroupedByPowerAndRetreatsAndWintersListOnlyUnitsWithSomethingToDo) {
    Places at;
    TempDir dir;
    const std::string &a = at.land[0], &b = at.land[1], &c = at.land[2];
    std::vector<std::string> lines = {
        at.map_line(),
        phase_line(1901, "fall", {unit_json(1, "A " + b), unit_json(0, "A " + a), unit_json(1, "A " + c)},
                   {order_json(1, "A " + b + " H", "A " + b, "held"),
                    order_json(0, "A " + a + " - " + b, "A " + a, "bounced"),
                    order_json(1, "A " + c + " H", "A " + c, "held")}),
        R"({"dropped":true,"year":1901,"season":"fall","seat":1,"peer":"","reason":"closed","detail":""})",
        phase_line(1901, "autumn", {unit_json(1, "A " + b), unit_json(0, "A " + a, true), unit_json(1, "A " + c)},
                   {order_json(1, "A " + b + " H", "A " + b, "held"), order_json(0, "A " + a + " D", "A " + a, "disbanded"),
                    order_json(1, "A " + c + " H", "A " + c, "held")}),
        phase_line(1901, "winter", {unit_json(1, "A " + b), unit_json(1, "A " + c)},
                   {order_json(1, "A " + b + " H", "A " + b, "held"), order_json(1, "A " + c + " H", "A " + c, "held"),
                    order_json(0, "build A " + a, "", "built")}),
        R"({"final":true,"reason":"the last year has been played","year":1902,"season":"spring","units":[],)"
        R"("powers":[{"power":0,"name":"Zero","centres":3},{"power":1,"name":"One","centres":0}],)"
        R"("ownership":[[],[]],"unowned":[],"picture":"../../outside.svg"})",
    };
    {
        std::ofstream file("game.jsonl");
        for (const std::string &line : lines) file << line << "\n";
    }
    GameRecordRead record;
    std::string error;
    ASSERT_TRUE(record_load("game.jsonl", &record, &error)) << error;
    EXPECT_TRUE(record.has_map);
    ASSERT_EQ(record.phases.size(), 4u);
    ASSERT_TRUE(replay_write(record, "out", true, &error)) << error;
    std::string html;
    {
        std::ifstream file("out/replay.html");
        html.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    }
    JsonValue data = page_data(html);
    const JsonValue &phases = data["phases"];
    ASSERT_EQ(phases.items.size(), 4u);
    // Fall: every order, power 0's first.
    const JsonValue &fall = phases[size_t{0}];
    ASSERT_EQ(fall["orders"].items.size(), 3u);
    EXPECT_EQ(fall["orders"][size_t{0}][size_t{0}].integer(), 0);
    EXPECT_EQ(fall["orders"][size_t{1}][size_t{1}].text, "A " + b + " H");
    EXPECT_EQ(fall["unlisted"].integer(), 0);
    // Autumn: the disband alone; winter: the build alone.
    const JsonValue &autumn = phases[size_t{1}];
    ASSERT_EQ(autumn["orders"].items.size(), 1u);
    EXPECT_EQ(autumn["orders"][size_t{0}][size_t{2}].text, "disbanded");
    EXPECT_EQ(autumn["unlisted"].integer(), 2);
    const JsonValue &winter = phases[size_t{2}];
    ASSERT_EQ(winter["orders"].items.size(), 1u);
    EXPECT_EQ(winter["orders"][size_t{0}][size_t{1}].text, "build A " + a);
    EXPECT_EQ(winter["unlisted"].integer(), 2);
    EXPECT_TRUE(phases[size_t{3}]["final"].boolean);
    // The centres by year: the start, and 1901 from the winter after its
    // autumn.
    EXPECT_NE(html.find("<th>Power</th><th>start</th><th>1901</th></tr>"), std::string::npos);
    // A picture name that leaves the folder is replaced.
    EXPECT_EQ(phases[size_t{3}]["picture"].text, REPLAY_FINAL_PICTURE);
    EXPECT_TRUE(fs::exists("out/final-board.svg"));
    EXPECT_TRUE(fs::exists("out/phases/0001-1901-fall.svg"));
    EXPECT_FALSE(fs::exists("outside.svg"));
}

TEST(ReplayPage, PictureNamesFromTheRecordStayInsideTheOutputFolder) {
    RecordPhase phase;
    phase.year = 1903;
    phase.season = "fall";
    for (const char *kept : {"phases/0001-1901-spring.svg", "a.svg", "x/y/z.svg"}) {
        phase.picture = kept;
        EXPECT_EQ(replay_picture_name(phase, 7), kept);
    }
    for (const char *refused : {"../x.svg", "/tmp/x.svg", "phases/../../x.svg", "a b.svg", "x//y.svg", "x.png", "",
                                "./x.svg", "phases/\n.svg"}) {
        phase.picture = refused;
        EXPECT_EQ(replay_picture_name(phase, 7), "phases/0007-1903-fall.svg") << refused;
    }
    phase.season = "../../etc";
    phase.picture = "";
    EXPECT_EQ(replay_picture_name(phase, 2), "phases/0002-1903-phase.svg");
}

// ---------------------------------------------------------------------------
// The record's map line and broken records
// ---------------------------------------------------------------------------

TEST(ReplayRecord, TheLayoutOnOneLineReadsBackAsItWasAndBrokenRecordsSayWhere) {
    Places at;
    std::string one_line = layout_json(at.layout, LayoutText::ONE_LINE);
    EXPECT_EQ(one_line.find('\n'), std::string::npos);
    EXPECT_EQ(one_line.find(": "), std::string::npos);
    Layout read;
    std::string error;
    ASSERT_TRUE(layout_parse(one_line, &read, &error)) << error;
    EXPECT_EQ(layout_json(read), layout_json(at.layout));

    TempDir dir;
    auto load = [](const std::vector<std::string> &lines) {
        {
            std::ofstream file("game.jsonl");
            for (const std::string &line : lines) file << line << "\n";
        }
        GameRecordRead record;
        std::string problem;
        EXPECT_FALSE(record_load("game.jsonl", &record, &problem));
        return problem;
    };
    std::string phase = phase_line(1901, "spring", {}, {});
    EXPECT_NE(load({at.map_line(), phase, "{\"year\":"}).find("game.jsonl: line 3 is not JSON"), std::string::npos);
    EXPECT_NE(load({R"({"map":true,"name":"x","layout":{"width":0}})", phase}).find("line 1: the map line's layout: width"),
              std::string::npos);
    EXPECT_NE(load({at.map_line()}).find("holds no phase"), std::string::npos);
    GameRecordRead record;
    EXPECT_FALSE(record_load("no-such-record.jsonl", &record, &error));
    EXPECT_NE(error.find("cannot read no-such-record.jsonl"), std::string::npos);
}

}  // namespace
