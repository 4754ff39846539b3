// Threads and one game: Positions built with one Session's Map and
// CentreTable searched on two threads at once, and one Session per thread.
// Linked with the library's own allocator, whose block cache is per thread;
// CI runs this program under ThreadSanitizer too.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "brox.h"
#include "common/assignment_message.h"
#include "world/position.h"

namespace {

// Rounds of the shared-table test.  A lost count shows only by chance, so
// the plain build runs many; ThreadSanitizer reports the unordered accesses
// themselves, whatever the timing, and AddressSanitizer is slow.
#if defined(__SANITIZE_THREAD__) || defined(__SANITIZE_ADDRESS__)
constexpr int ROUNDS = 3;
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer) || __has_feature(address_sanitizer)
constexpr int ROUNDS = 3;
#else
constexpr int ROUNDS = 20;
#endif
#else
constexpr int ROUNDS = 20;
#endif

using Bytes = std::vector<uint8_t>;

Bytes read_classic(const std::string &name) {
    std::ifstream file(std::string(BROX_CLASSIC_DIR) + "/" + name, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), {}};
}

// The classic map and a mid-game spring, as messages from their type word.
struct Messages {
    Bytes map = read_classic("map.bin");
    Bytes centres = read_classic("midgame-1-centres.bin");
    Bytes position = read_classic("midgame-1-position.bin");
    bool complete() const { return !map.empty() && !centres.empty() && !position.empty(); }
};

// Hands a message to the session as the client library delivers it: the
// kind byte, then the message (a copy: the position builder writes to it).
void deliver(Session *session, const Bytes &message) {
    Bytes record(message.size() + 1);
    record[0] = KIND_MESSAGE;
    std::copy(message.begin(), message.end(), record.begin() + 1);
    brox_process_msg(session, record.data(), nullptr, nullptr);
}

// A session holding the map, the ownership and the position, playing
// power 0.  The assignment is set directly, so no rejoin file is written.
void session_start(Session *session, const Messages &messages) {
    brox_initialise(session, nullptr);
    assignment_write(session->assignment, {0x0041, 0});
    deliver(session, messages.map);
    deliver(session, messages.centres);
    deliver(session, messages.position);
}

// A Position of the session's phase built as the session builds its own,
// on the session's Map and CentreTable, so that it shares the table.
Position *position_like_sessions(Session *session, const Messages &messages) {
    Bytes copy = messages.position;
    return position_build(session->map, session->centres, copy.data());
}

// Counts units of power 0 that stand somewhere: enough to rank the trials.
uint32_t score_power_0(Position *position, void *) {
    uint32_t score = position->unit_count;
    for (uint16_t u = 0; u < position->unit_count; u++)
        score += position->units[u]->power == 0 && position->units[u]->location;
    return score;
}

// Ten steps of an agenda for power 0; the best item's score and choices as
// indices into the candidate walk (so that results from different
// Positions compare).
struct Search {
    uint32_t score = 0;
    std::vector<int> choices;
    bool operator==(const Search &) const = default;
};

int candidate_index(Unit *unit, const Order *order) {
    if (!order) return -1;
    int index = 0;
    for (Order *o = brox_candidate_first(unit); o; o = brox_candidate_next(unit, o), index++)
        if (o == order) return index;
    return -2;
}

Search search(Session *session, Position *position) {
    Agenda *agenda = brox_agenda_new(position, score_power_0, nullptr);
    for (int step = 0; step < 10; step++) {
        auto *taken = static_cast<AgendaItem *>(LUM_AVL_ITEM(&agenda->by_score, agenda->by_score.last));
        if (!brox_agenda_step(session, agenda)) break;
        brox_agenda_item_free(taken, 1);
    }
    Search result;
    auto *best = static_cast<AgendaItem *>(LUM_AVL_ITEM(&agenda->by_score, agenda->by_score.last));
    if (best) {
        result.score = best->score;
        for (uint16_t u = 0; u < position->unit_count; u++)
            result.choices.push_back(candidate_index(position->units[u], best->choices[u]));
    }
    brox_agenda_free(agenda);
    return result;
}

// Two threads search Positions that share the session's CentreTable: every
// trial retains it and releases it again.  Each thread also looks one phase
// ahead from the session's Position through a Position that brox_adjudicate
// built on the main thread, which shares the table too.  After each round
// the count must be back to its two holders (the session and its
// Position), and each thread must have found what one thread alone finds.
TEST(Threads, TwoThreadsSearchPositionsOfOneSession) {
    Messages messages;
    ASSERT_TRUE(messages.complete());
    Session session{};
    session_start(&session, messages);
    ASSERT_NE(session.position, nullptr);
    CentreTable *table = session.centres;
    ASSERT_EQ(table->ref_count, 2);

    Position *alone_position = position_like_sessions(&session, messages);
    Search alone = search(&session, alone_position);
    brox_position_free(alone_position);
    ASSERT_GT(alone.score, 0u);

    int wrong_counts = 0;
    int wrong_results = 0;
    for (int round = 0; round < ROUNDS; round++) {
        // Built here, used and freed there: each Position is used by one
        // thread at a time.
        Position *mine[2], *next[2];
        for (int t = 0; t < 2; t++) {
            mine[t] = position_like_sessions(&session, messages);
            next[t] = brox_adjudicate(session.position);
            ASSERT_TRUE(mine[t] && next[t] && next[t]->centres == table);
        }
        Search found[2];
        std::thread threads[2];
        for (int t = 0; t < 2; t++)
            threads[t] = std::thread([&, t] {
                found[t] = search(&session, mine[t]);
                brox_position_free(mine[t]);
                brox_position_free(brox_adjudicate(next[t]));
                brox_position_free(next[t]);
            });
        for (std::thread &thread : threads) thread.join();
        wrong_counts += table->ref_count != 2;
        wrong_results += !(found[0] == alone) + !(found[1] == alone);
    }
    EXPECT_EQ(wrong_counts, 0) << "rounds that ended with a wrong count, of " << ROUNDS;
    EXPECT_EQ(wrong_results, 0);
    brox_terminate(&session);
}

// A game per thread: nothing is shared between Sessions, so each thread
// finds what the main thread finds alone.
TEST(Threads, OneSessionPerThread) {
    Messages messages;
    ASSERT_TRUE(messages.complete());
    Session main_session{};
    session_start(&main_session, messages);
    ASSERT_NE(main_session.position, nullptr);
    Search alone = search(&main_session, main_session.position);
    brox_terminate(&main_session);

    Search found[2];
    std::thread threads[2];
    for (int t = 0; t < 2; t++)
        threads[t] = std::thread([&, t] {
            Session session{};
            session_start(&session, messages);
            if (!session.position) return;
            found[t] = search(&session, session.position);
            brox_terminate(&session);
        });
    for (std::thread &thread : threads) thread.join();
    EXPECT_EQ(found[0], alone);
    EXPECT_EQ(found[1], alone);
}

}  // namespace
