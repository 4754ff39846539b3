// The Session: joining or rejoining a game, dispatching every delivered
// record, answering the set-up messages and keeping the Map, CentreTable
// and Position current, and releasing all of it at the end.
#include "session/session.h"

#include <cstring>

#include "client/client.h"
#include "client/notice.h"
#include "common/assignment_message.h"
#include "common/event_record.h"
#include "common/record.h"
#include "session/message.h"
#include "session/rejoin.h"
#include "world/centres.h"
#include "world/map.h"
#include "world/position.h"

namespace {

constexpr const char *TEXT_CONNECTION_FAILURE =
    "Connection failure.  Check host (-n/-i) and port (-p).";
constexpr const char *TEXT_OUT_OF_MEMORY = "Out of memory.  (Exiting.)";
constexpr const char *TEXT_CONNECTION_LOST = "The connection to the server has been lost.";

// Hands the kept map-name record back to the bot's release routine.  The
// field is cleared so that the record is never released twice.
void release_map_name(Session *session) {
    uint8_t *kept = session->map_name_msg;
    session->map_name_msg = nullptr;
    if (kept && session->release_msg) session->release_msg(kept);
}

// Releases what the session built, in the one safe order: the CentreTable
// reference and the Position both read the Map's power count when they are
// released, so the Map goes last.  Every field released is cleared.
void release_world(Session *session) {
    if (session->centres) centre_table_release(session->map, session->centres);
    session->centres = nullptr;
    if (session->position) brox_position_free(session->position);
    session->position = nullptr;
    if (session->map) map_release(session->map);
    session->map = nullptr;
}

void dispatch_message(Session *session, uint8_t *record, int *keep_running,
                      int *release_record) {
    uint8_t *message = record_message(record);
    // Shorter than its own header: not a message the session can read.
    if (msg_length(message) < MSG_HEADER_SIZE) return;
    switch (msg_type(message)) {
    case MSG_ASSIGNMENT:
        on_assignment(session, record, message);
        break;
    case MSG_REJOIN:
        on_rejoin_answer(session, record, message);
        break;
    case MSG_MAP_NAME: {
        int sent = on_map_name(session, record, message);
        *keep_running = sent;
        *release_record = sent ? 0 : 1;
        break;
    }
    case MSG_MAP_DEFINITION:
        on_map_definition(session, record, message);
        break;
    case MSG_POSITION:
        on_position(session, record, message);
        break;
    case MSG_SESSION_END:
        *keep_running = 0;
        break;
    case MSG_CENTRE_OWNERSHIP:
        on_centre_ownership(session, record, message);
        break;
    case MSG_GAME_END:
        rejoin_file_delete();
        *keep_running = 0;
        break;
    default:
        break;  // left to the bot
    }
}

}  // namespace

// ---------------------------------------------------------------------------
// Handlers
// ---------------------------------------------------------------------------

int on_assignment(Session *session, uint8_t *, uint8_t *message) {
    size_t length = msg_length(message);
    size_t copied = length < ASSIGNMENT_LENGTH ? length : ASSIGNMENT_LENGTH;
    std::memcpy(session->assignment, message, copied);
    std::memset(session->assignment + copied, 0, ASSIGNMENT_LENGTH - copied);
    if (length >= ASSIGNMENT_FIELDS_END) {
        Assignment assignment = assignment_read(message);
        rejoin_file_write(assignment.power, assignment.passcode);
    }
    return 1;
}

int on_rejoin_answer(Session *session, uint8_t *, uint8_t *message) {
    if (msg_flag(message) == FLAG_ACCEPT) return send_map_name_request();
    rejoin_file_delete();
    session->rejoining = 0;
    return send_join(session->name, session->version);
}

int on_map_name(Session *session, uint8_t *record, uint8_t *) {
    release_map_name(session);
    session->map_name_msg = record;
    int sent = send_map_definition_request();
    // Not kept after all: the dispatcher gives the record back to the bot.
    if (!sent) session->map_name_msg = nullptr;
    return sent;
}

int on_map_definition(Session *session, uint8_t *, uint8_t *message) {
    Map *map = map_build(message);
    release_world(session);
    session->map = map;

    int result = 1;
    if (session->map_name_msg) {
        if (!session->rejoining)
            result = map ? msg_send_accept(session->map_name_msg)
                         : msg_send_reject(session->map_name_msg);
        release_map_name(session);
    }
    if (!result || !session->rejoining) return result;
    return send_assignment_request() && send_centre_ownership_request() &&
                   send_position_request()
               ? 1
               : 0;
}

int on_position(Session *session, uint8_t *, uint8_t *message) {
    if (!session->map || !session->centres) return 1;
    if (session->position) brox_position_free(session->position);
    session->position = position_build(session->map, session->centres, message);
    return 1;
}

int on_centre_ownership(Session *session, uint8_t *, uint8_t *message) {
    if (!session->map) return 1;
    if (session->centres) centre_table_release(session->map, session->centres);
    CentreTable *centres = centre_table_build(session->map, message);
    session->centres = centres ? centre_table_retain(centres) : nullptr;
    return 1;
}

int show_connection_event(const uint8_t *event) {
    ConnectionEvent connection = event_record_read(event);
    switch (connection.code) {
    case EVENT_CONNECT:
        if (connection.status == 0) return 1;
        notice_show(TEXT_CONNECTION_FAILURE);
        return 0;
    case EVENT_OUT_OF_MEMORY:
        notice_show(TEXT_OUT_OF_MEMORY);
        return 0;
    case EVENT_CONNECTION_LOST:
        notice_show(TEXT_CONNECTION_LOST);
        return 0;
    default:
        return 0;
    }
}

// ---------------------------------------------------------------------------
// Exported calls
// ---------------------------------------------------------------------------

extern "C" BROX_API int brox_initialise(Session *session, BroxReleaseMsg release_msg) {
    if (!session) return 0;
    session->map_name_msg = nullptr;
    session->map = nullptr;
    session->position = nullptr;
    session->centres = nullptr;
    session->release_msg = release_msg;
    session->rejoining = 0;
    session->name = nullptr;
    session->version = nullptr;
    return 1;
}

extern "C" BROX_API int brox_game_join(Session *session, const char *name, const char *version) {
    if (!session) return 0;
    session->name = name;
    session->version = version;
    vorn_client_connect();
    uint16_t power = 0;
    uint16_t passcode = 0;
    if (!rejoin_file_read(&power, &passcode)) {
        session->rejoining = 0;
        return send_join(name, version);
    }
    session->rejoining = 1;
    return send_rejoin(power, passcode);
}

extern "C" BROX_API void brox_process_msg(Session *session, uint8_t *record, int *keep_running,
                                          int *release_record) {
    int unused_keep = 1;
    int unused_release = 1;
    if (!keep_running) keep_running = &unused_keep;
    if (!release_record) release_record = &unused_release;
    *keep_running = 1;
    *release_record = 1;
    if (!session || !record) return;
    switch (record_kind(record)) {
    case KIND_MESSAGE:
        dispatch_message(session, record, keep_running, release_record);
        break;
    case KIND_STOP_A:
    case KIND_STOP_B:
        *keep_running = 0;
        break;
    case KIND_EVENT:
        *keep_running = show_connection_event(record);
        break;
    default:
        break;  // unknown kinds are ignored
    }
}

extern "C" BROX_API uint16_t brox_session_power(const Session *session) {
    return session_assigned_power(session);
}

extern "C" BROX_API void brox_terminate(Session *session) {
    if (!session) return;
    release_world(session);
    // A map name still waiting for its definition would otherwise never go
    // back to the bot's delivery mechanism.
    release_map_name(session);
}
