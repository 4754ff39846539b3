// Sockets, framing and the poll loop of the local game server.  Every
// socket is non-blocking and every connection is bounded: their number, the
// size of a record a bot may send, the output queued for one bot and for
// all of them together.  A connection is only ever dropped at the end of a
// round of the loop, with its reason going to the game record.
#include "tools/server/net.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <deque>
#include <memory>
#include <vector>

#include "platform/wire.h"
#include "tools/server/bot_protocol.h"
#include "tools/server/game.h"
#include "tools/server/links.h"
#include "tools/server/report.h"

namespace {

constexpr int64_t FAREWELL_MS = 5000;       // how long bots may take to leave after the end
constexpr int64_t IDLE_POLL_MS = 1000;
constexpr int64_t DESCRIPTORS_PAUSE_MS = 100; // accepting rests this long when descriptors run out
constexpr int ACCEPTS_PER_ROUND = 64;
constexpr int SPARE_DESCRIPTORS = 32;       // the listener, the game's files, standard streams
constexpr int SEND_BUFFER = 64 << 10;       // the kernel's share of one bot's queued output
constexpr size_t WRITE_BATCH = 64;          // records per sendmsg

struct Connection {
    int fd = -1;
    uint32_t link = 0;
    std::unique_ptr<WireReader> reader;
    std::deque<Record> out;       // framed records (size prefix, then the record), oldest first
    size_t out_front_at = 0;      // bytes of out.front() already written
    size_t out_bytes = 0;         // bytes of `out` still to write
    bool write_shut = false;      // the end messages have gone; waiting for the bot to close
    const char *drop_reason = nullptr; // set: the connection is closed at the end of the round
    std::string drop_detail;
};

struct Server {
    Game *game = nullptr;
    int listener = -1;
    std::vector<Connection> connections;  // in the order they were accepted
    size_t queued = 0;                    // out_bytes of every connection not being dropped
    int64_t accept_again_ms = 0;          // accepting rests until then
};

int64_t now_ms() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

const ServerLimits &limits(const Server *server) { return server->game->options.limits; }

bool link_closed(const Server *server, const Connection &connection) {
    return server->game->links[connection.link].state == LinkState::CLOSED;
}

// Marks a connection to be closed at the end of the round.  Its queued
// output will never go out: it is freed at once.
void doom(Server *server, Connection *connection, const char *reason, const std::string &detail) {
    if (connection->drop_reason) return;
    connection->drop_reason = reason;
    connection->drop_detail = detail;
    server->queued -= connection->out_bytes;
    connection->out_bytes = 0;
    connection->out_front_at = 0;
    std::deque<Record>().swap(connection->out);
}

std::string peer_text(const sockaddr_storage &address) {
    char text[INET6_ADDRSTRLEN] = "?";
    if (address.ss_family == AF_INET) {
        const auto *v4 = reinterpret_cast<const sockaddr_in *>(&address);
        inet_ntop(AF_INET, &v4->sin_addr, text, sizeof text);
        return std::string(text) + ":" + std::to_string(ntohs(v4->sin_port));
    }
    if (address.ss_family == AF_INET6) {
        const auto *v6 = reinterpret_cast<const sockaddr_in6 *>(&address);
        inet_ntop(AF_INET6, &v6->sin6_addr, text, sizeof text);
        return "[" + std::string(text) + "]:" + std::to_string(ntohs(v6->sin6_port));
    }
    return text;
}

// ---------------------------------------------------------------------------
// Output
// ---------------------------------------------------------------------------

// Moves the link's waiting records into the connection's output, framed.
void collect(Server *server, Connection *connection) {
    if (connection->drop_reason || link_closed(server, *connection)) return;
    Link &link = server->game->links[connection->link];
    for (const Record &record : link.outbox) {
        if (!wire_record_valid(record.data(), record.size())) continue;
        Record frame(WIRE_PREFIX_SIZE + record.size());
        wire_put_prefix(frame.data(), static_cast<uint32_t>(record.size()));
        std::memcpy(frame.data() + WIRE_PREFIX_SIZE, record.data(), record.size());
        connection->out_bytes += frame.size();
        server->queued += frame.size();
        connection->out.push_back(std::move(frame));
    }
    link.outbox.clear();
    link.outbox_bytes = 0;
}

// A bot that lets its output pile up past the limit is dropped.
void check_output(Server *server, Connection *connection) {
    if (connection->drop_reason || connection->out_bytes <= limits(server).max_output) return;
    doom(server, connection, "output-limit",
         std::to_string(connection->out_bytes) + " bytes queued for a bot that is not reading (limit " +
             std::to_string(limits(server).max_output) + ")");
}

// Past the budget, the connection with the most queued output is dropped,
// then the next, until the rest fits.
void enforce_budget(Server *server) {
    while (server->queued > limits(server).output_budget) {
        Connection *greediest = nullptr;
        for (Connection &connection : server->connections)
            if (!connection.drop_reason && (!greediest || connection.out_bytes > greediest->out_bytes))
                greediest = &connection;
        if (!greediest || greediest->out_bytes == 0) return;
        doom(server, greediest, "memory-budget",
             std::to_string(greediest->out_bytes) + " bytes queued, the most of any connection, when all of them " +
                 "held " + std::to_string(server->queued) + " (budget " +
                 std::to_string(limits(server).output_budget) + ")");
    }
}

void collect_all(Server *server) {
    for (Connection &connection : server->connections) {
        collect(server, &connection);
        check_output(server, &connection);
    }
    enforce_budget(server);
}

void consume(Server *server, Connection *connection, size_t sent) {
    connection->out_bytes -= sent;
    server->queued -= sent;
    while (sent > 0) {
        size_t left = connection->out.front().size() - connection->out_front_at;
        if (sent < left) {
            connection->out_front_at += sent;
            return;
        }
        sent -= left;
        connection->out.pop_front();
        connection->out_front_at = 0;
    }
}

// Writes what the socket takes now.
void write_some(Server *server, Connection *connection) {
    while (!connection->drop_reason && connection->out_bytes > 0) {
        iovec parts[WRITE_BATCH];
        size_t count = 0;
        for (auto frame = connection->out.begin(); frame != connection->out.end() && count < WRITE_BATCH; ++frame) {
            size_t skip = count == 0 ? connection->out_front_at : 0;
            parts[count++] = {frame->data() + skip, frame->size() - skip};
        }
        msghdr message = {};
        message.msg_iov = parts;
        message.msg_iovlen = count;
        ssize_t sent = sendmsg(connection->fd, &message, MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR) continue;
        if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
        if (sent <= 0) {
            doom(server, connection, "closed", std::string("sending failed: ") + std::strerror(errno));
            return;
        }
        consume(server, connection, static_cast<size_t>(sent));
    }
}

// ---------------------------------------------------------------------------
// Input
// ---------------------------------------------------------------------------

// Reads what the socket holds and hands every whole record to the game,
// stopping as soon as the connection is to be dropped.
void read_some(Server *server, Connection *connection) {
    uint8_t chunk[16384];
    ssize_t got = recv(connection->fd, chunk, sizeof chunk, 0);
    if (got < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) return;
    if (got == 0) return doom(server, connection, "closed", "the bot closed the connection");
    if (got < 0) return doom(server, connection, "closed", std::string("receiving failed: ") + std::strerror(errno));
    Game *game = server->game;
    WireReader *reader = connection->reader.get();
    for (size_t at = 0; at < static_cast<size_t>(got);) {
        size_t used = 0;
        WireStatus status = wire_reader_feed(reader, chunk + at, static_cast<size_t>(got) - at, &used);
        at += used;
        // Refused on its size prefix, before its body is read.
        if (reader->prefix_have == WIRE_PREFIX_SIZE && reader->size > BOT_RECORD_LIMIT)
            return doom(server, connection, "too-large",
                        "a frame of " + std::to_string(reader->size) + " bytes; a bot's records are at most " +
                            std::to_string(BOT_RECORD_LIMIT));
        if (status == WIRE_NEED_MORE) return;
        if (status == WIRE_BROKEN)
            return doom(server, connection, "malformed",
                        "malformed record: a frame of " + std::to_string(reader->size) +
                            " bytes that is not a message record of that size");
        std::string why;
        if (server_take_record(game, connection->link, wire_reader_record(reader), wire_reader_size(reader), &why) ==
            RecordVerdict::CLOSE)
            return doom(server, connection, "malformed", why);
        if (link_closed(server, *connection)) return;  // the game ended the link itself
        collect(server, connection);
        check_output(server, connection);
        if (connection->drop_reason) return;
        if (server->queued > limits(server).output_budget) enforce_budget(server);
        if (connection->drop_reason) return;
    }
}

// ---------------------------------------------------------------------------
// Connections coming and going
// ---------------------------------------------------------------------------

// Closes the connections marked to be dropped, and those whose link the
// game has ended itself; the game hears of the first.
void reap(Server *server) {
    Game *game = server->game;
    std::vector<Connection> &connections = server->connections;
    for (size_t i = connections.size(); i-- > 0;) {
        Connection &connection = connections[i];
        bool ended_by_game = link_closed(server, connection);
        if (!ended_by_game && !connection.drop_reason) continue;
        close(connection.fd);
        server->queued -= connection.out_bytes;  // nothing left when it was marked
        if (!ended_by_game) {
            // A bot that was let go and then closes or fails is recorded
            // for the reason it was let go.
            const Link &link = game->links[connection.link];
            if (link.leave_reason)
                game_link_drop(game, connection.link, link.leave_reason, std::string(link.leave_detail));
            else
                game_link_drop(game, connection.link, connection.drop_reason, connection.drop_detail);
        }
        connections.erase(connections.begin() + static_cast<std::ptrdiff_t>(i));
    }
}

// Whether a connection that plays a power is still open: after the end, the
// server waits for those (and no others) to see the end messages and go.
bool bots_connected(const Server *server) {
    for (const Connection &connection : server->connections)
        if (!link_closed(server, connection) && server->game->links[connection.link].power >= 0) return true;
    return false;
}

size_t live_connections(const Server *server) {
    size_t live = 0;
    for (const Connection &connection : server->connections) live += !connection.drop_reason;
    return live;
}

// When every place is taken, a connection that has not joined (or is
// being let go) makes room: the oldest from the address with the most of
// them (link_to_make_room).  False when there is none.
bool make_room(Server *server) {
    std::vector<uint32_t> waiting;
    for (const Connection &connection : server->connections)
        if (!connection.drop_reason && server->game->links[connection.link].state == LinkState::CONNECTED)
            waiting.push_back(connection.link);
    int64_t chosen = link_to_make_room(server->game, waiting);
    for (Connection &connection : server->connections) {
        if (connection.drop_reason || connection.link != chosen) continue;
        doom(server, &connection, "connection-cap",
             "made room for a newer connection: all " + std::to_string(limits(server).max_connections) +
                 " places were taken, most by connections from this address that had not joined");
        return true;
    }
    return false;
}

void accept_bots(Server *server) {
    Game *game = server->game;
    reap(server);  // the ids of links closed before may be handed out again
    for (int n = 0; n < ACCEPTS_PER_ROUND; n++) {
        sockaddr_storage address = {};
        socklen_t size = sizeof address;
        int fd = accept4(server->listener, reinterpret_cast<sockaddr *>(&address), &size,
                         SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM)
                server->accept_again_ms = game->now_ms + DESCRIPTORS_PAUSE_MS;
            return;
        }
        int on = 1;
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        int send_buffer = SEND_BUFFER;
        setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &send_buffer, sizeof send_buffer);
        Connection connection;
        connection.fd = fd;
        connection.link = game_link_open(game, peer_text(address));
        if (live_connections(server) >= static_cast<size_t>(limits(server).max_connections) && !make_room(server)) {
            game_link_drop(game, connection.link, "connection-cap",
                           "all " + std::to_string(limits(server).max_connections) +
                               " places are taken by bots that joined or are rejoining");
            close(fd);
            continue;
        }
        connection.reader = std::make_unique<WireReader>();
        wire_reader_reset(connection.reader.get());
        server->connections.push_back(std::move(connection));
    }
}

// After the end messages have gone out, the writing side is shut so that
// the bot sees them all and closes; its closing ends the connection.
void shut_finished(Server *server) {
    for (Connection &connection : server->connections) {
        if (connection.drop_reason || connection.write_shut || link_closed(server, connection)) continue;
        const Link &link = server->game->links[connection.link];
        if (link.close_when_sent && connection.out_bytes == 0 && link.outbox.empty()) {
            shutdown(connection.fd, SHUT_WR);
            connection.write_shut = true;
        }
    }
}

// One round of poll over the listener and every connection.
void serve_once(Server *server, int timeout_ms) {
    Game *game = server->game;
    std::vector<pollfd> watched;
    bool listening = game->now_ms >= server->accept_again_ms;
    watched.push_back({listening ? server->listener : -1, POLLIN, 0});
    for (const Connection &connection : server->connections)
        watched.push_back(
            {connection.fd, static_cast<short>(POLLIN | (connection.out_bytes > 0 ? POLLOUT : 0)), 0});
    if (!listening && (timeout_ms < 0 || timeout_ms > DESCRIPTORS_PAUSE_MS)) timeout_ms = DESCRIPTORS_PAUSE_MS;
    int ready = poll(watched.data(), watched.size(), timeout_ms);
    game->now_ms = now_ms();
    if (ready <= 0) return;
    // Connections are only marked here; they are closed after the round.
    for (size_t i = 0; i + 1 < watched.size(); i++) {
        Connection &connection = server->connections[i];
        short events = watched[i + 1].revents;
        if (!events || connection.drop_reason || link_closed(server, connection)) continue;
        if (events & (POLLIN | POLLHUP | POLLERR)) read_some(server, &connection);
        if (connection.drop_reason || link_closed(server, connection)) continue;
        if (events & POLLOUT) {
            collect(server, &connection);
            write_some(server, &connection);
        }
    }
    reap(server);
    if (watched[0].revents) accept_bots(server);
}

}  // namespace

int net_listen(uint16_t port, uint16_t *bound, std::string *error) {
    int listener = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (listener < 0) {
        *error = std::strerror(errno);
        return -1;
    }
    int on = 1;
    setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    socklen_t size = sizeof address;
    if (bind(listener, reinterpret_cast<sockaddr *>(&address), size) != 0 || listen(listener, 128) != 0 ||
        getsockname(listener, reinterpret_cast<sockaddr *>(&address), &size) != 0) {
        *error = std::strerror(errno);
        close(listener);
        return -1;
    }
    *bound = ntohs(address.sin_port);
    return listener;
}

bool net_reserve_descriptors(int connections, std::string *error) {
    rlimit limit = {};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0) return true;  // nothing known; accept copes
    rlim_t wanted = static_cast<rlim_t>(connections) + ACCEPTS_PER_ROUND + SPARE_DESCRIPTORS;
    if (limit.rlim_cur != RLIM_INFINITY && limit.rlim_cur >= wanted) return true;
    if (limit.rlim_cur == RLIM_INFINITY) return true;
    if (limit.rlim_max != RLIM_INFINITY && limit.rlim_max < wanted) {
        *error = "--max-connections " + std::to_string(connections) + " needs " + std::to_string(wanted) +
                 " open files, but this system allows " + std::to_string(limit.rlim_max) +
                 " (ulimit -Hn); choose fewer connections";
        return false;
    }
    limit.rlim_cur = wanted;
    if (setrlimit(RLIMIT_NOFILE, &limit) != 0) {
        *error = std::string("cannot raise the open-file limit: ") + std::strerror(errno);
        return false;
    }
    return true;
}

void net_serve(Game *game, int listener, volatile std::sig_atomic_t *stop) {
    Server server;
    server.game = game;
    server.listener = listener;
    int64_t over_since = -1;
    for (;;) {
        game_tick(game, now_ms());
        if (*stop) game_stop(game);
        reap(&server);  // links the game ended at the tick
        collect_all(&server);
        for (Connection &connection : server.connections) write_some(&server, &connection);
        reap(&server);
        collect_all(&server);
        shut_finished(&server);
        if (game->stage == GameStage::OVER) {
            if (over_since < 0) over_since = game->now_ms;
            if (!bots_connected(&server) || game->now_ms - over_since > FAREWELL_MS) break;
        }
        int64_t wait = game_wait_ms(game);
        if (wait < 0 || wait > IDLE_POLL_MS) wait = game->stage == GameStage::OVER ? 100 : IDLE_POLL_MS;
        serve_once(&server, static_cast<int>(wait));
    }
    for (Connection &connection : server.connections) close(connection.fd);
}
