// Sockets, framing and the poll loop of the local game server.  Every
// socket is non-blocking: a bot that stops reading only fills its own
// buffer (and is dropped when that grows too large), never stalls the game.
#include "tools/server/net.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <memory>
#include <vector>

#include "platform/wire.h"
#include "tools/server/bot_protocol.h"
#include "tools/server/report.h"

namespace {

constexpr size_t OUTPUT_LIMIT = 16u << 20;  // bytes waiting for one bot before it is dropped
constexpr int64_t FAREWELL_MS = 5000;       // how long bots may take to leave after the end
constexpr int64_t IDLE_POLL_MS = 1000;

struct Connection {
    int fd = -1;
    uint32_t link = 0;
    std::unique_ptr<WireReader> reader;
    std::vector<uint8_t> out;  // framed records waiting to be written
    size_t out_at = 0;         // bytes of `out` already written
    bool write_shut = false;   // the end messages have gone; waiting for the bot to close
};

int64_t now_ms() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

void frame_into(Connection *connection, const Record &record) {
    if (!wire_record_valid(record.data(), record.size())) return;
    uint8_t prefix[WIRE_PREFIX_SIZE];
    wire_put_prefix(prefix, static_cast<uint32_t>(record.size()));
    connection->out.insert(connection->out.end(), prefix, prefix + WIRE_PREFIX_SIZE);
    connection->out.insert(connection->out.end(), record.begin(), record.end());
}

// Moves every link's waiting records into its connection's output.
void collect_outboxes(Game *game, std::vector<Connection> *connections) {
    for (Connection &connection : *connections) {
        Link &link = game->links[connection.link];
        for (const Record &record : link.outbox) frame_into(&connection, record);
        link.outbox.clear();
    }
}

// Writes what the socket takes now.  False when the connection failed.
bool write_some(Connection *connection) {
    while (connection->out_at < connection->out.size()) {
        ssize_t sent = send(connection->fd, connection->out.data() + connection->out_at,
                            connection->out.size() - connection->out_at, MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR) continue;
        if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
        if (sent <= 0) return false;
        connection->out_at += static_cast<size_t>(sent);
    }
    if (connection->out_at == connection->out.size()) {
        connection->out.clear();
        connection->out_at = 0;
    }
    return connection->out.size() - connection->out_at <= OUTPUT_LIMIT;
}

// Reads what the socket holds and hands every whole record to the game.
// False when the connection is to be closed: end of stream, a socket
// error, a broken frame or a record the game refused.
bool read_some(Game *game, Connection *connection) {
    uint8_t chunk[16384];
    ssize_t got = recv(connection->fd, chunk, sizeof chunk, 0);
    if (got < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) return true;
    if (got <= 0) return false;
    size_t at = 0;
    while (at < static_cast<size_t>(got)) {
        size_t used = 0;
        WireStatus status = wire_reader_feed(connection->reader.get(), chunk + at, got - at, &used);
        at += used;
        if (status == WIRE_NEED_MORE) break;
        if (status == WIRE_BROKEN ||
            server_take_record(game, connection->link, wire_reader_record(connection->reader.get()),
                               wire_reader_size(connection->reader.get())) == RecordVerdict::CLOSE) {
            game_report_event(game, Verbosity::NORMAL, "a bot sent a malformed record: connection closed");
            return false;
        }
    }
    return true;
}

void accept_bots(Game *game, int listener, std::vector<Connection> *connections) {
    for (;;) {
        int fd = accept4(listener, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) return;
        int on = 1;
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        Connection connection;
        connection.fd = fd;
        connection.link = game_link_open(game);
        connection.reader = std::make_unique<WireReader>();
        wire_reader_reset(connection.reader.get());
        connections->push_back(std::move(connection));
    }
}

void drop(Game *game, std::vector<Connection> *connections, size_t index) {
    close((*connections)[index].fd);
    uint32_t link = (*connections)[index].link;
    connections->erase(connections->begin() + static_cast<std::ptrdiff_t>(index));
    game_link_closed(game, link);
}

// After the end messages have gone out, the writing side is shut so that
// the bot sees them all and closes; its closing ends the connection.
void shut_finished(Game *game, std::vector<Connection> *connections) {
    for (Connection &connection : *connections)
        if (!connection.write_shut && game->links[connection.link].close_when_sent && connection.out.empty()) {
            shutdown(connection.fd, SHUT_WR);
            connection.write_shut = true;
        }
}

// One round of poll over the listener and every connection.
void serve_once(Game *game, int listener, std::vector<Connection> *connections, int timeout_ms) {
    std::vector<pollfd> watched;
    watched.push_back({listener, POLLIN, 0});
    for (const Connection &connection : *connections)
        watched.push_back({connection.fd, static_cast<short>(POLLIN | (connection.out.empty() ? 0 : POLLOUT)), 0});
    int ready = poll(watched.data(), watched.size(), timeout_ms);
    if (ready <= 0) return;
    game->now_ms = now_ms();
    // Connections are visited from the last so that dropping one keeps the
    // indices of those still to visit.
    for (size_t i = connections->size(); i-- > 0;) {
        short events = watched[i + 1].revents;
        if (!events) continue;
        bool keep = true;
        if (events & (POLLIN | POLLHUP | POLLERR)) keep = read_some(game, &(*connections)[i]);
        collect_outboxes(game, connections);
        if (keep && (events & POLLOUT)) keep = write_some(&(*connections)[i]);
        if (!keep) drop(game, connections, i);
    }
    if (watched[0].revents) accept_bots(game, listener, connections);
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
    if (bind(listener, reinterpret_cast<sockaddr *>(&address), size) != 0 || listen(listener, 32) != 0 ||
        getsockname(listener, reinterpret_cast<sockaddr *>(&address), &size) != 0) {
        *error = std::strerror(errno);
        close(listener);
        return -1;
    }
    *bound = ntohs(address.sin_port);
    return listener;
}

void net_serve(Game *game, int listener, volatile std::sig_atomic_t *stop) {
    std::vector<Connection> connections;
    int64_t over_since = -1;
    for (;;) {
        game_tick(game, now_ms());
        if (*stop) game_stop(game);
        collect_outboxes(game, &connections);
        for (size_t i = connections.size(); i-- > 0;)
            if (!write_some(&connections[i])) drop(game, &connections, i);
        collect_outboxes(game, &connections);
        shut_finished(game, &connections);
        if (game->stage == GameStage::OVER) {
            if (over_since < 0) over_since = game->now_ms;
            if (connections.empty() || game->now_ms - over_since > FAREWELL_MS) break;
        }
        int64_t wait = game_wait_ms(game);
        if (wait < 0 || wait > IDLE_POLL_MS) wait = game->stage == GameStage::OVER ? 100 : IDLE_POLL_MS;
        serve_once(game, listener, &connections, static_cast<int>(wait));
    }
    for (Connection &connection : connections) close(connection.fd);
}
