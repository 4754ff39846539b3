// brox-server: runs one game on loopback for bots built on the Brox
// library, writes its record and draws the final board.
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <string>

#include "tools/server/game.h"
#include "tools/server/net.h"
#include "tools/server/options.h"
#include "tools/server/report.h"

namespace {

volatile std::sig_atomic_t stop_requested = 0;

void request_stop(int) { stop_requested = 1; }

void install_signals() {
    std::signal(SIGPIPE, SIG_IGN);
    struct sigaction action = {};
    action.sa_handler = request_stop;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

}  // namespace

int main(int argc, char **argv) {
    ServerOptions options;
    int status = server_options_parse(argc, argv, &options);
    if (status != 0) return status < 0 ? 0 : status;

    Game game;
    std::string error;
    if (!game_init(&game, options, &error)) {
        std::fprintf(stderr, "brox-server: %s\n", error.c_str());
        game_release(&game);
        return 1;
    }
    if (!net_reserve_descriptors(options.limits.max_connections, &error)) {
        std::fprintf(stderr, "brox-server: %s\n", error.c_str());
        game_release(&game);
        return 1;
    }
    uint16_t port = 0;
    int listener = net_listen(options.port, &port, &error);
    if (listener < 0) {
        std::fprintf(stderr, "brox-server: cannot listen on port %u: %s\n", options.port, error.c_str());
        game_release(&game);
        return 1;
    }
    std::printf("port %u\n", port);
    std::fflush(stdout);
    game_report_event(&game, Verbosity::NORMAL, "waiting for %d bots on 127.0.0.1 port %u (map %s)",
                      game.options.players, port, game.map_name.c_str());

    install_signals();
    net_serve(&game, listener, &stop_requested);
    close(listener);
    int exit_status = game.exit_status;
    game_release(&game);
    return exit_status;
}
