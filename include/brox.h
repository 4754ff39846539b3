/*
 * brox.h -- the Brox library's public interface and its reference.
 *
 * Everything a bot may call or read: tokens and constants, the records the
 * library keeps (Map, CentreTable, Position, Unit, Order, Agenda, Session),
 * the intrusive trees those records embed, and the exported brox_ calls,
 * each with what it does, who owns what, how long every pointer lives and
 * what it does with a bad argument.  What is not declared here is private.
 * Usable from C and C++.
 *
 * ===================================================================
 * How a bot uses the library
 * ===================================================================
 *
 *   1. brox_initialise(&session, release_fn), then brox_game_join(&session,
 *      name, version): connects through the client library and joins the
 *      game, or rejoins it as the same power when the rejoin file
 *      "broxgame.log" is in the current directory.
 *   2. Every record the client library delivers goes to brox_process_msg.
 *      The session answers the set-up messages itself and keeps
 *      session.map, session.centres and session.position current.
 *      brox_record_type(record) tells the bot which message it was.
 *   3. After a MSG_POSITION the bot reads session.position, gives each of
 *      its own Units an order (by copying one of the Unit's candidate Orders
 *      whole into unit->order, or with an agenda search) and sends them with
 *      brox_order_submit.  brox_session_power(&session) is its power.
 *   4. When brox_process_msg gives keep_running 0 the bot leaves its loop
 *      and calls brox_terminate(&session).
 *
 * Conventions that hold for every call:
 *   - Results are plain integers (non-zero success, 0 failure) or pointers
 *     (null when nothing was built).  There are no error codes.
 *   - A null pointer, an index beyond the record, or an object that does not
 *     belong where it is passed is refused as each call says: the call does
 *     nothing and returns 0 or null.  The library never follows such a
 *     pointer.  Freed or never-built records cannot be told apart from live
 *     ones: passing one is the caller's fault and not detected.
 *   - Threads: no call starts a thread or takes a lock; each runs on its
 *     caller's thread.  Exactly this may be shared between threads:
 *       . a Map, by every Position built on it.  It is only read once
 *         built, and must outlive them all (brox_process_msg replaces it on
 *         a new map definition, brox_terminate releases it);
 *       . a CentreTable, by the Session and every Position built with it
 *         (brox_adjudicate gives the next phase its argument's table,
 *         except when the turn passes into winter: there it counts the
 *         centres anew).  Its lists are only read and its ref_count
 *         changes atomically, so Positions sharing it may be built,
 *         adjudicated, searched and freed on different threads at once;
 *       . a Session, by brox_session_power and the agenda calls
 *         (brox_agenda_item_new, brox_agenda_add_successors,
 *         brox_agenda_step), which only read its assignment, on any number
 *         of threads at once while no thread runs brox_initialise,
 *         brox_game_join, brox_process_msg or brox_terminate on it.
 *     Everything else is used by one thread at a time, reading included: a
 *     Position with its Units and Orders (session.position too), an Agenda
 *     with its items.  To search one game on several threads, build each
 *     thread's Position on the bot's thread (brox_adjudicate of
 *     session.position, after setting the orders to explore) and hand it
 *     over when the thread starts or under a lock.  Those Positions outlive
 *     later position and ownership messages (they hold their own table) but
 *     not the Map: free them before a new map definition or brox_terminate.
 *     Separate Sessions share nothing, so each may live on a thread of its
 *     own (the client library, though, holds one connection per
 *     process).  brox_rand keeps one state per thread.
 *   - Indices: a province index is the high byte of the province's token
 *     and its place in every per-province array; location indices are shared
 *     by the Map and every Position built on it; power indices run from 0 to
 *     the Map's power_count - 1, and power_count itself means "no power".
 *
 * Lifetimes at a glance:
 *   - Map: built by the session from the map definition; lives until
 *     brox_terminate or the next map definition.  Every Position and
 *     CentreTable refers to it.
 *   - session.position: replaced (the old one freed) by every MSG_POSITION
 *     that brox_process_msg handles, and freed by brox_terminate.  Every
 *     pointer into it (Units, Orders, LocationStates, ProvinceStates) dies
 *     with it: do not keep them from one position message to the next.
 *   - A Position returned by brox_adjudicate is the caller's; free it with
 *     brox_position_free before the Map goes.
 *   - The Position handed to an agenda's scoring function lives only for
 *     that call.
 *   - An Agenda and its items point into the Position they search: free the
 *     agenda (and the items taken out of it) before that Position goes.
 *
 * Memory held between calls:
 *   Everything the library builds for the bot (Positions, Agendas, items) is
 *   freed by the calls named beside its record.  Besides that, each thread
 *   that builds Positions keeps up to 32 of the large blocks it has released
 *   (16 KiB or more each, at most 8 MiB in all) and reuses them for the next
 *   Positions it builds, so that a search does not hand memory back to the
 *   system and fault it in again on every trial.  On a 75-province map a
 *   thread keeps from about 0.3 MiB (an opening) to 1.5 MiB (a search on a
 *   crowded mid-game) after its last call; the blocks are released when the
 *   thread ends.  A block goes to the cache of the thread that releases it,
 *   whichever thread built it.  A build with AddressSanitizer keeps no
 *   blocks, so that the sanitizer sees every use of a freed record.
 *   brox_agenda_add_successors (and so brox_agenda_step) keeps
 *   the Position of its latest trial only while it runs.  Nothing else
 *   outlives a call.
 *
 * The rejoin file "broxgame.log" in the current directory:
 *   4 bytes, the power word then the passcode of the last MSG_ASSIGNMENT,
 *   each low byte first; readable by its owner only.  Written at every
 *   MSG_ASSIGNMENT, read by brox_game_join, deleted at MSG_GAME_END and
 *   when the server refuses a rejoin.  Only a regular file of exactly 4
 *   bytes is a rejoin file.  The name is never followed or waited on: a
 *   symbolic link (dangling or not), a FIFO, a directory, a device, a
 *   socket or a file of another size counts as no rejoin file (a fresh
 *   join), and the next write replaces it (a link's target is never
 *   touched; a directory cannot be replaced, so a bot whose folder holds
 *   one cannot rejoin).  The write fills a new file beside it
 *   ("broxgame.log.XXXXXX") and renames it over the name, so a crash leaves
 *   the old file or the new one whole, at worst with a stray new file.
 *   Whatever stands at the name and is not a rejoin file is reported,
 *   when read and when replaced (or found a directory), with one line on
 *   standard error, "[Brox Library] broxgame.log ...": the library keeps
 *   no log, and a bot's standard error is where its author looks.  A
 *   missing file is the ordinary first start and is not reported, nor is a
 *   folder where no file can be created.
 */
#ifndef BROX_H
#define BROX_H

#include <stddef.h>
#include <stdint.h>

#if defined(_WIN32)
#  define BROX_API __declspec(dllexport)
#elif defined(__GNUC__)
#  define BROX_API __attribute__((visibility("default")))
#else
#  define BROX_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* ===================================================================
 * Limits shared by every record
 * =================================================================== */

#define MAX_PROVINCES 300      /* provinces of a Map */
#define MAX_POWERS 20          /* powers of a Map */
#define MAX_LOCATIONS 600      /* Locations of a Map */
#define MAX_ADJACENT 20        /* adjacent Locations per Location, neighbours per province */
#define MAX_UNITS 100          /* Units of a Position, entries of an orders message */
#define MAX_RETREATS 20        /* retreat options of a dislodged unit */
#define MAX_ROUTE 20           /* fleets of one convoy route */

/* ===================================================================
 * Tokens: 16-bit words, low byte category, high byte index
 *
 * Stored little-endian, so in a message the category byte comes first.
 * A power token carries the power index in its high byte, a province
 * token the province index; the library never reads their low byte.
 * =================================================================== */

/* Unit types (category 0x42). */
#define UNIT_ARMY 0x0042
#define UNIT_FLEET 0x0142

/* Orders (category 0x43). */
#define ORD_CONVOY_MOVE 0x2043 /* army moves by convoy along a route */
#define ORD_CONVOY 0x2143      /* fleet convoys an army */
#define ORD_HOLD 0x2243        /* hold */
#define ORD_MOVE 0x2343        /* move */
#define ORD_SUPPORT 0x2443     /* support to hold or to move */
#define ORD_DISBAND 0x4043     /* disband a dislodged unit */
#define ORD_RETREAT 0x4143     /* retreat a dislodged unit */
#define ORD_BUILD 0x8043       /* build */
#define ORD_REMOVE 0x8143      /* remove a unit */
#define ORD_WAIVE 0x8243       /* waive a build */

/* Order results (category 0x45). */
#define RES_SUCCESS 0x0045
#define RES_BOUNCE 0x0145
#define RES_CUT 0x0245
#define RES_NO_SUCH_ORDER 0x0545
#define RES_DISLODGED 0x0645

/* Seasons (category 0x47).  The year runs spring, summer, fall, autumn,
 * winter; a summer or autumn with nobody dislodged, and a winter with
 * nothing to build or remove, are skipped. */
#define SEASON_SPRING 0x0047   /* spring movement */
#define SEASON_SUMMER 0x0147   /* retreats after spring */
#define SEASON_FALL 0x0247     /* fall movement */
#define SEASON_AUTUMN 0x0347   /* retreats after fall */
#define SEASON_WINTER 0x0447   /* adjustments */

/* Message types (category 0x48): record bytes 1-2, see brox_record_type.
 * The session handles all but MSG_GOF, MSG_JOIN and MSG_ORDERS itself; the
 * bot may still look at every record it passes to brox_process_msg. */
#define MSG_GOF 0x0348              /* built by brox_build_send_gof */
#define MSG_ASSIGNMENT 0x0448       /* the bot's power; kept in session.assignment */
#define MSG_REJOIN 0x0748           /* the server's answer to a rejoin */
#define MSG_MAP_NAME 0x0948         /* the map's name; answered by the session */
#define MSG_MAP_DEFINITION 0x0A48   /* builds session.map */
#define MSG_JOIN 0x0C48             /* sent by brox_game_join */
#define MSG_POSITION 0x0E48         /* builds session.position: time to order */
#define MSG_SESSION_END 0x1048      /* the server ends the session (a rejoin stays possible) */
#define MSG_CENTRE_OWNERSHIP 0x1548 /* builds session.centres */
#define MSG_GAME_END 0x1648         /* the game is over; the rejoin file is deleted */
#define MSG_ORDERS 0x1848           /* sent by brox_order_submit */

/* Category 0x58. */
#define TARGET_NONE 0x0158             /* target slot of an order without target */
#define POSITION_REQUEST_SEASON 0x0258 /* season slot of the position request */

/* Coast codes: plain 16-bit values, not tokens.  Other values name the
 * coasts of provinces with more than one; compare them for equality only. */
#define COAST_ARMY 0x0001  /* where an army stands in a land province */
#define COAST_SEA 0x0002   /* fleet location of a province that is not coastal */
#define COAST_SHORE 0x0004 /* fleet location of a coastal province */
#define COAST_ANY 0x8000   /* bit 15: no coast given */

/* Record kinds (record byte 0).  Any other kind is ignored. */
#define KIND_MESSAGE 2 /* a message: type at bytes 1-2 */
#define KIND_STOP_A 3  /* the client library stops the session (vorn_client_stop) */
#define KIND_STOP_B 4  /* the same, from another source */
#define KIND_EVENT 5   /* a connection event: status at bytes 1-4, code at 5-6 */

/* Message flags (record byte 5, message offset 4). */
#define FLAG_PLAIN 1  /* a message of the bot's own */
#define FLAG_ACCEPT 2 /* accepted (an answer) */
#define FLAG_REJECT 3 /* refused (an answer) */
#define FLAG_SUBMIT 4 /* an orders message */

/* Connection event codes (KIND_EVENT record bytes 5-6).  The session shows
 * a notice for a failed connection, lack of memory and a lost connection,
 * and ends the session on every event but a successful connection. */
#define EVENT_CONNECT 1         /* status 0: connected; otherwise it failed */
#define EVENT_OUT_OF_MEMORY 3
#define EVENT_CONNECTION_LOST 7

/* Province terrain bits, centre kinds and neighbour flags. */
#define TERRAIN_LAND 1  /* armies may stand here */
#define TERRAIN_WATER 2 /* fleets may stand here */
#define CENTRE_NONE 0    /* not a supply centre */
#define CENTRE_NEUTRAL 1 /* a supply centre that is nobody's home */
#define CENTRE_HOME 2    /* a home centre of Province.home_power */
/* ProvinceNeighbour.flags, from the adjacencies between the two provinces'
 * Locations.  ADJ_WATER: some adjacency joins two Locations neither of
 * which is a COAST_ARMY one (a fleet can make the move).  ADJ_LAND: some
 * adjacency joins two Locations neither of which is a COAST_SEA one; every
 * army move sets it, and so does a fleet's move along a shore (COAST_SHORE
 * or named coasts at both ends), so it means "not only across open sea",
 * not "an army can go": that an army can is shown by its Location's
 * `adjacent` list holding the other province's COAST_ARMY Location. */
#define ADJ_LAND 1
#define ADJ_WATER 2

#define DISTANCE_UNREACHABLE 255 /* distance tables: no path shorter than 255 moves */

/* Ownership has two "nobody" values, one per place it is written:
 *   - in a MSG_CENTRE_OWNERSHIP message (power, province entries) of a game
 *     of at most eleven powers, an unowned centre is listed under
 *     POWER_UNOWNED (11).  In a game of twelve or more powers, 11 is a power
 *     like any other: its entries are its centres, and an unowned centre is
 *     simply not listed.  Entries for a power at or above the power count
 *     are skipped in every game;
 *   - in the records the library builds (ProvinceState.owner,
 *     Province.home_power) "nobody" is the Map's power_count.
 * A bot reading a Position compares owner with map->power_count, never
 * with POWER_UNOWNED. */
#define POWER_UNOWNED 11      /* centre-ownership entry of an unowned centre, in games of up to 11 powers */
#define POWER_NONE 0xFFFF     /* brox_session_power: no power assigned yet */

/* ===================================================================
 * Intrusive AVL trees of the client library (libvorn)
 *
 * A tree header is embedded in a record (every Unit's candidate set, the
 * Agenda's two orders) and a node in each item.  Items are never copied
 * into the tree: the node links them.  To walk a tree in ascending order:
 *
 *   for (Order *o = LUM_AVL_ITEM(&unit->candidates, unit->candidates.first);
 *        o; o = lum_avl_next(&unit->candidates, &o->node)) ...
 *
 * (brox_candidate_first and brox_candidate_next do the same for a Unit's
 * candidates.)  The highest item is LUM_AVL_ITEM(tree, tree->last).
 * Bots read these trees; they never insert into or remove from the
 * library's own trees (use brox_agenda_add_item for an agenda).
 * =================================================================== */

typedef struct LumAvlNode {
    struct LumAvlNode *left;   /* left child */
    struct LumAvlNode *right;  /* right child */
    struct LumAvlNode *parent; /* parent, null at the root */
    int16_t height;            /* -1 while the node is in no tree; the tree's own use */
    int16_t spare;             /* -1 before insertion; the tree's own use */
} LumAvlNode;

/* Compares two items (never nodes): negative, 0 or positive. */
typedef int (*LumAvlCompare)(const void *a, const void *b);
/* Called once per item when a subtree is emptied. */
typedef void (*LumAvlRelease)(void *item, int arg);

typedef struct LumAvlTree {
    LumAvlCompare compare; /* item comparison */
    LumAvlNode *root;      /* root node, null when empty */
    LumAvlNode *first;     /* node of the lowest item, null when empty */
    LumAvlNode *last;      /* node of the highest item, null when empty */
    uint16_t reserved;     /* set to 0 */
    uint16_t node_offset;  /* byte offset of the node inside an item */
    uint32_t count;        /* number of items */
} LumAvlTree;

/* The item pointer for a node of a tree (null stays null). */
#define LUM_AVL_ITEM(tree, node) \
    ((node) ? (void *)((char *)(node) - (tree)->node_offset) : (void *)0)

/* The item that compares equal to key_item, or null.  The key is an item
 * (the compare function reads it), not a node. */
void *lum_avl_find(LumAvlTree *tree, const void *key_item);
/* Links an item by its node; the caller has made sure that no equal item is
 * present.  Returns the item. */
void *lum_avl_insert(LumAvlTree *tree, LumAvlNode *node);
/* Unlinks an item's node; the node is left as before insertion (links
 * null, both 16-bit fields -1).  Returns the item. */
void *lum_avl_remove(LumAvlTree *tree, LumAvlNode *node);
/* The ITEM (not its node) that follows the item owning `node` in ascending
 * order, or null after the last one. */
void *lum_avl_next(LumAvlTree *tree, LumAvlNode *node);
/* Calls release(item, arg) once for every item under root, leaving each
 * node as before insertion; the caller then clears root, first, last and
 * count.  Returns 0 (nothing done) for a null root or release. */
int lum_avl_node_empty(LumAvlTree *tree, LumAvlNode *root, LumAvlRelease release, int arg);

/* An extension of this client library, beyond the five tree calls above
 * that every client library offers.  Links `count` items that lie
 * `stride` bytes apart from `first_item` on (an array of items, say) and
 * are in strictly ascending order by the tree's compare, none equal to an
 * item already in the tree.  Their nodes need no preparing: every field is
 * written.  Into an empty tree they go in one pass, with no compare and no
 * rotation, as a perfectly balanced tree (the middle item at the root);
 * into a tree that holds items already, one at a time as lum_avl_insert
 * puts them.  Returns first_item, or null when count is 0 (nothing done).
 *
 * Why: the library fills every candidate set in ascending order, over a
 * thousand Orders per Position in a crowded mid-game, for every agenda
 * trial; one insertion at a time costs a compare and a walk up the tree
 * per Order, which was the largest part of a trial.
 *
 * Against a client library that lacks it: the Brox library imports it as
 * a weak symbol and, when it is absent at run time, inserts the Orders one
 * at a time with lum_avl_insert instead.  The sets are the same either way
 * (same items, same order); only the speed differs.  A bot that calls it
 * itself must do the same (test the address first). */
void *lum_avl_insert_sorted(LumAvlTree *tree, void *first_item, uint32_t count, size_t stride);

/* ===================================================================
 * Map: the fixed geography of one game
 *
 * Built by the session from MSG_MAP_DEFINITION into session.map and
 * released by brox_terminate (or when a new map definition replaces it).
 * Never changed after it is built.  Read it, never write it.
 * =================================================================== */

struct Province;

typedef struct ProvinceNeighbour {
    struct Province *province; /* the neighbouring province */
    uint8_t flags;             /* ADJ_LAND, ADJ_WATER: who can make the move */
} ProvinceNeighbour;

typedef struct Province {
    uint16_t token;           /* province token; its high byte is the province index */
    uint8_t terrain;          /* TERRAIN_LAND | TERRAIN_WATER: 1 inland, 2 sea, 3 coastal */
    uint8_t centre_kind;      /* CENTRE_NONE, CENTRE_NEUTRAL or CENTRE_HOME */
    uint16_t home_power;      /* power index of a home centre; power_count for any other province */
    uint16_t neighbour_count; /* entries used in neighbours */
    ProvinceNeighbour neighbours[MAX_ADJACENT]; /* provinces one move away (from here), first mention first */
} Province;

/* A place a unit can stand: a province and a coast (COAST_ARMY for armies,
 * COAST_SEA or COAST_SHORE or a named coast for fleets). */
typedef struct Location {
    uint16_t index;                          /* own index in Map.locations */
    Province *province;                      /* the province it lies in */
    uint16_t coast;                          /* coast code */
    uint16_t adjacent_count;                 /* entries used in adjacent */
    struct Location *adjacent[MAX_ADJACENT]; /* one move away, definition order, duplicates kept */
} Location;

typedef struct Map {
    uint16_t province_count;                          /* provinces used, 0 to 300 */
    Province provinces[MAX_PROVINCES];                /* by province index */
    uint16_t location_count;                          /* Locations used */
    Location locations[MAX_LOCATIONS];                /* by location index */
    uint16_t power_count;                             /* powers, 0 to 20; also "no power" */
    uint16_t centre_count;                            /* provinces that are supply centres */
    /* distance[a][b]: fewest moves from province a to b (any unit type);
     * 255 when none.  distance[a][a] is the shortest way out and back
     * (2 for a province with a two-way neighbour), never 0. */
    uint8_t distance[MAX_PROVINCES][MAX_PROVINCES];
    /* home_distance[p][b]: the smallest distance[h][b] over power p's home
     * centres h; 255 when none.  Entries past power_count are unset. */
    uint8_t home_distance[MAX_POWERS][MAX_PROVINCES];
} Map;

/* ===================================================================
 * CentreTable: supply-centre ownership per power, reference-counted
 *
 * The session builds one from every MSG_CENTRE_OWNERSHIP into
 * session.centres and holds one reference; every Position holds one more
 * on the table it was built with.  The last holder's release frees it.
 * The count is changed with atomic operations on the field itself, so
 * holders may retain and release on different threads at once.
 * Bots read it (through session.centres or position->centres), never
 * retain or release it.  In a Position, ProvinceState.owner gives the same
 * facts per province.
 * =================================================================== */

typedef struct CentreList {
    uint16_t count;                    /* centres owned */
    uint16_t provinces[MAX_PROVINCES]; /* their province indices, as listed */
} CentreList;

typedef struct CentreTable {
    CentreList *lists[MAX_POWERS]; /* one per power of the Map; entries past power_count are unset */
    uint16_t ref_count;            /* holders; changed atomically by the library */
} CentreTable;

/* ===================================================================
 * Orders and Positions
 *
 * A Position is one phase of the game: the session builds one from every
 * MSG_POSITION (session.position), brox_adjudicate builds the next phase's.
 * Each is built complete: every Unit carries its candidate Orders (the
 * legal orders for this season) and a chosen order.  brox_position_free
 * releases it with its Units and their candidate Orders.
 *
 * Choosing: copy one of the Unit's candidates WHOLE into its order,
 *
 *   unit->order = *candidate;
 *
 * The copy's node is never used.  A bot may also set unit->order by hand
 * to a token that needs no target (ORD_HOLD, ORD_DISBAND, ORD_REMOVE,
 * ORD_WAIVE) with every other field zero.  Orders refer into their own
 * Position: an Order copied from another Position (say, one handed to the
 * scoring function) is not sent and is adjudicated as a hold.
 * =================================================================== */

struct LocationState;
struct ProvinceState;
struct Unit;

/* One order: a candidate in a Unit's set, or the Unit's chosen order.
 *
 *   token            target                      other_unit      route
 *   ORD_HOLD         -                           -               -
 *   ORD_MOVE         destination                 -               -
 *   ORD_SUPPORT      - (support to hold), or a   supported unit  -
 *                    location of the province
 *                    the supported unit moves to
 *   ORD_CONVOY_MOVE  landing location            -               fleets' provinces
 *   ORD_CONVOY       the army's landing location convoyed army   -
 *   ORD_RETREAT      destination (null when the  -               -
 *                    server named no known place)
 *   ORD_DISBAND, ORD_REMOVE, ORD_WAIVE: nothing
 *   ORD_BUILD        where the new unit stands   -               -
 *
 * A walk of a candidate set yields the tokens in this order: CONVOY_MOVE,
 * CONVOY, HOLD, MOVE, SUPPORT (to hold first), DISBAND, RETREAT, BUILD,
 * REMOVE, WAIVE; within a token, by target location index. */
typedef struct Order {
    uint16_t token;                        /* ORD_ token */
    struct LocationState *target;          /* place the order is about, or null */
    struct Unit *other_unit;               /* unit supported or convoyed, or null */
    uint16_t route_length;                 /* entries used in route, 0 to 20 */
    struct ProvinceState *route[MAX_ROUTE]; /* convoying fleets' provinces, army side first */
    LumAvlNode node;                       /* link in the Unit's candidates tree */
} Order;

/* One province in one phase; Position.provinces[i] is province index i. */
typedef struct ProvinceState {
    Province *province;           /* the Map's province of the same index */
    struct Unit *unit;            /* unit standing here, not dislodged; or null */
    struct Unit *dislodged_unit;  /* dislodged unit here (summer, autumn), or null */
    struct Unit *reach[MAX_UNITS]; /* units of any power that can move here: adjacency first, then convoys */
    uint16_t reach_count;         /* entries used in reach */
    uint16_t direct_reach_count;  /* entries found by adjacency (the first ones) */
    /* Power index owning the supply centre here; the Map's power_count when
     * nobody owns it (not POWER_UNOWNED) and for provinces that are not
     * centres.  Ownership changes once a year, after the fall: spring to
     * autumn carry last winter's, the winter Position (or the spring that
     * replaces a skipped winter) the new one. */
    uint16_t owner;
} ProvinceState;

/* One location in one phase; Position.locations[l] is location index l. */
typedef struct LocationState {
    Location *location;             /* the Map's Location of the same index */
    ProvinceState *province;        /* state of the province it lies in */
    uint16_t coast;                 /* copy of the Location's coast */
} LocationState;

/* One unit, or one winter build slot.
 *
 * The candidates by season (empty sets are common: check before walking):
 *   spring, fall   every unit: HOLD, MOVE, SUPPORT, and CONVOY_MOVE /
 *                  CONVOY where fleets at sea can carry an army
 *   summer, autumn dislodged units: RETREAT (one per place the server
 *                  offers) and DISBAND; every other unit: none
 *   winter         a power with more units than centres: REMOVE and HOLD
 *                  for each of its units; a power with builds due: its
 *                  first build slot has WAIVE and one BUILD per free
 *                  location (army and fleet locations alike) of its owned,
 *                  unoccupied home centres, the later slots have none;
 *                  every other unit: none
 * A dislodged unit gets RETREAT and DISBAND in any season.
 *
 * Build slots (winter only) come after the units: location null, power the
 * power owed the build, unit_type UNIT_ARMY, order ORD_WAIVE.  To build,
 * give each slot one BUILD candidate of the FIRST slot (a different
 * province each) and set the slot's unit_type to UNIT_FLEET for a fleet
 * location (target->coast != COAST_ARMY); slots left on ORD_WAIVE waive.
 *
 * A Position holds at most MAX_UNITS Units.  When the units and the builds
 * due come to more, the slots that fit are dealt out one at a time to the
 * powers with builds due, in power order and round again, until none fits
 * or every build due has its slot; each power's slots then stand together,
 * powers in index order.  adjustment still gives the builds due. */
typedef struct Unit {
    uint16_t unit_type;      /* UNIT_ARMY or UNIT_FLEET; a build slot's may be set by the bot */
    uint16_t power;          /* power index */
    LocationState *location; /* where it stands; null for a build slot */
    uint32_t dislodged;      /* non-zero: dislodged (summer, autumn), must retreat or disband */
    LumAvlTree candidates;   /* candidate Orders, see above; walk with brox_candidate_first/next */
    Order order;             /* chosen order, held by value: ORD_HOLD (ORD_WAIVE for a slot) until set */
    uint32_t result;         /* 0 when built; the library never reads or writes it afterwards: no meaning, do not rely on it */
} Unit;

typedef struct Position {
    Map *map;                                 /* the Map it was built on */
    uint16_t year;                            /* year, e.g. 1901 */
    uint16_t season;                          /* SEASON_ token */
    ProvinceState provinces[MAX_PROVINCES];   /* by province index; province_count used */
    LocationState locations[MAX_LOCATIONS];   /* by location index; location_count used */
    uint16_t unit_count;                      /* Units used, at most MAX_UNITS */
    Unit *units[MAX_UNITS];                   /* the message's units in its order (dislodged too), then build slots */
    int16_t adjustment[MAX_POWERS];           /* winter only: centres minus units per power (+ builds due, - removals due) */
    uint16_t unit_counts[MAX_POWERS];         /* units per power, dislodged included, build slots not */
    CentreTable *centres;                     /* ownership it was built with (one reference) */
} Position;

/* ===================================================================
 * Agenda search
 *
 * A best-first search over choice vectors: an item holds, for every unit
 * of one Position, one of that unit's candidates or nothing (nothing
 * means hold).  Each item is scored by applying its choices to the
 * Position, adjudicating it with brox_adjudicate and passing the next
 * phase's Position to the bot's scoring function.
 *
 * Life cycle:
 *   1. brox_agenda_new(position, score_fn, data) creates the agenda and its
 *      root item (no choices).  The root is scored on the Position ITSELF,
 *      unadjudicated: score_fn sees the current phase, not the next one.
 *   2. The best item is the LAST of by_score (highest score; among equal
 *      scores the highest choice vector):
 *        AgendaItem *best = LUM_AVL_ITEM(&agenda->by_score, agenda->by_score.last);
 *      Read it BEFORE stepping; it may be incomplete (see `complete`).
 *   3. brox_agenda_step(&session, agenda) takes the best item out of the
 *      agenda and adds its successors (one per candidate of each unit it
 *      expands, each scored by one adjudication).  It returns 1, or 0 when
 *      the agenda was empty.  The item taken out now belongs to the
 *      caller: keep it or free it with brox_agenda_item_free(item, 1).
 *   4. Repeat 2-3 while time allows; brox_agenda_free(agenda) frees the
 *      items still in it (not the Position, not the items taken out).
 *
 * Which units an item expands: while an item is incomplete, only the
 * searching power's units (brox_session_power: the power of
 * session.assignment); once it is complete (every unit of that power has a
 * choice), every unit of every power.  Before an assignment has come
 * (POWER_NONE) no unit is the searching power's, and the root item has no
 * successors.  The best complete items also choose orders for other
 * powers' units that favour the searching power: copy only your OWN units'
 * choices into their orders, and give your units without a choice their
 * default.  A unit with no candidates never gets a
 * choice, so whenever one of the searching power's units has none (a unit
 * that is not dislodged in a retreat season, a second build slot) no item
 * is ever complete.
 *
 * While it works the agenda writes the chosen orders of every Unit of the
 * Position (after a step they are those of the item expanded): set your
 * orders after the search, not before.
 *
 * Scores of items compare directly: every item but the root is scored on
 * an adjudicated next phase.  They differ in what they assume: an
 * incomplete item has the searching power's units without a choice hold
 * and every other power hold; a complete item's successors choose other
 * powers' orders that score well for you, so the best complete items
 * assume the others play into your hands.
 *
 * Cost: a step tries every candidate of every unit it expands (the
 * searching power's units while the item is incomplete, every unit once
 * it is complete), each trial one adjudication (or the last trial's next
 * phase scored again when the orders lead to the same one) and one
 * score_fn call.  On large maps a complete step makes thousands of trials;
 * bound a search by time by counting a step's trials before it begins (a
 * step cannot be interrupted), as examples/guide_bot/guide_bot.c does.
 * =================================================================== */

/* The bot's scoring function: higher is better (unsigned: only the order
 * of scores counts, so compute a signed total with its penalties and shift
 * it by 2^31 into range; a negative value cast as it is wraps round and
 * ranks first).  `position` is
 * the next phase under the item's orders (the current one for the root).
 * It lives only for the call: keep nothing that points into it.  The
 * function may set its Units' orders and adjudicate it to look further
 * ahead; it must not free it or call the agenda.  Successors whose orders
 * lead to the same next phase (most supports and convoys change nothing)
 * are scored on the same Position again, put back as built in between
 * (every order a hold, or a waive for a build slot). */
typedef uint32_t (*BroxScoreFn)(Position *position, void *user_data);

typedef struct Agenda {
    LumAvlTree by_score;  /* items by score, then choices; best is last */
    LumAvlTree by_choice; /* items by choice vector: no two items with the same choices */
    BroxScoreFn score_fn; /* the bot's scoring callback */
    void *user_data;      /* passed to every score_fn call */
} Agenda;

typedef struct AgendaItem {
    LumAvlNode score_node;     /* link in by_score */
    LumAvlNode choice_node;    /* link in by_choice */
    Position *position;        /* the Position searched; not owned */
    Order *choices[MAX_UNITS]; /* per unit index: a candidate of that Unit, null = hold */
    uint32_t score;            /* score_fn result */
    int32_t complete;          /* 1 once every unit of the searching power has a choice */
} AgendaItem;

/* ===================================================================
 * Session: the bot's record for one game
 *
 * The bot owns the record (on its stack or wherever it likes); the library
 * fills it.  brox_initialise prepares it; brox_terminate releases what it
 * built.  Every field may be read; none should be written by the bot.
 *
 * The session owns its Map, its Position and one reference to its
 * CentreTable.  A new map definition releases the session's CentreTable
 * and Position (built on the old Map) and then the old Map itself, so
 * Positions the bot obtained from brox_adjudicate on the old Map must be
 * freed before the next map definition is processed.  Ownership and
 * position messages that arrive before a Map (and, for positions, a
 * CentreTable) exists are ignored.  brox_terminate clears the map,
 * position and centres fields and hands a map-name record still kept to
 * release_msg.
 * =================================================================== */

/* The client library (vorn.h) carries records between bot and server.  The
 * bot calls vorn_client_configure (the server's address from -n, -i, -p),
 * vorn_client_receive (the next delivered record: message, stop or event),
 * vorn_client_release (disposes of a record; also the release_msg below),
 * vorn_client_stop (ends the receive loop; safe in a signal handler) and
 * vorn_client_disconnect (after brox_terminate).  The library itself calls
 * vorn_client_connect (brox_game_join) and vorn_client_send_message. */

/* Disposes of a delivered record (vorn_client_release fits). */
typedef void (*BroxReleaseMsg)(uint8_t *record);

typedef struct Session {
    /* The last MSG_ASSIGNMENT as received, from its type word on (bytes
     * 0-1 MSG_ASSIGNMENT once one has come; not cleared by
     * brox_initialise).  Bytes 6-7: the power token, low byte first, whose
     * high byte (byte 7) is the power index; bytes 8-9: the passcode.
     * brox_session_power reads the index safely. */
    uint8_t assignment[40];
    uint8_t *map_name_msg;    /* MSG_MAP_NAME record kept until answered; null otherwise */
    Map *map;                 /* from MSG_MAP_DEFINITION; null until built (and after a refused one) */
    Position *position;       /* from the latest MSG_POSITION; null until one came; owned by the session */
    CentreTable *centres;     /* from the latest MSG_CENTRE_OWNERSHIP (one reference) */
    BroxReleaseMsg release_msg; /* the bot's release routine */
    int32_t rejoining;        /* 1 while rejoining as the power of the rejoin file */
    const char *name;         /* bot name, not copied */
    const char *version;      /* bot version text, not copied */
} Session;

/* ===================================================================
 * Exported calls: session
 * =================================================================== */

/* Prepares a Session: map, position, centres, map_name_msg, name and
 * version null, rejoining 0, release_msg stored.  assignment is left as it
 * is.  Returns 1; 0 for a null session (nothing done).  release_msg
 * disposes of the map-name record the session keeps for a while; it may
 * be null only when delivered records need no disposal. */
BROX_API int brox_initialise(Session *session, BroxReleaseMsg release_msg);

/* Connects through the client library (vorn_client_connect) and asks for
 * a place in the game: a rejoin (MSG_REJOIN, rejoining 1) when the rejoin
 * file "broxgame.log" is in the current directory, else a join (MSG_JOIN)
 * with name and version.  Anything at that name but a regular file of 4
 * bytes means a join, with a line on standard error (see "The rejoin
 * file" above); it is never waited on.  Returns the send result:
 * non-zero when the client library took the message.  Whether the
 * connection stands arrives later as a KIND_EVENT record.  The session
 * keeps the name and version POINTERS (a refused rejoin joins afresh with
 * them): they must stay valid until brox_terminate.  Each text is sent cut to 64 characters; null is
 * sent as an empty text.  Returns 0 for a null session (nothing done). */
BROX_API int brox_game_join(Session *session, const char *name, const char *version);

/* Takes one record delivered by the client library (kind byte first).
 * Sets *keep_running and *release_record to 1, then handles the record:
 * answers the set-up messages, builds session.map, replaces
 * session.centres and session.position, keeps the assignment, writes or
 * deletes the rejoin file, shows the notice of a connection event.
 *   *keep_running 0: the session is over (MSG_SESSION_END, MSG_GAME_END,
 *     KIND_STOP_A/B, any connection event but a successful connect, a
 *     failed send of the map-definition request).  Leave the loop and call
 *     brox_terminate.
 *   *release_record 0: the library kept the record (a MSG_MAP_NAME until
 *     the map definition comes; it then goes to release_msg).  Do not
 *     dispose of it.  1: the record is the bot's again.
 * Records of other types and kinds are left to the bot, unchanged.  A null
 * session or record does nothing (both flags 1); null flag pointers are
 * allowed.  A message shorter than its 6-byte header is ignored. */
BROX_API void brox_process_msg(Session *session, uint8_t *record, int *keep_running,
                               int *release_record);

/* Frees what the session built: its CentreTable reference, its Position,
 * then its Map, and clears those fields; hands a kept map-name record to
 * release_msg.  The connection stays open (vorn_client_disconnect closes
 * it) and the rejoin file stays, so a bot stopped this way rejoins at its
 * next start.  Positions from brox_adjudicate must be freed before.  A
 * null session does nothing; a second call does nothing more. */
BROX_API void brox_terminate(Session *session);

/* Builds and sends a MSG_GOF message carrying `value` (32 bits, at message
 * offsets 8-11), for servers that take it; the library itself never sends
 * one and nothing answers it.  Returns the send result (0: not sent). */
BROX_API int brox_build_send_gof(uint32_t value);

/* A pseudo-random number from lo to hi inclusive, from the library's own
 * generator (one state per thread, starting at 1: the same sequence on
 * every run).  lo greater than hi: the two are swapped.  Spans above 32767
 * are served too (the whole 16-bit range). */
BROX_API uint16_t brox_rand(uint16_t lo, uint16_t hi);

/* The index of the power the server assigned to this bot: the high byte of
 * the power word at session.assignment bytes 6-7.  POWER_NONE when no
 * assignment has come yet, when the index is not below the Map's
 * power_count, or for a null session.  Use it to find your units
 * (unit->power == power) and, shifted into a token, to submit:
 * brox_order_submit(NULL, position, (uint16_t)(power << 8)). */
BROX_API uint16_t brox_session_power(const Session *session);

/* The message type of a delivered record: record bytes 1-2 (MSG_ tokens)
 * for a KIND_MESSAGE record; 0 for any other kind (stops, events) and for
 * null.  Read it before brox_process_msg when the record may be kept. */
BROX_API uint16_t brox_record_type(const uint8_t *record);

/* ===================================================================
 * Exported calls: world model and adjudication
 * =================================================================== */

/* Frees a Position, its Units and every candidate Order, and releases its
 * CentreTable reference.  The Map is not touched.  For Positions from
 * brox_adjudicate only: session.position belongs to the session, and the
 * Positions an agenda scores are freed by the agenda.  Null does nothing. */
BROX_API void brox_position_free(Position *position);

/* Releases one candidate Order taken out of its set; the first argument is
 * not read.  Candidate Orders are stored with their Position: the record
 * must not be used afterwards, and its memory returns when the Position is
 * freed.  Null does nothing.  Bots have no need to call it. */
BROX_API void brox_position_free_order(void *first, Order *order);

/* Resolves one phase: from a Position whose Units carry their chosen
 * orders it builds the Position of the next phase, with fresh candidates
 * (spring -> summer if anyone is dislodged, else fall; fall -> autumn or
 * winter; summer -> fall; autumn -> winter; winter -> spring of the next
 * year; a winter with nothing to adjust is skipped).  In a Position it
 * builds, dislodged units are offered no retreat places: DISBAND only.
 * The returned Position is the caller's: free it with brox_position_free
 * before the Map goes.  The argument stays the caller's and is only read:
 * not a byte of it or of its Units changes.  Null for a null position, a season that is none of the
 * five, more than MAX_UNITS units, or lack of memory.  Orders that do not
 * fit (a target or unit from another Position, a token of another phase)
 * count as holds; a build without a place as a waive. */
BROX_API Position *brox_adjudicate(Position *position);

/* ===================================================================
 * Exported calls: orders and search
 * =================================================================== */

/* The first candidate of a unit's set (ascending order), or null when the
 * set is empty or unit is null. */
BROX_API Order *brox_candidate_first(Unit *unit);
/* The candidate after `order` in the unit's set, or null after the last.
 * Null too when `order` is not one of this unit's own candidate records (a
 * copy such as unit->order, or another unit's candidate) or either is
 * null.  Typical use:
 *   for (Order *o = brox_candidate_first(unit); o; o = brox_candidate_next(unit, o)) */
BROX_API Order *brox_candidate_next(Unit *unit, Order *order);

/* Sends the chosen orders of one power as a single MSG_ORDERS message.
 * `power` is a power token: only its high byte, the power index, is read
 * ((uint16_t)(brox_session_power(&session) << 8) will do).  Which units
 * take part: spring and fall every unit of the power; summer and autumn
 * its dislodged units only; winter every unit or slot whose order is not
 * ORD_HOLD (so removals, builds and waives; kept units are left out).  A
 * unit whose order refers outside `position` is left out.  Sends nothing
 * when no unit takes part.  The first argument is not read.  Nothing is
 * reported back: the send result is not returned.  A null position does
 * nothing.
 *
 * Missing a deadline: the client library (libvorn) sends each orders
 * message right behind a tag naming the season and year of the last
 * position it delivered, and the server takes orders only for the phase
 * it is playing.  Orders that arrive after their phase was resolved are
 * refused whole ("orders for an earlier phase" in the game record) and
 * never applied to the next phase.  For the phase it missed the bot's
 * power gets the defaults: units hold, dislodged units disband, build
 * slots waive, and removals due are chosen by the server (units farthest
 * from home first, see the referee's rules below).  Submit again for the
 * new position. */
BROX_API void brox_order_submit(void *first, Position *position, uint16_t power);

/* Creates an agenda on `position` with its root item (no choices) scored
 * by score_fn on the Position itself, unadjudicated.  The Position stays
 * the caller's and must outlive the agenda and every item taken out of
 * it.  user_data is passed to every score_fn call.  Returns the agenda, or
 * null for a null position or score_fn, or lack of memory. */
BROX_API Agenda *brox_agenda_new(Position *position, BroxScoreFn score_fn, void *user_data);

/* A new item: a copy of `parent` whose choice for unit `unit_index` is
 * `order`, one of that unit's candidates (null clears the choice).  Its
 * score is the parent's until the caller sets it; it is complete when the
 * parent was or when every unit of the session's power now has a choice.
 * The item is the caller's until an agenda takes it (brox_agenda_add_item).
 * Returns null, building nothing, for a null session or parent, a
 * unit_index not below the Position's unit_count, an order that is not one
 * of that unit's own candidate records, or lack of memory. */
BROX_API AgendaItem *brox_agenda_item_new(Session *session, AgendaItem *parent,
                                          uint16_t unit_index, Order *order);

/* Puts an item into the agenda, which then owns it.  Not taken (the item
 * stays the caller's, the agenda unchanged) when the agenda already holds
 * an item with the same choices, when the item is already in an agenda,
 * when it searches another Position than the items the agenda holds, or
 * when either argument is null.  Nothing is scored: set item->score first.
 * lum_avl_find(&agenda->by_choice, item) == item tells whether it was
 * taken. */
BROX_API void brox_agenda_add_item(Agenda *agenda, AgendaItem *item);

/* Scores and adds every successor of `item` (as brox_agenda_step does
 * after taking the best item out): for each unit the item expands, one
 * successor per candidate, scored by adjudicating with all other units
 * ordered as the item chooses.  Successors whose choices are already in
 * the agenda are dropped.  Afterwards every Unit's order is the item's
 * choice (hold where it has none).  `item` itself is not added or freed.
 * Does nothing for a null argument or an item that searches another
 * Position than the items the agenda holds. */
BROX_API void brox_agenda_add_successors(Session *session, Agenda *agenda, AgendaItem *item);

/* Takes the best item (the last of by_score) out of the agenda and adds
 * its successors.  Returns 1; 0 when the agenda is empty or an argument is
 * null (nothing done).  The item taken out belongs to the caller from now
 * on: read it beforehand, then keep it or free it with
 * brox_agenda_item_free(item, 1). */
BROX_API int brox_agenda_step(Session *session, Agenda *agenda);

/* Frees the agenda and every item still in it.  Not the Position, and not
 * the items taken out by steps.  Null does nothing. */
BROX_API void brox_agenda_free(Agenda *agenda);

/* Frees an item when `release` is non-zero; with 0 does nothing (it also
 * serves as the release function when the agenda's trees are emptied).
 * An item still in an agenda is not freed (the agenda frees it), nor is
 * null. */
BROX_API void brox_agenda_item_free(AgendaItem *item, int release);

/* ===================================================================
 * Referee: one whole game in-process
 *
 * A BroxReferee holds one game (its Map, the supply-centre ownership, the
 * current Position and the orders each power has given for it) and
 * applies every rule the game server (brox-server) applies, so that a
 * program can play whole games without a server: a tournament, a test, a
 * learning loop.  brox-server itself plays through these calls.
 *
 *   BroxReferee *game = brox_referee_load("maps/standard", &error);
 *   brox_referee_set_years(game, 10);
 *   while (!brox_referee_over(game)) {
 *       Position *position = brox_referee_position(game);
 *       for (uint16_t u = 0; u < position->unit_count; u++) {
 *           Order *choice = brox_candidate_first(position->units[u]); // or any candidate
 *           if (choice) brox_referee_order(game, u, choice, NULL);
 *       }
 *       if (!brox_referee_step(game)) break;             // brox_referee_failure says why
 *       // brox_referee_last_*: what became of the phase just resolved
 *   }
 *   brox_referee_free(game);
 *
 * The rules, in the order a phase meets them:
 *   Orders.  A power's orders are given unit by unit as candidates
 *     (brox_referee_order) or as one orders message (the server's way,
 *     brox_referee_orders_message).  Every order must be one of the unit's
 *     candidates (for a winter build slot: a BUILD or WAIVE candidate of
 *     the power's FIRST slot), and besides:
 *     - summer and autumn: only dislodged units are ordered (the others
 *       have no candidates);
 *     - winter: at most one build per province, at most as many builds and
 *       waives as the power has build slots (builds beyond the allowance
 *       are refused), and no more removals than are due.
 *     A refused order changes nothing: the unit keeps what it had.  Each
 *     refusal is kept with its reason (REFUSAL_ below) for the record.
 *   Defaults.  At brox_referee_step every unit without an order holds, a
 *     dislodged one disbands and a build slot waives.  A power that must
 *     remove units and has ordered fewer removals than are due has the
 *     rest removed for it: its units farthest from its home centres first
 *     (moves from the nearest of its home centres as Map.home_distance
 *     counts them, but 0 on a home centre itself; no path at all counts as
 *     farthest); at equal distance fleets before armies, then the lower
 *     province index first.  Keeping a unit (ORD_HOLD) does not protect it.
 *   Retreats.  After a movement phase each dislodged unit is offered a
 *     RETREAT to each place adjacent to it whose province, after the moves,
 *     has no unit standing in it, is not the province its attacker came
 *     from, and saw no bounce (a standoff leaves a province empty but
 *     closed); and DISBAND.  Two or more retreats into one province all
 *     fail: the units are gone.
 *   Winter.  Ownership changes after the fall and autumn as the
 *     adjudicator works it out (brox_adjudicate); a winter with nothing to
 *     adjust is skipped.  Build slots: see the Unit record.
 *   End.  After each step the game is over when one power owns more than
 *     half the supply centres (END_MAJORITY), or when the spring of the
 *     opening year plus the years set by brox_referee_set_years has come
 *     (END_LAST_YEAR).  A game over takes no more orders or steps.
 *
 * Ownership and lifetimes: the referee owns everything it builds.  The
 * Positions, messages and records it hands out (refusal bytes included)
 * stay valid until the next brox_referee_step, brox_referee_restart or
 * brox_referee_free.  The messages
 * given to brox_referee_new and brox_referee_orders_message stay the
 * caller's; they are copied or read during the call only.  One referee is
 * used by one thread at a time; separate referees share nothing.  Memory:
 * a few Positions and small tables per referee; a step builds the next
 * Position and frees the one before last, and nothing is allocated per
 * order (the table of refused orders grows to the largest phase seen and
 * is reused).
 * =================================================================== */

typedef struct BroxReferee BroxReferee; /* opaque: brox_referee_new / brox_referee_free */

/* Why an order was refused.  brox_refusal_text gives the words the game
 * record uses. */
#define REFUSAL_NONE 0             /* taken */
#define REFUSAL_NO_UNIT 1          /* "names no unit of this power that may be ordered" */
#define REFUSAL_OTHER_POWER 2      /* "a unit of another power" */
#define REFUSAL_SECOND_ORDER 3     /* "a second order for one unit" (one orders message) */
#define REFUSAL_NOT_LEGAL 4        /* "not a legal order for this unit" */
#define REFUSAL_TOO_MANY_REMOVALS 5 /* "more removals than are due" */
#define REFUSAL_NO_SLOT 6          /* "no build slot left" */
#define REFUSAL_NOT_A_HOME 7       /* "not a place this power may build in" */
#define REFUSAL_SECOND_BUILD 8     /* "a second build in one province" */
#define REFUSAL_NOT_ADJUSTMENT 9   /* "not an adjustment" */
#define REFUSAL_EARLIER_PHASE 10   /* "orders for an earlier phase" */
#define REFUSAL_GAME_OVER 11       /* "the game is over" (never recorded) */

/* What became of an order, in the words of the game record
 * (brox_outcome_text):
 *   spring, fall   hold: HELD, or DISLODGED when the unit was dislodged;
 *                  move, move by convoy: MOVED, BOUNCED, or NO_SUCH_ORDER
 *                  for a convoyed move its route did not carry; support:
 *                  SUPPORTED, CUT, NO_SUCH_ORDER or DISLODGED (the
 *                  supporter was overpowered); convoy: CARRIED when its
 *                  army moved along a route through it, else NOT_CARRIED
 *   summer, autumn RETREATED, BOUNCED (retreats into one province), DISBANDED;
 *                  a unit that was not dislodged HELD
 *   winter         BUILT, REMOVED, WAIVED, HELD */
#define OUTCOME_HELD 1
#define OUTCOME_MOVED 2
#define OUTCOME_BOUNCED 3
#define OUTCOME_SUPPORTED 4
#define OUTCOME_CUT 5
#define OUTCOME_NO_SUCH_ORDER 6
#define OUTCOME_DISLODGED 7
#define OUTCOME_CARRIED 8
#define OUTCOME_NOT_CARRIED 9
#define OUTCOME_RETREATED 10
#define OUTCOME_DISBANDED 11
#define OUTCOME_BUILT 12
#define OUTCOME_REMOVED 13
#define OUTCOME_WAIVED 14

/* Why a game is over (brox_referee_over, brox_end_text). */
#define END_NONE 0      /* not over */
#define END_MAJORITY 1  /* "one power owns more than half the supply centres" */
#define END_LAST_YEAR 2 /* "the last year has been played" */

#define REFEREE_NO_UNIT 0xFFFF /* no unit: BroxOrderResult.dislodged_by */

/* What became of one unit's order in the phase last resolved. */
typedef struct BroxOrderResult {
    uint16_t outcome;       /* OUTCOME_ word */
    uint16_t resolution;    /* the adjudicator's RES_ token for the order */
    uint8_t from_bot;       /* 1: the power gave it; 0: the referee's default */
    uint8_t dislodged;      /* movement phases: 1 when this phase's moves dislodged the unit */
    uint16_t dislodged_by;  /* unit index (same Position) of the unit that dislodged it; REFEREE_NO_UNIT */
    uint16_t retreat_count; /* places it is offered in the retreat phase that follows */
    uint16_t retreats[MAX_RETREATS]; /* their location indices (Map.locations), in the order offered */
} BroxOrderResult;

/* What one power did in the phase last resolved. */
typedef struct BroxPowerOrders {
    uint8_t due;       /* it had something to order (see brox_referee_orders_due) */
    uint8_t received;  /* orders for this phase came: a message, or brox_referee_order */
    uint16_t entries;  /* entries of its last orders message, or orders given one by one */
    uint16_t refused;  /* entries refused, orders for an earlier phase included */
    uint16_t refusals; /* refusals kept (brox_referee_last_refusal); the first 200 */
    uint16_t builds;   /* winter: builds it ordered and that were taken */
    uint16_t removals; /* winter: removals it ordered and that were taken (not the referee's) */
} BroxPowerOrders;

/* One refused order.  `bytes` is the order as given, laid out as one
 * 244-byte entry of an orders message (MSG_ORDERS):
 *   0-1 the unit's power, 2-3 unit type, 4-5 province TOKEN, 6-7 coast,
 *   8-11 dislodged; 96-97 order token; 98-99 target province token
 *   (TARGET_NONE for none), 100-101 target coast; 104-115 the other unit
 *   (supported or convoyed), as bytes 0-11; 200-201 route length,
 *   202-241 the route's province tokens.  All little-endian.
 * Orders refused by brox_referee_order are written the way
 * brox_order_submit writes them. */
typedef struct BroxRefusal {
    uint16_t entry;       /* its place in its orders message, from 1; or, one by one, the count of orders given so far */
    uint16_t refusal;     /* REFUSAL_ code */
    const uint8_t *bytes; /* the entry as given, 244 bytes; owned by the referee */
} BroxRefusal;

/* Creates a game from three messages, each from its type word with `size`
 * bytes as brox-mapgen writes them: the map definition, the centre
 * ownership and the opening position.  Each must be of its type, with a
 * length field equal to its size; every entry is checked against the Map
 * (powers, provinces, coasts, one standing unit per province, dislodged
 * units only in a retreat season, at most MAX_UNITS units, a season of the
 * five).  Maps of more than 100 supply centres are played (winter's build
 * slots then follow the rule of the Unit record).  The messages stay the
 * caller's.  Returns the game, or null with a text naming the message and
 * what is wrong in *error (error may be null; the text is kept per thread
 * until the next brox_referee_new or brox_referee_load on the thread) for
 * a missing or malformed message or lack of memory.  Free it with
 * brox_referee_free. */
BROX_API BroxReferee *brox_referee_new(const uint8_t *map_message, size_t map_size,
                                       const uint8_t *centres_message, size_t centres_size,
                                       const uint8_t *position_message, size_t position_size,
                                       const char **error);

/* brox_referee_new from a map folder as brox-mapgen --out writes it:
 * map.bin, centres.bin and position.bin (layout.json is not read).  Null,
 * with what is wrong in *error (the file named; kept as above), when a
 * file is missing, unreadable, larger than a message can be, or refused as
 * above.  A null folder is refused the same way. */
BROX_API BroxReferee *brox_referee_load(const char *folder, const char **error);

/* Frees the game, its Positions and tables.  Null does nothing.  Every
 * pointer the referee handed out dies with it. */
BROX_API void brox_referee_free(BroxReferee *referee);

/* Starts the game again from its opening (the messages it was created
 * from): the current Position is the opening, no orders are given, the
 * last phase is forgotten and the game is not over; the years set stay.
 * Cheaper than a new referee: the Map is kept.  Every pointer into the
 * earlier Positions dies.  Returns 1; 0 for a null referee or lack of
 * memory (the game then goes on as it was). */
BROX_API int brox_referee_restart(BroxReferee *referee);

/* The game ends at the spring of (opening year + years): after `years`
 * years have been played.  0 (the default): no limit.  Returns 1; 0 for a
 * null referee or a last year beyond 65535 (nothing changed). */
BROX_API int brox_referee_set_years(BroxReferee *referee, uint16_t years);

/* The current phase: every Unit with its candidates, as brox_adjudicate
 * builds Positions, dislodged units offered their retreats.  Owned by the
 * referee; valid until the next step or free.  Read it and pass its Units'
 * candidates to brox_referee_order; writing its units' `order` fields
 * gives no order (the referee keeps its own).  After the game is over it is
 * the final Position.  Null for a null referee. */
BROX_API Position *brox_referee_position(BroxReferee *referee);

/* The current phase as the server sends it to bots: its MSG_POSITION (the
 * retreat options of dislodged units listed) and its MSG_CENTRE_OWNERSHIP
 * (in a game of twelve or more powers unowned centres are left out, as 11
 * is a power there), each from its type word, *size bytes.  Owned by the
 * referee; valid until the next step or free.  Null, *size 0, for a null
 * referee; size may be null. */
BROX_API const uint8_t *brox_referee_position_message(const BroxReferee *referee, size_t *size);
BROX_API const uint8_t *brox_referee_centres_message(const BroxReferee *referee, size_t *size);

/* Supply centres the power owns in the current phase; 0 for a null
 * referee or a power not below the Map's power_count. */
BROX_API uint16_t brox_referee_centre_count(const BroxReferee *referee, uint16_t power);

/* Whether the power has anything to order in the current phase: a unit in
 * a movement phase, a dislodged unit in a retreat phase, removals due, or
 * builds due with a free home centre to build in.  1 or 0 (0 too for a
 * null referee, a power out of range, or a game over). */
BROX_API int brox_referee_orders_due(const BroxReferee *referee, uint16_t power);

/* Whether orders for the current phase have come from the power: an orders
 * message for this phase (even one whose every entry was refused) or an
 * order taken or refused by brox_referee_order.  1 or 0. */
BROX_API int brox_referee_orders_received(const BroxReferee *referee, uint16_t power);

/* Gives unit `unit` (an index into brox_referee_position's units) the
 * order `order`, which must be one of that Unit's own candidate records
 * (from brox_candidate_first/next; a copy is refused), or for a build slot
 * a BUILD or WAIVE candidate of its power's first build slot.  An order
 * given earlier in this phase to the same unit is replaced.  Returns 1
 * when taken; 0 when refused, with the REFUSAL_ code in *refusal (refusal
 * may be null).  Refusals under the rules above are kept for the record
 * (brox_referee_last_refusal); bad arguments are refused without a trace:
 * a null referee or an index beyond the units (REFUSAL_NO_UNIT), a null
 * order or one that is not such a candidate record (REFUSAL_NOT_LEGAL; it
 * is read to look it up, so it must point at a readable Order), a game
 * over (REFUSAL_GAME_OVER).  Nothing is allocated, except that the table
 * of refusals kept for the record may grow. */
BROX_API int brox_referee_order(BroxReferee *referee, uint16_t unit, const Order *order, uint16_t *refusal);

/* Gives the power's orders as one orders message (MSG_ORDERS, from its type
 * word, `size` bytes, as a bot's brox_order_submit sends it), chosen for
 * the phase `season`, `year`.  For the current phase the message replaces
 * everything the power gave in this phase: each entry must name a unit of
 * the power and one of its candidates (the server's rules above); a
 * second entry for one unit is refused.  Orders chosen for any other
 * phase change nothing: every entry is refused as "orders for an earlier
 * phase" and kept for the record (only the latest such message per phase).
 * Returns 1 when the message was read; 0, nothing changed, for a null
 * referee or message, a power out of range, a game over, or a message that
 * cannot be read (not MSG_ORDERS, its length not `size`, more than
 * MAX_UNITS entries, or not as many as its length holds). */
BROX_API int brox_referee_orders_message(BroxReferee *referee, uint16_t power, const uint8_t *message,
                                         size_t size, uint16_t season, uint16_t year);

/* Resolves the current phase: defaults for every unit without an order
 * (and the removals a power left out), adjudication, the retreats offered,
 * the next phase, and the end conditions.  The phase resolved becomes the
 * last phase (brox_referee_last_*), the next one current.  Returns 1; 0 for
 * a null referee, a game over, lack of memory, or a next phase that cannot
 * be built; the game is then as it was before the call, and
 * brox_referee_failure says which. */
BROX_API int brox_referee_step(BroxReferee *referee);

/* Why the last brox_referee_step returned 0, as text: "out of memory" only
 * when an allocation was refused during that step, "the game is over", or
 * "no next position could be built from the spring 1903 phase" (season and
 * year of the phase that stays current).  Null when the last step
 * succeeded, before any step, and for a null referee.  Owned by the
 * referee, valid until its next step, restart or free. */
BROX_API const char *brox_referee_failure(const BroxReferee *referee);

/* END_NONE (0) while the game goes on; otherwise why it is over.  0 for a
 * null referee. */
BROX_API uint16_t brox_referee_over(const BroxReferee *referee);

/* The phase last resolved, every Unit's `order` as it was used (defaults
 * included); null before the first step.  Owned by the referee, valid
 * until the next step or free; read it only. */
BROX_API Position *brox_referee_last_position(const BroxReferee *referee);

/* What became of the order of unit `unit` of the last Position.  Returns 1
 * and fills *out; 0 (nothing written) before the first step, for a null
 * argument or an index beyond the last Position's units. */
BROX_API int brox_referee_last_result(const BroxReferee *referee, uint16_t unit, BroxOrderResult *out);

/* What power `power` ordered in the phase last resolved.  Returns 1 and
 * fills *out; 0 before the first step, for a null argument or a power not
 * below the Map's power_count. */
BROX_API int brox_referee_last_orders(const BroxReferee *referee, uint16_t power, BroxPowerOrders *out);

/* Refusal `index` (from 0, below BroxPowerOrders.refusals) of the power in
 * the phase last resolved: those of orders for an earlier phase first, then
 * the others in the order they were given.  Returns 1 and fills *out; 0 for
 * a null argument or an index out of range. */
BROX_API int brox_referee_last_refusal(const BroxReferee *referee, uint16_t power, uint16_t index,
                                       BroxRefusal *out);

/* The words of an OUTCOME_, REFUSAL_ or END_ code, as the game record
 * writes them (constant text); "?" for a code that is none of them. */
BROX_API const char *brox_outcome_text(uint16_t outcome);
BROX_API const char *brox_refusal_text(uint16_t refusal);
BROX_API const char *brox_end_text(uint16_t end);

#ifdef __cplusplus
}
#endif

#endif /* BROX_H */
