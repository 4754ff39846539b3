"""The cffi description of the Brox library for the ``brox`` package.

Run by the CMake build (``python3 build_ffi.py OUT.c``, which writes the C
source of the extension ``brox._brox``) and by ``setup.py`` (as its
``cffi_modules``).  The records below repeat ``brox.h`` field by field; the
extension is compiled in API mode, so the compiler sees both: a field of
another type is a compile error, and every offset and size is compared with
the compiler's when ``brox`` is imported (``brox._lib`` realises every
record before anything else runs).  The constants are taken from the
header itself (``...``).
"""
import os
import sys

import cffi

HERE = os.path.dirname(os.path.abspath(__file__))

CONSTANTS = """
#define MAX_PROVINCES ...
#define MAX_POWERS ...
#define MAX_LOCATIONS ...
#define MAX_ADJACENT ...
#define MAX_UNITS ...
#define MAX_RETREATS ...
#define MAX_ROUTE ...
#define UNIT_ARMY ...
#define UNIT_FLEET ...
#define ORD_CONVOY_MOVE ...
#define ORD_CONVOY ...
#define ORD_HOLD ...
#define ORD_MOVE ...
#define ORD_SUPPORT ...
#define ORD_DISBAND ...
#define ORD_RETREAT ...
#define ORD_BUILD ...
#define ORD_REMOVE ...
#define ORD_WAIVE ...
#define RES_SUCCESS ...
#define RES_BOUNCE ...
#define RES_CUT ...
#define RES_NO_SUCH_ORDER ...
#define RES_DISLODGED ...
#define SEASON_SPRING ...
#define SEASON_SUMMER ...
#define SEASON_FALL ...
#define SEASON_AUTUMN ...
#define SEASON_WINTER ...
#define MSG_GOF ...
#define MSG_ASSIGNMENT ...
#define MSG_REJOIN ...
#define MSG_MAP_NAME ...
#define MSG_MAP_DEFINITION ...
#define MSG_JOIN ...
#define MSG_POSITION ...
#define MSG_SESSION_END ...
#define MSG_CENTRE_OWNERSHIP ...
#define MSG_GAME_END ...
#define MSG_ORDERS ...
#define TARGET_NONE ...
#define COAST_ARMY ...
#define COAST_SEA ...
#define COAST_SHORE ...
#define COAST_ANY ...
#define KIND_MESSAGE ...
#define KIND_STOP_A ...
#define KIND_STOP_B ...
#define KIND_EVENT ...
#define FLAG_PLAIN ...
#define TERRAIN_LAND ...
#define TERRAIN_WATER ...
#define CENTRE_NONE ...
#define CENTRE_NEUTRAL ...
#define CENTRE_HOME ...
#define ADJ_LAND ...
#define ADJ_WATER ...
#define DISTANCE_UNREACHABLE ...
#define POWER_UNOWNED ...
#define POWER_NONE ...
#define REFUSAL_NONE ...
#define REFUSAL_NO_UNIT ...
#define REFUSAL_OTHER_POWER ...
#define REFUSAL_SECOND_ORDER ...
#define REFUSAL_NOT_LEGAL ...
#define REFUSAL_TOO_MANY_REMOVALS ...
#define REFUSAL_NO_SLOT ...
#define REFUSAL_NOT_A_HOME ...
#define REFUSAL_SECOND_BUILD ...
#define REFUSAL_NOT_ADJUSTMENT ...
#define REFUSAL_EARLIER_PHASE ...
#define REFUSAL_GAME_OVER ...
#define OUTCOME_HELD ...
#define OUTCOME_MOVED ...
#define OUTCOME_BOUNCED ...
#define OUTCOME_SUPPORTED ...
#define OUTCOME_CUT ...
#define OUTCOME_NO_SUCH_ORDER ...
#define OUTCOME_DISLODGED ...
#define OUTCOME_CARRIED ...
#define OUTCOME_NOT_CARRIED ...
#define OUTCOME_RETREATED ...
#define OUTCOME_DISBANDED ...
#define OUTCOME_BUILT ...
#define OUTCOME_REMOVED ...
#define OUTCOME_WAIVED ...
#define END_NONE ...
#define END_MAJORITY ...
#define END_LAST_YEAR ...
#define REFEREE_NO_UNIT ...
"""

# The records, in the order and with the widths of brox.h.  Array lengths
# are written out, so that a capacity changed in the header shows up as a
# size mismatch at import.
RECORDS = """
typedef struct LumAvlNode {
    struct LumAvlNode *left;
    struct LumAvlNode *right;
    struct LumAvlNode *parent;
    int16_t height;
    int16_t spare;
} LumAvlNode;
typedef int (*LumAvlCompare)(const void *a, const void *b);
typedef struct LumAvlTree {
    LumAvlCompare compare;
    LumAvlNode *root;
    LumAvlNode *first;
    LumAvlNode *last;
    uint16_t reserved;
    uint16_t node_offset;
    uint32_t count;
} LumAvlTree;

struct Province;
typedef struct ProvinceNeighbour {
    struct Province *province;
    uint8_t flags;
} ProvinceNeighbour;
typedef struct Province {
    uint16_t token;
    uint8_t terrain;
    uint8_t centre_kind;
    uint16_t home_power;
    uint16_t neighbour_count;
    ProvinceNeighbour neighbours[20];
} Province;
typedef struct Location {
    uint16_t index;
    Province *province;
    uint16_t coast;
    uint16_t adjacent_count;
    struct Location *adjacent[20];
} Location;
typedef struct Map {
    uint16_t province_count;
    Province provinces[300];
    uint16_t location_count;
    Location locations[600];
    uint16_t power_count;
    uint16_t centre_count;
    uint8_t distance[300][300];
    uint8_t home_distance[20][300];
} Map;

typedef struct CentreList {
    uint16_t count;
    uint16_t provinces[300];
} CentreList;
typedef struct CentreTable {
    CentreList *lists[20];
    uint16_t ref_count;
} CentreTable;

struct LocationState;
struct ProvinceState;
struct Unit;
typedef struct Order {
    uint16_t token;
    struct LocationState *target;
    struct Unit *other_unit;
    uint16_t route_length;
    struct ProvinceState *route[20];
    LumAvlNode node;
} Order;
typedef struct ProvinceState {
    Province *province;
    struct Unit *unit;
    struct Unit *dislodged_unit;
    struct Unit *reach[100];
    uint16_t reach_count;
    uint16_t direct_reach_count;
    uint16_t owner;
} ProvinceState;
typedef struct LocationState {
    Location *location;
    ProvinceState *province;
    uint16_t coast;
} LocationState;
typedef struct Unit {
    uint16_t unit_type;
    uint16_t power;
    LocationState *location;
    uint32_t dislodged;
    LumAvlTree candidates;
    Order order;
    uint32_t result;
} Unit;
typedef struct Position {
    Map *map;
    uint16_t year;
    uint16_t season;
    ProvinceState provinces[300];
    LocationState locations[600];
    uint16_t unit_count;
    Unit *units[100];
    int16_t adjustment[20];
    uint16_t unit_counts[20];
    CentreTable *centres;
} Position;

typedef uint32_t (*BroxScoreFn)(Position *position, void *user_data);
typedef struct Agenda {
    LumAvlTree by_score;
    LumAvlTree by_choice;
    BroxScoreFn score_fn;
    void *user_data;
} Agenda;
typedef struct AgendaItem {
    LumAvlNode score_node;
    LumAvlNode choice_node;
    Position *position;
    Order *choices[100];
    uint32_t score;
    int32_t complete;
} AgendaItem;

typedef void (*BroxReleaseMsg)(uint8_t *record);
typedef struct Session {
    uint8_t assignment[40];
    uint8_t *map_name_msg;
    Map *map;
    Position *position;
    CentreTable *centres;
    BroxReleaseMsg release_msg;
    int32_t rejoining;
    const char *name;
    const char *version;
} Session;

typedef struct BroxReferee BroxReferee;
typedef struct BroxOrderResult {
    uint16_t outcome;
    uint16_t resolution;
    uint8_t from_bot;
    uint8_t dislodged;
    uint16_t dislodged_by;
    uint16_t retreat_count;
    uint16_t retreats[20];
} BroxOrderResult;
typedef struct BroxPowerOrders {
    uint8_t due;
    uint8_t received;
    uint16_t entries;
    uint16_t refused;
    uint16_t refusals;
    uint16_t builds;
    uint16_t removals;
} BroxPowerOrders;
typedef struct BroxRefusal {
    uint16_t entry;
    uint16_t refusal;
    const uint8_t *bytes;
} BroxRefusal;
"""

# The exported calls the package uses, and the client library's.
CALLS = """
int brox_initialise(Session *session, BroxReleaseMsg release_msg);
int brox_game_join(Session *session, const char *name, const char *version);
void brox_process_msg(Session *session, uint8_t *record, int *keep_running, int *release_record);
void brox_terminate(Session *session);
uint16_t brox_rand(uint16_t lo, uint16_t hi);
uint16_t brox_session_power(const Session *session);
uint16_t brox_record_type(const uint8_t *record);
void brox_position_free(Position *position);
Position *brox_adjudicate(Position *position);
Order *brox_candidate_first(Unit *unit);
Order *brox_candidate_next(Unit *unit, Order *order);
void brox_order_submit(void *first, Position *position, uint16_t power);
Agenda *brox_agenda_new(Position *position, BroxScoreFn score_fn, void *user_data);
int brox_agenda_step(Session *session, Agenda *agenda);
void brox_agenda_free(Agenda *agenda);
void brox_agenda_item_free(AgendaItem *item, int release);

BroxReferee *brox_referee_new(const uint8_t *map_message, size_t map_size,
                              const uint8_t *centres_message, size_t centres_size,
                              const uint8_t *position_message, size_t position_size, const char **error);
void brox_referee_free(BroxReferee *referee);
int brox_referee_restart(BroxReferee *referee);
int brox_referee_set_years(BroxReferee *referee, uint16_t years);
Position *brox_referee_position(BroxReferee *referee);
const uint8_t *brox_referee_position_message(const BroxReferee *referee, size_t *size);
const uint8_t *brox_referee_centres_message(const BroxReferee *referee, size_t *size);
uint16_t brox_referee_centre_count(const BroxReferee *referee, uint16_t power);
int brox_referee_orders_due(const BroxReferee *referee, uint16_t power);
int brox_referee_orders_received(const BroxReferee *referee, uint16_t power);
int brox_referee_order(BroxReferee *referee, uint16_t unit, const Order *order, uint16_t *refusal);
int brox_referee_step(BroxReferee *referee);
const char *brox_referee_failure(const BroxReferee *referee);
uint16_t brox_referee_over(const BroxReferee *referee);
Position *brox_referee_last_position(const BroxReferee *referee);
int brox_referee_last_result(const BroxReferee *referee, uint16_t unit, BroxOrderResult *out);
int brox_referee_last_orders(const BroxReferee *referee, uint16_t power, BroxPowerOrders *out);
int brox_referee_last_refusal(const BroxReferee *referee, uint16_t power, uint16_t index, BroxRefusal *out);
const char *brox_outcome_text(uint16_t outcome);
const char *brox_refusal_text(uint16_t refusal);
const char *brox_end_text(uint16_t end);

int vorn_client_configure(int argc, char **argv);
uint8_t *vorn_client_receive(int timeout_ms);
void vorn_client_release(uint8_t *record);
void vorn_client_stop(void);
void vorn_client_disconnect(void);
"""

# The package's own C helpers (src/brox_py.c): loops over a Position, a
# game or many games that would cost Python's price per unit, and the
# library's identity.
HELPERS = """
#define BROX_PY_BOARD_FEATURES ...
#define BROX_PY_ORDER_COLUMNS ...
const char *brox_py_built_for(void);
int brox_py_loaded_library(char *path, int size);
int brox_py_province_index(const Position *position, const ProvinceState *province);
int brox_py_unit_index(const Position *position, const Unit *unit);
int brox_py_candidate_count(Unit *unit);
int brox_py_order_describe(const Position *position, const Order *order, int32_t *out);
AgendaItem *brox_py_agenda_best(Agenda *agenda);
int brox_py_board(const Position *position, int16_t *out);
int brox_py_candidate_counts(Position *position, int32_t *out);
int brox_py_order_table(Position *position, int32_t *out, int rows);
int brox_py_choose(Position *position, const int32_t *indices, int count);
int brox_py_choose_random(Position *position, const double *draws, int count, int power);

#define BROX_PY_NO_GAME ...
#define BROX_PY_BAD_UNIT ...
#define BROX_PY_BAD_CANDIDATE ...
int brox_py_referee_order(BroxReferee *referee, int unit, const Order *order);
int brox_py_referee_order_index(BroxReferee *referee, int unit, int candidate);
int brox_py_choosable_counts(Position *position, int32_t *out);
int brox_py_referee_choose(BroxReferee *referee, const int32_t *indices, int count, int32_t *refusals);
int brox_py_referee_choose_random(BroxReferee *referee, const double *draws, int count, int power);
int brox_py_games_choose_random(BroxReferee *const *referees, int count, const double *draws, int stride, int power);
int brox_py_games_choose(BroxReferee *const *referees, int count, const int32_t *indices, int stride,
                         int32_t *refusals, int *bad);
int brox_py_games_step(BroxReferee *const *referees, int count, uint16_t *over);
int brox_py_games_read(BroxReferee *const *referees, int count, int32_t *counts, int stride, int16_t *boards);

extern "Python" uint32_t brox_py_score(Position *position, void *user_data);
"""

ffibuilder = cffi.FFI()
ffibuilder.cdef(CONSTANTS + RECORDS + CALLS + HELPERS)


def configure(include_dirs, library_dirs, runtime_dirs, built_for):
    """Sets the extension's source: the helpers against brox.h and vorn.h
    in `include_dirs`, linked with libbrox and libvorn.  `built_for` is the
    library version the extension is built for, checked at import."""
    with open(os.path.join(HERE, "src", "brox_py.c"), encoding="utf-8") as source:
        helpers = source.read()
    ffibuilder.set_source(
        "brox._brox",
        '#define BROX_PY_BUILT_FOR "%s"\n' % built_for + helpers,
        include_dirs=list(include_dirs),
        library_dirs=list(library_dirs),
        runtime_library_dirs=list(runtime_dirs),
        libraries=["brox", "vorn"],
        extra_compile_args=["-Werror=incompatible-pointer-types", "-Werror=int-conversion"],
    )


if __name__ == "__main__":
    # CMake: build_ffi.py OUT.c VERSION -- the source only; CMake compiles it.
    if len(sys.argv) != 3:
        sys.exit("usage: build_ffi.py OUT.c LIBRARY_VERSION")
    configure([], [], [], sys.argv[2])
    ffibuilder.emit_c_code(sys.argv[1])
