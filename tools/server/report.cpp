// Printing the progress of a game and its final table.
#include "tools/server/report.h"

#include <cstdarg>
#include <filesystem>

#include "tools/replay/replay.h"
#include "tools/server/notation.h"
#include "tools/server/record_files.h"

namespace {

std::string power_name(const Game *game, uint16_t power) { return power_name(game->generated.layout, power); }

int column_width(const Game *game, uint16_t power) {
    int width = static_cast<int>(power_name(game, power).size());
    return (width < 5 ? 5 : width) + 2;
}

// ---------------------------------------------------------------------------
// Log lines per group of connections
// ---------------------------------------------------------------------------

std::string group_name(const Game *game, size_t group) {
    if (group >= game->seats.size()) return "connections without a power";
    return "power " + std::to_string(group) + " (" + power_name(game, static_cast<uint16_t>(group)) + ")";
}

// Prints a line charged to a group, or counts it once the group's lines
// are used up; the last line printed says so.
void report_limited(Game *game, size_t group, Verbosity level, const char *format, va_list arguments) {
    if (!game->log || game->options.verbosity < level || group >= game->log_budgets.size()) return;
    LineBudget &budget = game->log_budgets[group];
    if (budget.shown >= game->options.limits.log_lines) {
        budget.hidden++;
        return;
    }
    std::vfprintf(game->log, format, arguments);
    std::fputc('\n', game->log);
    if (++budget.shown == game->options.limits.log_lines)
        std::fprintf(game->log, "(log limit: further lines about %s are counted, not shown)\n",
                     group_name(game, group).c_str());
    std::fflush(game->log);
}

void report_group(Game *game, size_t group, Verbosity level, const char *format, ...)
    __attribute__((format(printf, 4, 5)));

void report_group(Game *game, size_t group, Verbosity level, const char *format, ...) {
    va_list arguments;
    va_start(arguments, format);
    report_limited(game, group, level, format, arguments);
    va_end(arguments);
}

// One line per group whose lines were held back.
void report_hidden_lines(const Game *game) {
    for (size_t group = 0; group < game->log_budgets.size(); group++)
        if (game->log_budgets[group].hidden > 0)
            std::fprintf(game->log, "log limit: %ld more lines about %s were not shown\n",
                         game->log_budgets[group].hidden, group_name(game, group).c_str());
}

}  // namespace

void game_report_link(Game *game, uint32_t link, Verbosity level, const char *format, ...) {
    size_t group = game->seats.size();
    if (link < game->links.size() && game->links[link].power >= 0)
        group = static_cast<size_t>(game->links[link].power);
    va_list arguments;
    va_start(arguments, format);
    report_limited(game, group, level, format, arguments);
    va_end(arguments);
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
    const Map *map = game_map(game);
    std::fprintf(game->log, "game: map %s, %u powers, %u supply centres; %d years from %u; deadline %.1f s\n",
                 game->map_name.c_str(), map->power_count, map->centre_count, game->options.years,
                 game_position(game)->year, static_cast<double>(game->options.deadline_ms) / 1000);
    std::fprintf(game->log, "%-4s %-6s %7s", "year", "season", "orders");
    for (uint16_t p = 0; p < map->power_count; p++)
        std::fprintf(game->log, "%*s", column_width(game, p), power_name(game, p).c_str());
    std::fputc('\n', game->log);
    std::fflush(game->log);
}

void game_report_phase(Game *game) {
    const Position *last = brox_referee_last_position(game->referee);
    if (!game->log || !last) return;
    const Map *map = last->map;
    int due = 0, received = 0;
    std::vector<BroxPowerOrders> orders(map->power_count);
    for (uint16_t p = 0; p < map->power_count; p++) {
        brox_referee_last_orders(game->referee, p, &orders[p]);
        if (!orders[p].due) continue;
        due++;
        received += orders[p].received;
    }
    char counts[32];
    std::snprintf(counts, sizeof counts, "%d/%d", received, due);
    std::fprintf(game->log, "%-4u %-6s %7s", last->year, season_name(last->season), counts);
    for (uint16_t p = 0; p < map->power_count; p++) {
        const CentreList *list = last->centres->lists[p];
        std::fprintf(game->log, "%*u", column_width(game, p), list ? list->count : 0u);
    }
    std::fputc('\n', game->log);
    std::fflush(game->log);
    Notation names{game->generated.layout, map};
    for (uint16_t p = 0; p < map->power_count; p++)
        for (uint16_t r = 0; r < orders[p].refusals; r++) {
            BroxRefusal refusal{};
            if (!brox_referee_last_refusal(game->referee, p, r, &refusal)) break;
            report_group(game, p, Verbosity::VERBOSE, "  %s: refused entry %u: %s (%s)", power_name(game, p).c_str(),
                         refusal.entry, brox_refusal_text(refusal.refusal), entry_text(names, refusal.bytes).c_str());
        }
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
    for (uint16_t p = 0; p < game_map(game)->power_count; p++) {
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
    report_hidden_lines(game);
    std::fprintf(game->log, "game over: %s\n\n%s\n", reason, table.c_str());
    std::fprintf(game->log, "replay page:  %s\n", (out / REPLAY_PAGE_FILE).string().c_str());
    std::fprintf(game->log, "game record:  %s\n", (out / GAME_RECORD_FILE).string().c_str());
    std::fprintf(game->log, "pictures:     %s\n", (out / PHASE_PICTURE_FOLDER).string().c_str());
    std::fprintf(game->log, "final board:  %s\n", (out / FINAL_BOARD_FILE).string().c_str());
    std::fprintf(game->log, "centre table: %s\n", table_path.c_str());
    std::fflush(game->log);
}
