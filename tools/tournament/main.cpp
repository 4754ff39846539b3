// brox-tournament: plans a tournament between bots as one job line per
// game, plays the games with GNU parallel (or leaves them to Slurm), runs
// one game when a job line asks, and merges the games into the table.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tools/tournament/game_job.h"
#include "tools/tournament/local_run.h"
#include "tools/tournament/options.h"
#include "tools/tournament/table.h"
#include "tools/tournament/tournament.h"

namespace fs = std::filesystem;

namespace {

constexpr const char *SBATCH_SCRIPT = "brox-tournament.sbatch";

std::string own_path(const char *argv0) {
    std::error_code failure;
    fs::path self = fs::read_symlink("/proc/self/exe", failure);
    return failure ? fs::absolute(argv0).string() : self.string();
}

int default_jobs() {
    long cores = sysconf(_SC_NPROCESSORS_ONLN);
    return cores > 0 ? static_cast<int>(cores) : 1;
}

// The batch script beside this program (a build tree) or where it is
// installed (share/brox).
std::string sbatch_script(const std::string &program) {
    fs::path here = fs::path(program).parent_path();
    for (const fs::path &candidate : {here / SBATCH_SCRIPT, here.parent_path() / "share" / "brox" / SBATCH_SCRIPT}) {
        std::error_code failure;
        if (fs::exists(candidate, failure)) return candidate.lexically_normal().string();
    }
    return SBATCH_SCRIPT;
}

// Reads every game's result, prints the table and writes it with the CSV
// files.  Returns 0 when every game was played, 1 otherwise.
int merge(const Tournament &tournament) {
    std::vector<GameResult> games;
    for (int game = 1; game <= tournament.games; game++)
        games.push_back(game_result_read(game_folder(tournament.folder, game), game));
    TournamentTable table = table_build(tournament, std::move(games));
    std::string text = table_text(tournament, table);
    std::fputs(text.c_str(), stdout);
    std::fflush(stdout);
    std::string error;
    std::ofstream file(fs::path(tournament.folder) / TABLE_FILE, std::ios::binary | std::ios::trunc);
    file << text;
    file.close();
    if (!file || !table_write_csv(tournament.folder, table, &error)) {
        std::fprintf(stderr, "brox-tournament: %s\n", error.empty() ? "cannot write table.txt" : error.c_str());
        return 1;
    }
    return table.played == tournament.games ? 0 : 1;
}

// Plays the games of the tournament that have no result of a played game
// yet, then merges.
int play_and_merge(const Tournament &tournament, int jobs) {
    std::string error;
    if (!parallel_available(&error)) {
        std::fprintf(stderr, "brox-tournament: %s; the games are in %s\n", error.c_str(),
                     (fs::path(tournament.folder) / JOBS_FILE).string().c_str());
        return 1;
    }
    std::ifstream file(fs::path(tournament.folder) / JOBS_FILE);
    std::vector<std::string> lines;
    int game = 0;
    for (std::string line; std::getline(file, line);) {
        game++;
        if (game_result_read(game_folder(tournament.folder, game), game).status != GameStatus::PLAYED)
            lines.push_back(line);
    }
    if (game != tournament.games) {
        std::fprintf(stderr, "brox-tournament: %s has %d lines for %d games\n", JOBS_FILE, game, tournament.games);
        return 1;
    }
    if (jobs == 0) jobs = default_jobs();
    std::printf("playing %zu of %d game%s, %zu at a time, in %s\n", lines.size(), tournament.games,
                tournament.games == 1 ? "" : "s", std::max<size_t>(1, std::min(lines.size(), size_t(jobs))),
                tournament.folder.c_str());
    std::fflush(stdout);
    bool interrupted = false;
    if (!lines.empty() && !parallel_run(tournament.folder, lines, jobs, &interrupted, &error)) {
        std::fprintf(stderr, "brox-tournament: %s\n", error.c_str());
        return 1;
    }
    std::printf("\n");
    int status = merge(tournament);
    if (interrupted)
        std::printf("\nInterrupted: \"%s run %s\" plays the games left.\n", tournament.program.c_str(),
                    tournament.folder.c_str());
    return interrupted ? 130 : status;
}

void show_plan(const Tournament &tournament, const std::string &program) {
    fs::path folder(tournament.folder);
    int limit_minutes = (game_limit_seconds(tournament) + 59) / 60 + 1;
    std::printf("planned %d games in %s\n"
                "  job list: %s (one command per game)\n\n"
                "play them here:\n  %s run %s\n\n"
                "or on a Slurm cluster (the folder, the bots and the server on a shared file system):\n"
                "  sbatch --array=1-%d --time=%d --output=%s/%%a.out \\\n    %s %s\n"
                "and once every task has ended:\n  %s merge %s\n",
                tournament.games, tournament.folder.c_str(), (folder / JOBS_FILE).string().c_str(), program.c_str(),
                tournament.folder.c_str(), tournament.games, limit_minutes, (folder / "slurm").string().c_str(),
                sbatch_script(program).c_str(), (folder / JOBS_FILE).string().c_str(), program.c_str(),
                tournament.folder.c_str());
}

int tournament_command(int argc, char **argv, const std::string &program) {
    TournamentOptions options;
    int status = tournament_options_parse(argc, argv, program, &options);
    if (status != PARSE_OK) return status == PARSE_HELP ? 0 : status;
    Tournament &tournament = options.tournament;
    std::string error;
    if (!options.plan_only && !parallel_available(&error)) {
        std::fprintf(stderr, "brox-tournament: %s, or use --plan-only to write the job list for Slurm\n",
                     error.c_str());
        return 1;
    }
    tournament.maps = map_description(tournament);
    std::error_code failure;
    fs::create_directories(fs::path(tournament.folder) / "slurm", failure);
    if (failure || !tournament_write(tournament, &error)) {
        std::fprintf(stderr, "brox-tournament: %s\n", failure ? failure.message().c_str() : error.c_str());
        return 1;
    }
    if (options.plan_only) {
        show_plan(tournament, program);
        return 0;
    }
    std::printf("%d game%s between %zu bot%s on %s, %d year%s each; wall-clock limit %d s a game\n",
                tournament.games, tournament.games == 1 ? "" : "s", tournament.bots.size(),
                tournament.bots.size() == 1 ? "" : "s", tournament.maps.c_str(), tournament.years,
                tournament.years == 1 ? "" : "s", game_limit_seconds(tournament));
    return play_and_merge(tournament, options.jobs);
}

int folder_command(int argc, char **argv, bool play) {
    std::string folder;
    int jobs = 0;
    int status = folder_options_parse(argc, argv, play, &folder, &jobs);
    if (status != PARSE_OK) return status == PARSE_HELP ? 0 : status;
    Tournament tournament;
    std::string error;
    if (!tournament_read(folder, &tournament, &error)) {
        std::fprintf(stderr, "brox-tournament: %s\n", error.c_str());
        return 1;
    }
    tournament.program = own_path(argv[0]);
    return play ? play_and_merge(tournament, jobs) : merge(tournament);
}

}  // namespace

int main(int argc, char **argv) {
    std::string program = own_path(argv[0]);
    const char *command = argc > 1 ? argv[1] : "";
    if (!std::strcmp(command, "game")) {
        GameJob job;
        int status = game_options_parse(argc, argv, &job);
        return status == PARSE_OK ? game_job_run(job) : status;
    }
    if (!std::strcmp(command, "merge")) return folder_command(argc, argv, false);
    if (!std::strcmp(command, "run")) return folder_command(argc, argv, true);
    return tournament_command(argc, argv, program);
}
