/*
 * brox.h -- the Brox library's public interface.
 *
 * Everything a bot may call or read: tokens and constants, the records the
 * library keeps (Map, CentreTable, Position, Unit, Order, Agenda, Session),
 * the intrusive trees those records embed, and the exported brox_ calls.
 * What is not declared here is private.  Usable from C and C++.
 */
#ifndef BROX_H
#define BROX_H

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

/* Seasons (category 0x47). */
#define SEASON_SPRING 0x0047   /* spring movement */
#define SEASON_SUMMER 0x0147   /* retreats after spring */
#define SEASON_FALL 0x0247     /* fall movement */
#define SEASON_AUTUMN 0x0347   /* retreats after fall */
#define SEASON_WINTER 0x0447   /* adjustments */

/* Message types (category 0x48). */
#define MSG_GOF 0x0348
#define MSG_ASSIGNMENT 0x0448
#define MSG_REJOIN 0x0748
#define MSG_MAP_NAME 0x0948
#define MSG_MAP_DEFINITION 0x0A48
#define MSG_JOIN 0x0C48
#define MSG_POSITION 0x0E48
#define MSG_SESSION_END 0x1048
#define MSG_CENTRE_OWNERSHIP 0x1548
#define MSG_GAME_END 0x1648
#define MSG_ORDERS 0x1848

/* Category 0x58. */
#define TARGET_NONE 0x0158             /* target slot of an order without target */
#define POSITION_REQUEST_SEASON 0x0258 /* season slot of the position request */

/* Coast codes: plain 16-bit values, not tokens. */
#define COAST_ARMY 0x0001  /* where an army stands in a land province */
#define COAST_SEA 0x0002   /* fleet location of a province that is not coastal */
#define COAST_SHORE 0x0004 /* fleet location of a coastal province */
#define COAST_ANY 0x8000   /* bit 15: no coast given */

/* Record kinds (record byte 0). */
#define KIND_MESSAGE 2
#define KIND_STOP_A 3
#define KIND_STOP_B 4
#define KIND_EVENT 5

/* Message flags (message offset 4). */
#define FLAG_PLAIN 1
#define FLAG_ACCEPT 2
#define FLAG_REJECT 3
#define FLAG_SUBMIT 4

/* Connection event codes (KIND_EVENT record bytes 5-6). */
#define EVENT_CONNECT 1
#define EVENT_OUT_OF_MEMORY 3
#define EVENT_CONNECTION_LOST 7

/* Province terrain bits, centre kinds and neighbour flags. */
#define TERRAIN_LAND 1
#define TERRAIN_WATER 2
#define CENTRE_NONE 0
#define CENTRE_NEUTRAL 1
#define CENTRE_HOME 2
#define ADJ_LAND 1
#define ADJ_WATER 2

#define DISTANCE_UNREACHABLE 255 /* distance tables: no path shorter than 255 moves */
#define POWER_UNOWNED 11         /* centre-ownership entry of an unowned centre */

/* ===================================================================
 * Intrusive AVL trees of the client library
 *
 * A tree header is embedded in a record (every Unit, the Agenda) and a node
 * in each item.  Ascending iteration: the first item is the header's
 * `first` node less `node_offset`; lum_avl_next gives the following ones.
 * The trees are implemented by the client library (libvorn).
 * =================================================================== */

typedef struct LumAvlNode {
    struct LumAvlNode *left;   /* left child */
    struct LumAvlNode *right;  /* right child */
    struct LumAvlNode *parent; /* parent, null at the root */
    int16_t height;            /* -1 before insertion; the tree's own use */
    int16_t spare;             /* -1 before insertion; the tree's own use */
} LumAvlNode;

/* Compares two items (never nodes): negative, 0 or positive. */
typedef int (*LumAvlCompare)(const void *a, const void *b);
/* Called once per item when a subtree is emptied. */
typedef void (*LumAvlRelease)(void *item, int arg);

typedef struct LumAvlTree {
    LumAvlCompare compare; /* item comparison */
    LumAvlNode *root;      /* root node, null when empty */
    LumAvlNode *first;     /* node of the lowest item */
    LumAvlNode *last;      /* node of the highest item */
    uint16_t reserved;     /* set to 0 */
    uint16_t node_offset;  /* byte offset of the node inside an item */
    uint32_t count;        /* number of items */
} LumAvlTree;

/* The item pointer for a node of a tree (null stays null). */
#define LUM_AVL_ITEM(tree, node) \
    ((node) ? (void *)((char *)(node) - (tree)->node_offset) : (void *)0)

void *lum_avl_find(LumAvlTree *tree, const void *key_item);
void *lum_avl_insert(LumAvlTree *tree, LumAvlNode *node);
void *lum_avl_remove(LumAvlTree *tree, LumAvlNode *node);
void *lum_avl_next(LumAvlTree *tree, LumAvlNode *node);
int lum_avl_node_empty(LumAvlTree *tree, LumAvlNode *root, LumAvlRelease release, int arg);

/* ===================================================================
 * Map: the fixed geography of one game
 * Built by the session from the map definition; released by brox_terminate.
 * =================================================================== */

struct Province;

typedef struct ProvinceNeighbour {
    struct Province *province; /* the neighbouring province */
    uint8_t flags;             /* ADJ_LAND, ADJ_WATER */
} ProvinceNeighbour;

typedef struct Province {
    uint16_t token;           /* province token as the definition gives it */
    uint8_t terrain;          /* TERRAIN_LAND | TERRAIN_WATER: 1 inland, 2 sea, 3 coastal */
    uint8_t centre_kind;      /* CENTRE_NONE, CENTRE_NEUTRAL or CENTRE_HOME */
    uint16_t home_power;      /* home power of a home centre; power_count otherwise */
    uint16_t neighbour_count; /* entries used in neighbours */
    ProvinceNeighbour neighbours[MAX_ADJACENT]; /* provinces one move away, first mention first */
} Province;

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
    uint16_t power_count;                             /* powers, 0 to 20 */
    uint16_t centre_count;                            /* provinces that are supply centres */
    uint8_t distance[MAX_PROVINCES][MAX_PROVINCES];   /* fewest moves a to b; 255 none */
    uint8_t home_distance[MAX_POWERS][MAX_PROVINCES]; /* fewest moves from a home centre; 255 none */
} Map;

/* ===================================================================
 * CentreTable: supply-centre ownership per power, reference-counted
 * centre_table_build creates it (ref_count 0); holders retain and release.
 * =================================================================== */

typedef struct CentreList {
    uint16_t count;                    /* centres owned */
    uint16_t provinces[MAX_PROVINCES]; /* their province indices, as listed */
} CentreList;

typedef struct CentreTable {
    CentreList *lists[MAX_POWERS]; /* one per power of the Map */
    uint16_t ref_count;            /* holders; 0 when just built */
} CentreTable;

/* ===================================================================
 * Orders and Positions
 * position_build creates a Position; brox_position_free releases it with
 * its Units and their candidate Orders.
 * =================================================================== */

struct LocationState;
struct ProvinceState;
struct Unit;

typedef struct Order {
    uint16_t token;                        /* ORD_ token */
    struct LocationState *target;          /* place the order is about, or null */
    struct Unit *other_unit;               /* unit supported or convoyed, or null */
    uint16_t route_length;                 /* entries used in route, 0 to 20 */
    struct ProvinceState *route[MAX_ROUTE]; /* convoying fleets' provinces, army side first */
    LumAvlNode node;                       /* link in the Unit's candidates tree */
} Order;

typedef struct ProvinceState {
    Province *province;           /* the Map's province of the same index */
    struct Unit *unit;            /* unit standing here, not dislodged; or null */
    struct Unit *dislodged_unit;  /* dislodged unit here, or null */
    struct Unit *reach[MAX_UNITS]; /* units that can move here: adjacency first, then convoys */
    uint16_t reach_count;         /* entries used in reach */
    uint16_t direct_reach_count;  /* entries found by adjacency */
    uint16_t owner;               /* power owning the centre; power_count if none */
} ProvinceState;

typedef struct LocationState {
    Location *location;             /* the Map's Location of the same index */
    ProvinceState *province;        /* state of the province it lies in */
    uint16_t coast;                 /* copy of the Location's coast */
} LocationState;

typedef struct Unit {
    uint16_t unit_type;      /* UNIT_ARMY or UNIT_FLEET */
    uint16_t power;          /* power index */
    LocationState *location; /* where it stands; null for a build slot */
    uint32_t dislodged;      /* non-zero: dislodged, must retreat or disband */
    LumAvlTree candidates;   /* candidate Orders, sorted by order comparison */
    Order order;             /* chosen order, held by value */
    uint32_t result;         /* working field of the adjudicator and convoy search */
} Unit;

typedef struct Position {
    Map *map;                                 /* the Map it was built on */
    uint16_t year;                            /* year */
    uint16_t season;                          /* SEASON_ token */
    ProvinceState provinces[MAX_PROVINCES];   /* by province index */
    LocationState locations[MAX_LOCATIONS];   /* by location index */
    uint16_t unit_count;                      /* Units used */
    Unit *units[MAX_UNITS];                   /* message units in order, then build slots */
    int16_t adjustment[MAX_POWERS];           /* winter: centres minus units per power */
    uint16_t unit_counts[MAX_POWERS];         /* units per power, dislodged included */
    CentreTable *centres;                     /* ownership it was built with (one reference) */
} Position;

/* ===================================================================
 * Agenda search
 * brox_agenda_new creates an Agenda; brox_agenda_free releases it with its
 * items.  An item taken out by brox_agenda_step is released with
 * brox_agenda_item_free(item, 1).
 * =================================================================== */

/* The bot's scoring function: higher is better. */
typedef uint32_t (*BroxScoreFn)(Position *position, void *user_data);

typedef struct Agenda {
    LumAvlTree by_score;  /* items by score, then choices; best is last */
    LumAvlTree by_choice; /* items by choice vector */
    BroxScoreFn score_fn; /* the bot's scoring callback */
    void *user_data;      /* passed to every score_fn call */
} Agenda;

typedef struct AgendaItem {
    LumAvlNode score_node;     /* link in by_score */
    LumAvlNode choice_node;    /* link in by_choice */
    Position *position;        /* the Position searched; not owned */
    Order *choices[MAX_UNITS]; /* per unit index: chosen candidate, null = hold */
    uint32_t score;            /* score_fn result */
    int32_t complete;          /* 1 once every unit of the searching power has a choice */
} AgendaItem;

/* ===================================================================
 * Session: the bot's record for one game
 * brox_initialise prepares it; brox_terminate releases what it built.
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

/* Disposes of a delivered record. */
typedef void (*BroxReleaseMsg)(uint8_t *record);

typedef struct Session {
    uint8_t assignment[40];   /* last MSG_ASSIGNMENT from its type word; power at 6, passcode at 8 */
    uint8_t *map_name_msg;    /* MSG_MAP_NAME record kept until answered */
    Map *map;                 /* from MSG_MAP_DEFINITION; null until built */
    Position *position;       /* from the latest MSG_POSITION */
    CentreTable *centres;     /* from the latest MSG_CENTRE_OWNERSHIP (one reference) */
    BroxReleaseMsg release_msg; /* the bot's release routine */
    int32_t rejoining;        /* 1 while rejoining */
    const char *name;         /* bot name, not copied */
    const char *version;      /* bot version text, not copied */
} Session;

/* ===================================================================
 * Memory held between calls
 *
 * Everything the library builds for the bot (Positions, Agendas, items)
 * is freed by the calls named beside its record.  Besides that, each
 * thread that builds Positions keeps up to 32 of the large blocks it has
 * released (16 KiB or more each, at most 8 MiB in all) and reuses them for
 * the next Positions it builds, so that a search does not hand memory back
 * to the system and fault it in again on every trial.  On a 75-province
 * map a thread keeps from about 0.3 MiB (an opening) to 1.5 MiB (a search
 * on a crowded mid-game) after its last call; the blocks are released when
 * the thread ends.  brox_agenda_add_successors (and so
 * brox_agenda_step) keeps the Position of its latest trial only while it
 * runs.  Nothing else outlives a call.
 * =================================================================== */

/* ===================================================================
 * Exported calls
 * =================================================================== */

/* Session */
BROX_API int brox_initialise(Session *session, BroxReleaseMsg release_msg);
BROX_API int brox_game_join(Session *session, const char *name, const char *version);
BROX_API void brox_process_msg(Session *session, uint8_t *record, int *keep_running,
                               int *release_record);
BROX_API void brox_terminate(Session *session);
BROX_API int brox_build_send_gof(uint32_t value);
BROX_API uint16_t brox_rand(uint16_t lo, uint16_t hi);

/* World model */
/* Frees a Position, its Units and every candidate Order; releases its
 * CentreTable reference.  The Map is not touched. */
BROX_API void brox_position_free(Position *position);
/* Releases one candidate Order taken out of its set; the first argument is
 * not read.  Candidate Orders are stored with their Position: the record
 * must not be used afterwards, and its memory returns when the Position is
 * freed. */
BROX_API void brox_position_free_order(void *first, Order *order);

/* Adjudication */
BROX_API Position *brox_adjudicate(Position *position);

/* Orders and search */
BROX_API void brox_order_submit(void *first, Position *position, uint16_t power);
BROX_API Agenda *brox_agenda_new(Position *position, BroxScoreFn score_fn, void *user_data);
BROX_API AgendaItem *brox_agenda_item_new(Session *session, AgendaItem *parent,
                                          uint16_t unit_index, Order *order);
BROX_API void brox_agenda_add_item(Agenda *agenda, AgendaItem *item);
BROX_API void brox_agenda_add_successors(Session *session, Agenda *agenda, AgendaItem *item);
BROX_API int brox_agenda_step(Session *session, Agenda *agenda);
BROX_API void brox_agenda_free(Agenda *agenda);
BROX_API void brox_agenda_item_free(AgendaItem *item, int release);

#ifdef __cplusplus
}
#endif

#endif /* BROX_H */
