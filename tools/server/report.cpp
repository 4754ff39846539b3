// Printing the progress of a game and its final table.
#include "tools/server/report.h"

#include <cstdarg>
#include <filesystem>

#include "tools/server/game_record.h"
#include "tools/server/replay_page.h"

namespace {

int column_width(const Game *game, uint16_t power) {
    int width = static_cast<int>(power_name(game, power).size());
    return (width < 5 ? 5 : width) + 2;
}

}  // namespace

std::string power_name(const Game *game, uint16_t power) {
    const std::vector<LayoutPower> &powers = game->generated.layout.powers;
    if (power < powers.size()) return powers[power].name;
    return "Power " + std::to_string(power);
}

void game_report_event(const Game *game, Verbosity level, const char *format, ...) {
    if (!game->log || game->options.verbosity < level) return;
    va_list arguments;
    va_start(arguments, format);
    std::vfprintf(game->log, format, arguments);
    va_end(arguments);
    std::fputc('\n', game->log);
    std::fflush(game->log);
}

void game_report_start(const Game *game) {
    if (!game->log) return;
    std::fprintf(game->log, "game: map %s, %u powers, %u supply centres; %d years from %u; deadline %.1f s\n",
                 game->map_name.c_str(), game->map->power_count, game->map->centre_count, game->options.years,
                 game->first_year, static_cast<double>(game->options.deadline_ms) / 1000);
    std::fprintf(game->log, "%-4s %-6s %7s", "year", "season", "orders");
    for (uint16_t p = 0; p < game->map->power_count; p++)
        std::fprintf(game->log, "%*s", column_width(game, p), power_name(game, p).c_str());
    std::fputc('\n', game->log);
    std::fflush(game->log);
}

void game_report_phase(const Game *game) {
    if (!game->log) return;
    int due = 0, received = 0;
    for (uint16_t p = 0; p < game->map->power_count; p++) {
        if (!game_power_must_order(game, p)) continue;
        due++;
        received += game->orders[p].received;
    }
    char orders[32];
    std::snprintf(orders, sizeof orders, "%d/%d", received, due);
    std::fprintf(game->log, "%-4u %-6s %7s", game->position->year, season_name(game->position->season), orders);
    for (uint16_t p = 0; p < game->map->power_count; p++) {
        const CentreList *list = game->centres->lists[p];
        std::fprintf(game->log, "%*u", column_width(game, p), list ? list->count : 0u);
    }
    std::fputc('\n', game->log);
    std::fflush(game->log);
    for (uint16_t p = 0; p < game->map->power_count; p++)
        for (const Refusal &refusal : game->orders[p].refusals)
            game_report_event(game, Verbosity::VERBOSE, "  %s: refused entry %u: %s (%s)",
                              power_name(game, p).c_str(), refusal.entry, refusal.reason.c_str(),
                              refused_order_text(game, refusal.bytes).c_str());
}

std::string centre_table_text(const Game *game) {
    std::string text = "Supply centres by power and year\n";
    char cell[64];
    std::snprintf(cell, sizeof cell, "%-14s", "power");
    text += cell;
    for (const CentreCount &count : game->centre_history) {
        std::snprintf(cell, sizeof cell, "%7s", count.label.c_str());
        text += cell;
    }
    text += "\n";
    for (uint16_t p = 0; p < game->map->power_count; p++) {
        std::snprintf(cell, sizeof cell, "%-14s", power_name(game, p).c_str());
        text += cell;
        for (const CentreCount &count : game->centre_history) {
            std::snprintf(cell, sizeof cell, "%7u", p < count.per_power.size() ? count.per_power[p] : 0u);
            text += cell;
        }
        text += "\n";
    }
    return text;
}

void game_report_end(const Game *game, const char *reason) {
    std::string table = centre_table_text(game);
    std::filesystem::path out(game->options.out);
    std::string table_path = (out / CENTRE_TABLE_FILE).string();
    if (std::FILE *file = std::fopen(table_path.c_str(), "w")) {
        std::fputs(table.c_str(), file);
        std::fclose(file);
    }
    if (!game->log) return;
    std::fprintf(game->log, "game over: %s\n\n%s\n", reason, table.c_str());
    std::fprintf(game->log, "replay page:  %s\n", (out / REPLAY_PAGE_FILE).string().c_str());
    std::fprintf(game->log, "game record:  %s\n", (out / GAME_RECORD_FILE).string().c_str());
    std::fprintf(game->log, "pictures:     %s\n", (out / PHASE_PICTURE_FOLDER).string().c_str());
    std::fprintf(game->log, "final board:  %s\n", (out / FINAL_BOARD_FILE).string().c_str());
    std::fprintf(game->log, "centre table: %s\n", table_path.c_str());
    std::fflush(game->log);
}
