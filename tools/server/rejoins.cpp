// Holding, weighing and answering rejoin requests under the rejoin limits.
#include "tools/server/rejoins.h"

#include <algorithm>

#include "common/assignment_message.h"
#include "common/record.h"
#include "session/rejoin_message.h"
#include "tools/server/links.h"
#include "tools/server/messages.h"
#include "tools/server/notation.h"
#include "tools/server/report.h"
#include "tools/server/seat_secrets.h"

namespace {

// The group a rejoin counts against: the power it names, or the one group
// after the powers when it names none.
size_t seat_group(const Game *game, const Link &link) {
    return link.claimed_seat >= 0 ? static_cast<size_t>(link.claimed_seat) : game->seats.size();
}

// The gate of a link's address; addresses past the tracked number share one.
RejoinGate &peer_gate(Game *game, const Link &link) {
    std::string address = peer_address(link.peer);
    auto found = game->peer_gates.find(address);
    if (found != game->peer_gates.end()) return found->second;
    if (game->peer_gates.size() >= REJOIN_TRACKED_PEERS) address = "*";
    return game->peer_gates[address];
}

int64_t open_at(const Game *game, const Link &link) {
    int64_t at = game->seat_gates[seat_group(game, link)].open_at_ms;
    auto found = game->peer_gates.find(peer_address(link.peer));
    if (found == game->peer_gates.end() && game->peer_gates.size() >= REJOIN_TRACKED_PEERS)
        found = game->peer_gates.find("*");
    if (found != game->peer_gates.end()) at = std::max(at, found->second.open_at_ms);
    return at;
}

// Why a rejoin naming `token` with `passcode` is refused, or null.
const char *refusal(const Game *game, uint16_t token, uint16_t passcode) {
    uint16_t power = power_token_index(token);
    if (game->stage == GameStage::OVER) return "the game is over";
    if (power >= game->seats.size()) return "no such power";
    if (token != power_token(power)) return "not the power's token";
    const Seat &seat = game->seats[power];
    if (!seat.assigned) return "no bot has played this power";
    if (seat.link >= 0) return "the power's bot is still connected";
    if (seat.passcode != passcode) return "wrong passcode";
    return nullptr;
}

// Gives the bot on `link_id` its power back.
void take_back(Game *game, uint32_t link_id, uint16_t power) {
    Link &link = game->links[link_id];
    game->seats[power].link = static_cast<int>(link_id);
    link.power = power;
    link.state = LinkState::READY;
    link.expires_ms = -1;
    game_report_link(game, link_id, Verbosity::NORMAL, "power %u (%s): rejoined", power,
                     power_name(game->generated.layout, power).c_str());
}

// Answers a held rejoin whose turn has come.
void weigh(Game *game, uint32_t link_id) {
    Link &link = game->links[link_id];
    Record request = std::move(link.rejoin);
    link.rejoin.clear();
    link.state = LinkState::CONNECTED;
    RejoinRequest asked = rejoin_read(record_message(request.data()));
    uint16_t power = power_token_index(asked.power);
    const char *why = refusal(game, asked.power, asked.passcode);
    link_send(game, link_id, rejoin_answer_record(request.data(), why ? FLAG_REJECT : FLAG_ACCEPT));
    RejoinGate &seat_gate = game->seat_gates[seat_group(game, link)];
    if (why) {
        rejoin_gate_refuse(&seat_gate, REJOIN_FREE_PER_SEAT, game->now_ms);
        rejoin_gate_refuse(&peer_gate(game, link), REJOIN_FREE_PER_PEER, game->now_ms);
        game_report_link(game, link_id, Verbosity::VERBOSE, "a rejoin as power %u from %s was refused: %s", power,
                         link.peer.c_str(), why);
        // The answer is the last word: the connection closes after it.
        link_close_when_sent(game, link_id, "rejoin-refused", why);
        return;
    }
    // Only the passcode's holder gets here: the power's count starts over.
    seat_gate = RejoinGate{};
    take_back(game, link_id, power);
}

}  // namespace

bool rejoin_by_secret(Game *game, uint32_t link_id, const uint8_t *record) {
    uint16_t token = rejoin_read(record_message(record)).power;
    uint16_t power = power_token_index(token);
    if (power >= game->seats.size() || token != power_token(power)) return false;
    Seat &seat = game->seats[power];
    if (!seat_has_secret(seat)) return false;
    Link &link = game->links[link_id];
    link.claimed_seat = power;
    bool proven = seat_secret_equal(seat.secret, link.secret);
    // The secret proves the bot: a connection it left behind, not yet seen
    // to close, gives way.
    if (proven && game->stage != GameStage::OVER && seat.link >= 0 && seat.link != static_cast<int>(link_id))
        link_drop(game, static_cast<uint32_t>(seat.link), "replaced",
                  "its bot came back on a newer connection with the seat's secret");
    const char *why = nullptr;
    if (game->stage == GameStage::OVER)
        why = "the game is over";
    else if (!proven)
        why = "this seat takes back only the bot that carries its secret";
    else if (!seat.assigned)
        why = "no bot has played this power";  // before the start a seat whose bot went is free: join
    link_send(game, link_id, rejoin_answer_record(record, why ? FLAG_REJECT : FLAG_ACCEPT));
    if (why) {
        game_report_link(game, link_id, Verbosity::VERBOSE, "a rejoin as power %u from %s was refused: %s", power,
                         link.peer.c_str(), why);
        link_close_when_sent(game, link_id, "rejoin-refused", why);
        return true;
    }
    take_back(game, link_id, power);
    return true;
}

void rejoin_take(Game *game, uint32_t link_id, const uint8_t *record) {
    Link &link = game->links[link_id];
    uint16_t power = power_token_index(rejoin_read(record_message(record)).power);
    link.claimed_seat = power < game->seats.size() ? power : -1;
    size_t group = seat_group(game, link);
    for (uint32_t held : game->held_rejoins)
        if (seat_group(game, game->links[held]) == group) {
            std::string detail = link.claimed_seat >= 0
                                     ? "a rejoin as power " + std::to_string(power) + " already waits its turn"
                                     : "a rejoin naming no power already waits its turn";
            link_drop(game, link_id, "rejoin-limit", detail);
            return;
        }
    link.state = LinkState::HELD;
    link.rejoin.assign(record, record + RECORD_MESSAGE_AT + REJOIN_LENGTH);
    link.expires_ms = -1;  // the gates bound how long it waits
    game->held_rejoins.push_back(link_id);
    rejoin_release_due(game);
}

void rejoin_release_due(Game *game) {
    for (;;) {
        auto due = std::find_if(game->held_rejoins.begin(), game->held_rejoins.end(), [game](uint32_t held) {
            return open_at(game, game->links[held]) <= game->now_ms;
        });
        if (due == game->held_rejoins.end()) return;
        uint32_t link = *due;
        game->held_rejoins.erase(due);
        weigh(game, link);
    }
}

int64_t rejoin_next_ms(const Game *game) {
    int64_t next = -1;
    for (uint32_t held : game->held_rejoins) {
        int64_t at = open_at(game, game->links[held]);
        if (next < 0 || at < next) next = at;
    }
    return next;
}

void rejoin_forget_all(Game *game) {
    for (uint32_t held : game->held_rejoins) {
        game->links[held].state = LinkState::CONNECTED;
        game->links[held].rejoin.clear();
    }
    game->held_rejoins.clear();
}
