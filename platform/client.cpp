// Connection side of the client library: one TCP connection to the game
// server, records framed on the wire (platform/wire.h), and the delivery
// queue from which the bot receives server messages and connection events.
// The bot drives everything from its own thread; only vorn_client_stop may
// come from a signal handler or another thread.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "brox.h"
#include "common/event_record.h"
#include "common/record.h"
#include "platform/phase_tag.h"
#include "platform/seat_secret.h"
#include "platform/wire.h"
#include "vorn.h"
#include "world/position_message.h"

#define VORN_EXPORT __attribute__((visibility("default")))

namespace {

constexpr int CONNECT_TIMEOUT_MS = 10000;
constexpr int SEND_TIMEOUT_S = 10;
constexpr size_t HOST_CAPACITY = 256;

// ---------------------------------------------------------------------------
// Delivered records
//
// Every record handed to the bot sits right behind a Delivery header, so
// the release call finds the header from the record alone.  Received
// messages and connect events are heap blocks; the records that must be
// deliverable when memory has run out (stop, lost, out of memory) are
// static, hold constant bytes, and are never freed.
// ---------------------------------------------------------------------------

struct Delivery {
    Delivery *next;
    bool is_static;
    bool queued;
};

struct StaticRecord {
    Delivery header;
    EventRecord bytes;  // an event record, or a stop record of the same size
};
static_assert(offsetof(StaticRecord, bytes) == sizeof(Delivery),
              "a static record's bytes follow its header as a heap record's do");

uint8_t *record_of(Delivery *delivery) { return reinterpret_cast<uint8_t *>(delivery + 1); }
Delivery *delivery_of(uint8_t *record) { return reinterpret_cast<Delivery *>(record) - 1; }

StaticRecord stop_record = {{nullptr, true, false}, {KIND_STOP_A}};
StaticRecord lost_record = {{nullptr, true, false}, event_record_make({0, EVENT_CONNECTION_LOST})};
StaticRecord memory_record = {{nullptr, true, false}, event_record_make({0, EVENT_OUT_OF_MEMORY})};

// ---------------------------------------------------------------------------
// Connection state
// ---------------------------------------------------------------------------

struct Client {
    char host[HOST_CAPACITY];
    uint16_t port;
    int socket;
    int wake_read;           // read end of the pipe that vorn_client_stop writes to
    Delivery *head, *tail;   // records waiting for delivery, oldest first
    OrdersPhase delivered;   // the phase of the last position delivered on this connection; 0 for none
    WireReader reader;
};

Client client = {VORN_DEFAULT_HOST, VORN_DEFAULT_PORT, -1, -1, nullptr, nullptr, {0, 0}, {}};
std::atomic<bool> stop_requested{false};
std::atomic<int> wake_write{-1};

void enqueue(Delivery *delivery) {
    if (delivery->queued) return;  // a static record waits at most once
    delivery->queued = true;
    delivery->next = nullptr;
    if (client.tail)
        client.tail->next = delivery;
    else
        client.head = delivery;
    client.tail = delivery;
}

Delivery *dequeue() {
    Delivery *delivery = client.head;
    client.head = delivery->next;
    if (!client.head) client.tail = nullptr;
    delivery->queued = false;
    delivery->next = nullptr;
    return delivery;
}

void drop_queue() {
    while (client.head) {
        Delivery *delivery = dequeue();
        if (!delivery->is_static) std::free(delivery);
    }
}

// A heap record of `size` bytes, copied from `bytes`; null when memory has
// run out, in which case the out-of-memory event is queued instead.
Delivery *new_delivery(const uint8_t *bytes, size_t size) {
    Delivery *delivery = static_cast<Delivery *>(std::malloc(sizeof(Delivery) + size));
    if (!delivery) {
        enqueue(&memory_record.header);
        return nullptr;
    }
    delivery->next = nullptr;
    delivery->is_static = false;
    delivery->queued = false;
    std::memcpy(record_of(delivery), bytes, size);
    return delivery;
}

void queue_connect_event(uint32_t status) {
    EventRecord event = event_record_make({status, EVENT_CONNECT});
    if (Delivery *delivery = new_delivery(event.data(), event.size())) enqueue(delivery);
}

void close_socket() {
    if (client.socket >= 0) close(client.socket);
    client.socket = -1;
    client.delivered = {0, 0};
    wire_reader_reset(&client.reader);
}

// Remembers the phase of a position handed to the bot: the orders it sends
// next were chosen on it.
void note_delivered(const uint8_t *record) {
    if (record_kind(record) != KIND_MESSAGE) return;
    const uint8_t *message = record_message(record);
    if (msg_type(message) != MSG_POSITION || msg_length(message) < POSITION_UNITS_AT) return;
    PositionPhase phase = position_message_phase(message);
    client.delivered = {phase.season, phase.year};
}

// Sends the tag that goes right before an orders message.
bool send_phase_tag() {
    uint8_t record[RECORD_MESSAGE_AT + PHASE_TAG_LENGTH];
    record[RECORD_KIND_AT] = KIND_MESSAGE;
    phase_tag_write(record_message(record), client.delivered);
    return wire_send_frame(client.socket, record, sizeof record) == 1;
}

// Sends the seat's secret, when the environment holds one, right before a
// join or a rejoin.  True when there is none to send.
bool send_seat_secret() {
    const char *secret = std::getenv(SEAT_SECRET_VARIABLE);
    if (!secret || !*secret) return true;
    size_t size = strnlen(secret, SEAT_SECRET_SENT_MAX);
    uint8_t record[RECORD_MESSAGE_AT + SEAT_SECRET_AT + SEAT_SECRET_SENT_MAX];
    record[RECORD_KIND_AT] = KIND_MESSAGE;
    seat_secret_write(record_message(record), secret, size);
    return wire_send_frame(client.socket, record, RECORD_MESSAGE_AT + SEAT_SECRET_AT + size) == 1;
}

// What goes out right before a record: the phase tag before orders, the
// seat's secret before a join or a rejoin.  True when it all went out.
bool send_companion(const uint8_t *record) {
    uint16_t type = msg_type(record_message(record));
    if (type == MSG_ORDERS) return send_phase_tag();
    if (type == MSG_JOIN || type == MSG_REJOIN) return send_seat_secret();
    return true;
}

// The connection broke (closed by the server, a socket error, a broken
// frame or a send that did not complete): close it and tell the bot after
// the records that arrived before.
void connection_lost() {
    close_socket();
    enqueue(&lost_record.header);
}

void ensure_wake_pipe() {
    if (client.wake_read >= 0) return;
    int ends[2];
    if (pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0) return;
    client.wake_read = ends[0];
    wake_write.store(ends[1]);
}

void drain_wake_pipe() {
    uint8_t scratch[64];
    while (client.wake_read >= 0 && read(client.wake_read, scratch, sizeof scratch) > 0) {
    }
}

// ---------------------------------------------------------------------------
// Connecting
// ---------------------------------------------------------------------------

bool is_numeric_address(const char *text) {
    in6_addr scratch;
    return inet_pton(AF_INET, text, &scratch) == 1 || inet_pton(AF_INET6, text, &scratch) == 1;
}

bool set_host(const char *text) {
    size_t length = std::strlen(text);
    if (length == 0 || length >= HOST_CAPACITY) return false;
    std::memcpy(client.host, text, length + 1);
    return true;
}

bool parse_port(const char *text, uint16_t *port) {
    if (*text == '\0') return false;
    unsigned long value = 0;
    for (const char *digit = text; *digit; digit++) {
        if (*digit < '0' || *digit > '9') return false;
        value = value * 10 + static_cast<unsigned long>(*digit - '0');
        if (value > 65535) return false;
    }
    if (value == 0) return false;
    *port = static_cast<uint16_t>(value);
    return true;
}

// Waits for a non-blocking connect to finish; returns 0 or the error.
int finish_connect(int fd) {
    pollfd wait = {fd, POLLOUT, 0};
    int ready;
    do ready = poll(&wait, 1, CONNECT_TIMEOUT_MS);
    while (ready < 0 && errno == EINTR);
    if (ready < 0) return errno;
    if (ready == 0) return ETIMEDOUT;
    int error = 0;
    socklen_t error_size = sizeof error;
    if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &error_size) != 0) return errno;
    return error;
}

// Opens a connected socket to one resolved address; returns it or -1 with
// `*error` set.
int open_connection(const addrinfo *address, int *error) {
    int fd = socket(address->ai_family, address->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK,
                    address->ai_protocol);
    if (fd < 0) {
        *error = errno;
        return -1;
    }
    int result = connect(fd, address->ai_addr, address->ai_addrlen) == 0 ? 0 : errno;
    if (result == EINPROGRESS) result = finish_connect(fd);
    if (result != 0) {
        close(fd);
        *error = result;
        return -1;
    }
    // Blocking from here on: receiving waits in poll, and a send that
    // cannot finish within the timeout counts as a lost connection.
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    int on = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    timeval send_timeout = {SEND_TIMEOUT_S, 0};
    setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &send_timeout, sizeof send_timeout);
    return fd;
}

// ---------------------------------------------------------------------------
// Receiving
// ---------------------------------------------------------------------------

// Reads what the socket holds and queues every whole frame as a record.
void read_socket() {
    uint8_t chunk[4096];
    ssize_t got = recv(client.socket, chunk, sizeof chunk, 0);
    if (got < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) return;
    if (got <= 0) {
        connection_lost();
        return;
    }
    size_t at = 0;
    while (at < static_cast<size_t>(got)) {
        size_t used = 0;
        WireStatus status = wire_reader_feed(&client.reader, chunk + at, got - at, &used);
        at += used;
        if (status == WIRE_BROKEN) {
            connection_lost();
            return;
        }
        if (status == WIRE_NEED_MORE) break;
        Delivery *delivery =
            new_delivery(wire_reader_record(&client.reader), wire_reader_size(&client.reader));
        if (delivery) enqueue(delivery);
    }
}

long long now_ms() {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

}  // namespace

// ---------------------------------------------------------------------------
// Exported calls
// ---------------------------------------------------------------------------

extern "C" {

VORN_EXPORT int vorn_client_configure(int argc, char **argv) {
    int sound = 1;
    for (int i = 1; i < argc; i++) {
        const char *option = argv[i];
        if (!option || option[0] != '-' || option[1] == '\0' || option[2] != '\0') continue;
        if (option[1] != 'n' && option[1] != 'i' && option[1] != 'p') continue;
        if (i + 1 >= argc || !argv[i + 1]) {
            sound = 0;
            continue;
        }
        const char *value = argv[++i];
        bool taken = false;
        if (option[1] == 'n') taken = set_host(value);
        if (option[1] == 'i') taken = is_numeric_address(value) && set_host(value);
        if (option[1] == 'p') taken = parse_port(value, &client.port);
        if (!taken) sound = 0;
    }
    return sound;
}

VORN_EXPORT int vorn_client_connect(void) {
    vorn_client_disconnect();
    ensure_wake_pipe();
    addrinfo hints = {};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV;
    char port_text[8];
    std::snprintf(port_text, sizeof port_text, "%u", static_cast<unsigned>(client.port));
    addrinfo *addresses = nullptr;
    int error = EHOSTUNREACH;
    if (getaddrinfo(client.host, port_text, &hints, &addresses) == 0) {
        for (const addrinfo *address = addresses; address && client.socket < 0;
             address = address->ai_next)
            client.socket = open_connection(address, &error);
        freeaddrinfo(addresses);
    }
    wire_reader_reset(&client.reader);
    queue_connect_event(client.socket >= 0 ? 0 : static_cast<uint32_t>(error ? error : 1));
    return client.socket >= 0;
}

VORN_EXPORT int vorn_client_send_message(const uint8_t *record, size_t size) {
    if (client.socket < 0 || !wire_record_valid(record, size)) return 0;
    if (send_companion(record) && wire_send_frame(client.socket, record, size)) return 1;
    connection_lost();
    return 0;
}

VORN_EXPORT uint8_t *vorn_client_receive(int timeout_ms) {
    ensure_wake_pipe();
    long long deadline = timeout_ms < 0 ? 0 : now_ms() + timeout_ms;
    for (;;) {
        if (stop_requested.exchange(false)) {
            drain_wake_pipe();
            return stop_record.bytes.data();
        }
        if (client.head) {
            uint8_t *record = record_of(dequeue());
            note_delivered(record);
            return record;
        }
        int wait = -1;
        if (timeout_ms >= 0) {
            long long left = deadline - now_ms();
            wait = left > 0 ? static_cast<int>(left) : 0;
        }
        // A closed socket (-1) is skipped by poll; the wake pipe still ends
        // the wait when a stop is asked for.
        pollfd watched[2] = {{client.wake_read, POLLIN, 0}, {client.socket, POLLIN, 0}};
        int ready = poll(watched, 2, wait);
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) return nullptr;
        if (watched[0].revents) drain_wake_pipe();
        if (watched[1].revents && client.socket >= 0) read_socket();
    }
}

VORN_EXPORT void vorn_client_release(uint8_t *record) {
    if (!record) return;
    Delivery *delivery = delivery_of(record);
    if (!delivery->is_static) std::free(delivery);
}

VORN_EXPORT void vorn_client_stop(void) {
    int saved_errno = errno;
    stop_requested.store(true);
    int fd = wake_write.load();
    if (fd >= 0) {
        ssize_t written = write(fd, "", 1);
        (void)written;
    }
    errno = saved_errno;
}

VORN_EXPORT void vorn_client_disconnect(void) {
    close_socket();
    drop_queue();
}

}  // extern "C"
