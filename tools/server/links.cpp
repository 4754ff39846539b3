// Opening, closing and dropping bot links, letting bots go, and the
// handshake time limit.
#include "tools/server/links.h"

#include <algorithm>
#include <map>

#include "tools/server/messages.h"
#include "tools/server/notation.h"
#include "tools/server/record_files.h"
#include "tools/server/report.h"
#include "tools/server/seat_secrets.h"

namespace {

// Connections that held no power are only shown with --verbose, unless
// what they sent was broken: a bot author wants to see that at once.
Verbosity drop_verbosity(const Link &link, const char *reason) {
    if (link.power >= 0) return Verbosity::NORMAL;
    std::string code = reason;
    return code == "malformed" || code == "too-large" ? Verbosity::NORMAL : Verbosity::VERBOSE;
}

}  // namespace

uint32_t link_open(Game *game, const std::string &peer) {
    uint32_t link;
    if (!game->free_links.empty()) {
        link = game->free_links.back();
        game->free_links.pop_back();
        game->links[link] = Link{};
    } else {
        link = static_cast<uint32_t>(game->links.size());
        game->links.push_back(Link{});
    }
    game->links[link].peer = peer;
    game->links[link].expires_ms = game->now_ms + game->options.limits.handshake_timeout_ms;
    return link;
}

int link_close(Game *game, uint32_t link_id) {
    if (link_id >= game->links.size()) return -1;
    Link &link = game->links[link_id];
    if (link.state == LinkState::CLOSED) return -1;
    if (link.state == LinkState::HELD) {
        auto &held = game->held_rejoins;
        held.erase(std::remove(held.begin(), held.end(), link_id), held.end());
    }
    int power = link.power;
    link = Link{};
    link.state = LinkState::CLOSED;
    game->free_links.push_back(link_id);
    if (power < 0) return -1;
    Seat &seat = game->seats[static_cast<size_t>(power)];
    if (seat.link != static_cast<int>(link_id)) return -1;
    seat.link = -1;
    // Before the start a seat whose bot has gone is free for a newcomer.
    if (game->stage == GameStage::WAITING) seat_reset(game, static_cast<size_t>(power));
    return power;
}

int link_drop(Game *game, uint32_t link_id, const char *reason, const std::string &detail) {
    if (link_id >= game->links.size() || game->links[link_id].state == LinkState::CLOSED) return -1;
    const Link &link = game->links[link_id];
    if (game->stage != GameStage::OVER) {
        record_dropped(game, link, reason, detail);
        if (link.power >= 0)
            game_report_link(game, link_id, drop_verbosity(link, reason), "power %d (%s): connection dropped, %s: %s",
                             link.power, power_name(game->generated.layout, static_cast<uint16_t>(link.power)).c_str(),
                             reason, detail.c_str());
        else
            game_report_link(game, link_id, drop_verbosity(link, reason), "connection from %s dropped, %s: %s",
                             link.peer.empty() ? "?" : link.peer.c_str(), reason, detail.c_str());
    }
    return link_close(game, link_id);
}

void link_send(Game *game, uint32_t link_id, Record record) {
    if (link_id >= game->links.size() || game->links[link_id].state == LinkState::CLOSED) return;
    game->links[link_id].outbox_bytes += record.size();
    game->links[link_id].outbox.push_back(std::move(record));
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

bool links_expire(Game *game) {
    bool seat_freed = false;
    for (uint32_t l = 0; l < game->links.size(); l++) {
        const Link &link = game->links[l];
        if (link.state == LinkState::CLOSED || link.expires_ms < 0 || game->now_ms < link.expires_ms) continue;
        if (link.leave_reason) {
            seat_freed |= link_drop(game, l, link.leave_reason, link.leave_detail + "; the connection stayed open") >= 0;
            continue;
        }
        char detail[96];
        std::snprintf(detail, sizeof detail, "did not join and accept the map within %.1f s",
                      static_cast<double>(game->options.limits.handshake_timeout_ms) / 1000);
        seat_freed |= link_drop(game, l, "handshake-timeout", detail) >= 0;
    }
    return seat_freed;
}

int64_t links_next_expiry(const Game *game) {
    int64_t next = -1;
    for (const Link &link : game->links)
        if (link.state != LinkState::CLOSED && link.expires_ms >= 0 && (next < 0 || link.expires_ms < next))
            next = link.expires_ms;
    return next;
}

std::string peer_address(const std::string &peer) {
    size_t colon = peer.rfind(':');
    return colon == std::string::npos ? peer : peer.substr(0, colon);
}

int64_t link_to_make_room(const Game *game, const std::vector<uint32_t> &waiting) {
    std::map<std::string, size_t> per_address;
    size_t most = 0;
    for (uint32_t link : waiting) most = std::max(most, ++per_address[peer_address(game->links[link].peer)]);
    for (uint32_t link : waiting)
        if (per_address[peer_address(game->links[link].peer)] == most) return link;
    return -1;
}
