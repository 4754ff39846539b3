// Joining, rejoining, the set-up exchange and orders, for one bot link.
#include "tools/server/bot_protocol.h"

#include <cstdio>
#include <string>
#include <string_view>

#include "common/record.h"
#include "orders/orders_message.h"
#include "platform/phase_tag.h"
#include "platform/seat_secret.h"
#include "platform/wire.h"
#include "tools/server/game.h"
#include "tools/server/links.h"
#include "tools/server/messages.h"
#include "tools/server/notation.h"
#include "tools/server/passcode.h"
#include "tools/server/rejoins.h"
#include "tools/server/report.h"
#include "tools/server/seat_secrets.h"

namespace {

// A join text with every character but printable ASCII replaced by '?', so
// that a name can go to a terminal or a JSON line as it is.
std::string join_text(const char *field) {
    std::string text;
    for (size_t i = 0; field[i]; i++) {
        auto c = static_cast<unsigned char>(field[i]);
        text += c >= 0x20 && c < 0x7F ? static_cast<char>(c) : '?';
    }
    return text;
}

// A record that cannot be read as what it claims to be: CLOSE, with why.
RecordVerdict malformed(std::string *why, const std::string &what) {
    if (why) *why = "malformed record: " + what;
    return RecordVerdict::CLOSE;
}

std::string of_length(const char *what, size_t length) {
    return std::string(what) + " of " + std::to_string(length) + " bytes";
}

// ---------------------------------------------------------------------------
// Joining
// ---------------------------------------------------------------------------

// The first seat no bot has had and no secret is kept for.
int free_seat(const Game *game) {
    for (size_t p = 0; p < game->seats.size(); p++)
        if (!game->seats[p].assigned && !seat_has_secret(game->seats[p])) return static_cast<int>(p);
    return -1;
}

// The seat a join takes: the one its secret opens, else a free one (bound
// to its secret, when it carries one).  -1 after letting the bot go.
int seat_for_join(Game *game, uint32_t link_id) {
    Link &link = game->links[link_id];
    int power = game->stage == GameStage::OVER ? -1 : seat_of_secret(game, link.secret);
    if (power >= 0) {
        Seat &seat = game->seats[static_cast<size_t>(power)];
        // The secret proves the bot: a connection it left behind gives way.
        if (seat.link >= 0 && seat.link != static_cast<int>(link_id))
            link_drop(game, static_cast<uint32_t>(seat.link), "replaced",
                      "its bot joined again on a newer connection with the seat's secret");
        return power;
    }
    if (!game->preset_secrets.empty()) {
        const char *detail = link.secret.empty() ? "joined without a seat secret (BROX_SEAT_SECRET), which every "
                                                   "seat of this game needs"
                                                 : "no seat of this game has the secret it carried";
        game_report_link(game, link_id, Verbosity::NORMAL, "a bot asked to join: %s", detail);
        link_let_go(game, link_id, "no-seat-secret", detail);
        return -1;
    }
    power = game->stage == GameStage::OVER ? -1 : free_seat(game);
    if (power < 0) {
        game_report_link(game, link_id, Verbosity::NORMAL, "a bot asked to join, but no power is free");
        link_let_go(game, link_id, "no-power-free", "asked to join, but every power has a bot");
    }
    return power;
}

// A bot that already had its seat (it lost its rejoin file) gets the same
// passcode again.
RecordVerdict on_join(Game *game, uint32_t link_id, const uint8_t *message, std::string *why) {
    if (msg_length(message) != JOIN_LENGTH) return malformed(why, of_length("a join message", msg_length(message)));
    Link &link = game->links[link_id];
    if (link.power >= 0) return RecordVerdict::KEEP;  // already plays
    int power = seat_for_join(game, link_id);
    if (power < 0) return RecordVerdict::KEEP;
    Seat &seat = game->seats[static_cast<size_t>(power)];
    bool again = seat.assigned;
    if (!again && !game_new_passcode(game, &seat.passcode)) {
        std::fprintf(stderr, "brox-server: the system's random source failed; no passcode for a new bot\n");
        link_let_go(game, link_id, "no-passcode", "the system's random source failed");
        return RecordVerdict::KEEP;
    }
    seat.assigned = true;
    seat.link = static_cast<int>(link_id);
    seat.bot_name = join_text(join_read(message).name);
    seat.secret = link.secret;
    link.power = power;
    link.state = LinkState::ASSIGNED;
    game_report_link(game, link_id, Verbosity::NORMAL, "power %d (%s): %s joined%s", power,
                     power_name(game->generated.layout, static_cast<uint16_t>(power)).c_str(), seat.bot_name.c_str(),
                     again ? " again with its seat's secret" : "");
    link_send(game, link_id, assignment_record(power_token(static_cast<uint16_t>(power)), seat.passcode));
    link_send(game, link_id, map_name_record(game->map_name));
    return RecordVerdict::KEEP;
}

// A rejoin is held and weighed under the rejoin limits (rejoins.h).
RecordVerdict on_rejoin(Game *game, uint32_t link_id, const uint8_t *record, std::string *why) {
    const uint8_t *message = record_message(record);
    if (msg_length(message) != REJOIN_LENGTH)
        return malformed(why, of_length("a rejoin message", msg_length(message)));
    if (game->links[link_id].power >= 0) return RecordVerdict::KEEP;
    if (!rejoin_by_secret(game, link_id, record)) rejoin_take(game, link_id, record);
    game_try_start(game);  // an accepted rejoin may complete the bots awaited
    return RecordVerdict::KEEP;
}

// ---------------------------------------------------------------------------
// The set-up exchange
// ---------------------------------------------------------------------------

// The bot's answer to the map name: with flag 2 and the same name it is
// ready to play; anything else means it cannot, and its seat is freed.
RecordVerdict on_map_name_answer(Game *game, uint32_t link_id, const uint8_t *message) {
    Link &link = game->links[link_id];
    if (link.state != LinkState::ASSIGNED) return RecordVerdict::KEEP;
    std::string_view name;
    bool same_name = map_name_read(message, &name) && name == game->map_name;
    if (msg_flag(message) != FLAG_ACCEPT || !same_name) {
        game_report_link(game, link_id, Verbosity::NORMAL, "power %d: the bot refused the map", link.power);
        seat_reset(game, static_cast<size_t>(link.power));
        link.power = -1;
        link.state = LinkState::CONNECTED;
        link_let_go(game, link_id, "map-refused", "the bot refused the map");
        return RecordVerdict::KEEP;
    }
    link.state = LinkState::READY;
    link.expires_ms = -1;
    if (game->stage == GameStage::PLAYING)
        link_send_phase(game, link_id);
    else
        game_try_start(game);
    return RecordVerdict::KEEP;
}

// Counts a request against the link's allowance for the phase; false,
// after dropping the link, when it has had its share.
bool request_allowed(Game *game, uint32_t link_id, uint16_t type) {
    Link &link = game->links[link_id];
    const Position *position = game_position(game);
    uint32_t phase = static_cast<uint32_t>(position->year) << 16 | position->season;
    if (link.requests.phase_key != phase) link.requests = RequestCounts{phase, 0, 0};
    bool map = type == MSG_MAP_DEFINITION;
    uint16_t &count = map ? link.requests.map_definition : link.requests.other;
    uint16_t allowed = map ? MAP_DEFINITIONS_PER_PHASE : OTHER_REQUESTS_PER_PHASE;
    if (count < allowed) {
        count++;
        return true;
    }
    std::string detail = "asked for " + std::string(map ? "the map definition" : "records") + " more than " +
                         std::to_string(allowed) + " times in one phase";
    game_link_drop(game, link_id, "request-limit", detail);  // its orders are no longer awaited
    return false;
}

// Requests carry the type of what they ask for and flag 1; only a bot with
// a power is answered, up to its allowance per phase.
RecordVerdict on_request(Game *game, uint32_t link_id, uint16_t type) {
    const Link &link = game->links[link_id];
    if (link.power < 0) return RecordVerdict::KEEP;
    if (!request_allowed(game, link_id, type)) return RecordVerdict::KEEP;
    uint16_t power = static_cast<uint16_t>(link.power);
    switch (type) {
    case MSG_MAP_NAME:
        link_send(game, link_id, map_name_record(game->map_name));
        break;
    case MSG_MAP_DEFINITION:
        link_send(game, link_id, record_of_message(game->generated.map_message));
        break;
    case MSG_ASSIGNMENT:
        link_send(game, link_id, assignment_record(power_token(power), game->seats[power].passcode));
        break;
    case MSG_CENTRE_OWNERSHIP:
    case MSG_POSITION:
        if (game->stage != GameStage::PLAYING) break;
        size_t size;
        const uint8_t *message;
        message = type == MSG_POSITION ? brox_referee_position_message(game->referee, &size)
                                       : brox_referee_centres_message(game->referee, &size);
        link_send(game, link_id, record_of_message(message, size));
        break;
    default:
        break;
    }
    return RecordVerdict::KEEP;
}

// ---------------------------------------------------------------------------
// Orders
// ---------------------------------------------------------------------------

// The client library sends the seat's secret before a join or a rejoin;
// it holds for what the connection sends after it.
RecordVerdict on_seat_secret(Game *game, uint32_t link_id, const uint8_t *message) {
    Link &link = game->links[link_id];
    if (link.power >= 0) return RecordVerdict::KEEP;
    if (!seat_secret_readable(message)) {
        std::string detail = "sent a seat secret of " + std::to_string(msg_length(message) - SEAT_SECRET_AT) +
                             " bytes; a secret is " + std::to_string(SEAT_SECRET_MIN) + " to " +
                             std::to_string(SEAT_SECRET_MAX);
        game_report_link(game, link_id, Verbosity::NORMAL, "connection from %s: %s", link.peer.c_str(),
                         detail.c_str());
        link_let_go(game, link_id, "bad-seat-secret", detail);
        return RecordVerdict::KEEP;
    }
    link.secret = seat_secret_read(message);
    return RecordVerdict::KEEP;
}

// The client library tags each orders message with the phase of the last
// position it delivered; the tag holds for the next orders message.
RecordVerdict on_phase_tag(Game *game, uint32_t link_id, const uint8_t *message, std::string *why) {
    if (!phase_tag_readable(message)) return malformed(why, of_length("an orders phase tag", msg_length(message)));
    OrdersPhase phase = phase_tag_read(message);
    game->links[link_id].orders_phase = {true, phase.season, phase.year};
    return RecordVerdict::KEEP;
}

// Orders for the phase being played are taken; orders chosen for another
// phase (a bot that missed its deadline) are refused and recorded as such.
// Orders that come without a tag (a client other than the library's) are
// taken for the phase being played.
RecordVerdict on_orders(Game *game, uint32_t link_id, const uint8_t *message, std::string *why) {
    size_t length = msg_length(message);
    // A malformed orders message closes the link whenever it arrives.
    if (!orders_message_readable(message, length))
        return malformed(why, of_length("an orders message", length) + " whose entry count does not fit");
    Link &link = game->links[link_id];
    PhaseTag tag = link.orders_phase;
    link.orders_phase = PhaseTag{};
    if (game->stage != GameStage::PLAYING || link.state != LinkState::READY) return RecordVerdict::KEEP;
    const Position *position = game_position(game);
    uint16_t season = tag.given ? tag.season : position->season;
    uint16_t year = tag.given ? tag.year : position->year;
    brox_referee_orders_message(game->referee, static_cast<uint16_t>(link.power), message, length, season, year);
    game_resolve_when_complete(game);
    return RecordVerdict::KEEP;
}

}  // namespace

RecordVerdict server_take_record(Game *game, uint32_t link_id, const uint8_t *record, size_t size,
                                 std::string *why) {
    if (link_id >= game->links.size() || game->links[link_id].state == LinkState::CLOSED)
        return malformed(why, "from a connection that is closed");
    if (!wire_record_valid(record, size)) return malformed(why, "not a message record of its size");
    // A link whose rejoin waits its turn, or that is being let go, has
    // nothing more to say.
    const Link &link = game->links[link_id];
    if (link.state == LinkState::HELD || link.close_when_sent) return RecordVerdict::KEEP;
    const uint8_t *message = record_message(record);
    uint16_t type = msg_type(message);
    switch (type) {
    case MSG_JOIN:
        return on_join(game, link_id, message, why);
    case MSG_REJOIN:
        return on_rejoin(game, link_id, record, why);
    case MSG_MAP_NAME:
        if (msg_flag(message) != FLAG_PLAIN) return on_map_name_answer(game, link_id, message);
        return on_request(game, link_id, type);
    case MSG_MAP_DEFINITION:
    case MSG_ASSIGNMENT:
    case MSG_CENTRE_OWNERSHIP:
    case MSG_POSITION:
        return on_request(game, link_id, type);
    case MSG_ORDERS:
        return on_orders(game, link_id, message, why);
    case MSG_ORDERS_PHASE:
        return on_phase_tag(game, link_id, message, why);
    case MSG_SEAT_SECRET:
        return on_seat_secret(game, link_id, message);
    default:
        return RecordVerdict::KEEP;  // not a message a bot needs to send; ignored
    }
}
