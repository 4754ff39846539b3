// Dropping bot links and letting them go, and the handshake time limit.
#include "tools/server/links.h"

#include "tools/server/game_record.h"
#include "tools/server/messages.h"
#include "tools/server/report.h"

namespace {

// Connections that held no power are only shown with --verbose, unless
// what they sent was broken: a bot author wants to see that at once.
Verbosity drop_verbosity(const Link &link, const char *reason) {
    if (link.power >= 0) return Verbosity::NORMAL;
    std::string code = reason;
    return code == "malformed" || code == "too-large" ? Verbosity::NORMAL : Verbosity::VERBOSE;
}

}  // namespace

void game_link_drop(Game *game, uint32_t link_id, const char *reason, const std::string &detail) {
    if (link_id >= game->links.size() || game->links[link_id].state == LinkState::CLOSED) return;
    const Link &link = game->links[link_id];
    if (game->stage != GameStage::OVER) {
        game_record_dropped(game, link, reason, detail);
        if (link.power >= 0)
            game_report_link(game, link_id, drop_verbosity(link, reason), "power %d (%s): connection dropped, %s: %s",
                             link.power, power_name(game, static_cast<uint16_t>(link.power)).c_str(), reason,
                             detail.c_str());
        else
            game_report_link(game, link_id, drop_verbosity(link, reason), "connection from %s dropped, %s: %s",
                             link.peer.empty() ? "?" : link.peer.c_str(), reason, detail.c_str());
    }
    game_link_closed(game, link_id);
}

void link_let_go(Game *game, uint32_t link_id, const char *reason, const std::string &detail) {
    link_send(game, link_id, end_record(MSG_SESSION_END));
    link_close_when_sent(game, link_id, reason, detail);
}

void link_close_when_sent(Game *game, uint32_t link_id, const char *reason, const std::string &detail) {
    if (link_id >= game->links.size() || game->links[link_id].state == LinkState::CLOSED) return;
    Link &link = game->links[link_id];
    link.close_when_sent = true;
    link.leave_reason = reason;
    link.leave_detail = detail;
    // A bot told to go has as long again to close its connection.
    link.expires_ms = game->now_ms + game->options.limits.handshake_timeout_ms;
}

void links_expire(Game *game) {
    for (uint32_t l = 0; l < game->links.size(); l++) {
        const Link &link = game->links[l];
        if (link.state == LinkState::CLOSED || link.expires_ms < 0 || game->now_ms < link.expires_ms) continue;
        if (link.leave_reason) {
            game_link_drop(game, l, link.leave_reason, link.leave_detail + "; the connection stayed open");
            continue;
        }
        char detail[96];
        std::snprintf(detail, sizeof detail, "did not join and accept the map within %.1f s",
                      static_cast<double>(game->options.limits.handshake_timeout_ms) / 1000);
        game_link_drop(game, l, "handshake-timeout", detail);
    }
}

int64_t links_next_expiry(const Game *game) {
    int64_t next = -1;
    for (const Link &link : game->links)
        if (link.state != LinkState::CLOSED && link.expires_ms >= 0 && (next < 0 || link.expires_ms < next))
            next = link.expires_ms;
    return next;
}
