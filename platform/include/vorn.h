/*
 * vorn.h -- the client library's interface for bots.
 *
 * One TCP connection to a game server.  The bot hands over its command line
 * once, the Brox library connects and sends through it, and the bot fetches
 * every delivered record (server messages and connection events alike) with
 * vorn_client_receive, passes it to brox_process_msg and disposes of it with
 * vorn_client_release when brox_process_msg gives it back.
 *
 *   vorn_client_configure(argc, argv);
 *   brox_initialise(&session, vorn_client_release);
 *   brox_game_join(&session, "bot", "1.0");
 *   for (int running = 1; running;) {
 *       uint8_t *record = vorn_client_receive(1000);
 *       if (!record) continue;
 *       int release;
 *       brox_process_msg(&session, record, &running, &release);
 *       if (release) vorn_client_release(record);
 *   }
 *   brox_terminate(&session);
 *   vorn_client_disconnect();
 */
#ifndef VORN_H
#define VORN_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* The server's port when the command line names none. */
#define VORN_DEFAULT_PORT 16713
/* The server's host when the command line names none. */
#define VORN_DEFAULT_HOST "localhost"

/* Reads the server's address from a command line: "-n host" (a host name),
 * "-i address" (a numeric IPv4 or IPv6 address) and "-p port" (1 to 65535),
 * each value in the argument after its option; the last one given wins.
 * Other arguments are the bot's own and are skipped.  Returns 1 when every
 * option read was sound, 0 when one lacked its value or named a bad host,
 * address or port; an option that fails keeps the earlier setting. */
int vorn_client_configure(int argc, char **argv);

/* Connects to the configured server, closing any earlier connection and
 * dropping what it had not delivered.  The outcome is delivered as a
 * connection event record: kind 5, status at bytes 1-4 (0 = connected,
 * otherwise non-zero: the system's error number when there is one), code 1
 * at bytes 5-6.  Gives up after 10 seconds.  Returns 1 when connected, 0
 * otherwise. */
int vorn_client_connect(void);

/* Sends one message record of `size` bytes as a frame.  Returns 1 when it
 * went out, 0 when not connected, when `size` is not the record's length + 1
 * or when the connection failed (which is then delivered as lost).
 *
 * An orders message (MSG_ORDERS) goes out right behind a small tag record
 * (type 0x3048) naming the season and year of the last MSG_POSITION that
 * vorn_client_receive delivered on this connection (0 and 0 before the
 * first).  The game server takes orders only for the phase it is playing:
 * orders chosen on an earlier position, sent after that phase was
 * resolved, are refused and never applied to the next phase.
 *
 * A join (MSG_JOIN) or rejoin (MSG_REJOIN) goes out right behind a record
 * (type 0x3148) carrying the seat secret in the environment variable
 * BROX_SEAT_SECRET, when it is set and not empty (at most its first 1024
 * bytes).  The game server seats a bot by its secret: a rejoin, or a join
 * after the rejoin file was lost, that carries the secret of the seat is
 * taken back at once, whatever others send, and nobody without the secret
 * can take that seat.  brox-tournament hands each bot a secret of its own;
 * a bot started by hand may be given any 16 to 64 characters that nobody
 * else knows, kept the same across its restarts (the server refuses
 * shorter or longer ones). */
int vorn_client_send_message(const uint8_t *record, size_t size);

/* The next delivered record, waiting at most `timeout_ms` milliseconds
 * (negative: without limit).  Null when nothing arrived in time.  Records
 * come in arrival order; events: kind 5 with code 1 (connect), 3 (out of
 * memory) or 7 (connection lost).  After vorn_client_stop the next call
 * returns a kind 3 record ahead of anything else. */
uint8_t *vorn_client_receive(int timeout_ms);

/* Disposes of a record returned by vorn_client_receive; null is ignored.
 * Fits the Session's release_msg. */
void vorn_client_release(uint8_t *record);

/* Asks the delivery loop to stop: the next vorn_client_receive (or the one
 * waiting now) returns a kind 3 record.  Safe in a signal handler and from
 * another thread. */
void vorn_client_stop(void);

/* Closes the connection and drops every record not yet delivered.  Records
 * already delivered stay valid until released. */
void vorn_client_disconnect(void);

#ifdef __cplusplus
}
#endif

#endif /* VORN_H */
