// Building the fuzz targets' boards from the map generator and a board
// description, once per process.
#include "fuzz_maps.h"

#include <cstdlib>

#include "board.h"
#include "tools/mapgen/mapgen.h"
#include "world/centres.h"
#include "world/map.h"

namespace {

FuzzBoardMessages default_board() {
    GeneratedMap generated = mapgen_default();
    GeneratedPosition midgame = mapgen_midgame_position();
    FuzzBoardMessages messages;
    messages.map = generated.map_message;
    messages.centres[0] = generated.centres_message;
    messages.centres[1] = midgame.centres_message;
    messages.positions = {generated.position_message, midgame.position_message};
    return messages;
}

FuzzBoardMessages twenty_powers() {
    MapgenOptions options;
    options.seed = 20;
    options.provinces = 90;
    options.powers = 20;
    options.homes = 1;
    GeneratedMap generated = mapgen_generate(options);
    FuzzBoardMessages messages;
    messages.map = generated.map_message;
    messages.centres[0] = generated.centres_message;
    messages.centres[1] = generated.centres_message;
    messages.positions = {generated.position_message};
    return messages;
}

// SPA has two named coasts; MAO, ENG, NTH and HEL chain seas between the
// coasts; KIE > HOL is a one-way army move.
const char *const HAND_BOARD = R"(
    powers 3
    land  PAR*0 BUR MUN*1 RUH
    coast BRE*0 PIC BEL* HOL* KIE*1 GAS SPA*2/nc/sc POR*2 NAF
    sea   MAO ENG NTH HEL WES
    army  PAR-BUR PAR-PIC PAR-BRE PAR-GAS BUR-MUN BUR-RUH BUR-BEL BUR-PIC MUN-RUH MUN-KIE
    army  RUH-BEL RUH-KIE PIC-BEL PIC-BRE BEL-HOL BRE-GAS GAS-SPA SPA-POR KIE>HOL
    fleet BRE-MAO BRE-ENG BRE-PIC PIC-ENG PIC-BEL ENG-MAO ENG-NTH BEL-ENG BEL-NTH BEL-HOL
    fleet HOL-NTH HOL-HEL KIE-HEL NTH-HEL HOL-KIE MAO-SPA/nc MAO-SPA/sc MAO-POR POR-SPA/nc
    fleet POR-SPA/sc MAO-WES WES-SPA/sc WES-NAF MAO-NAF GAS-SPA/nc GAS-MAO
)";

FuzzBoardMessages hand_board() {
    board::Board board(HAND_BOARD);
    FuzzBoardMessages messages;
    messages.map = board.map_message();
    messages.centres[0] = board.centres("0: PAR BRE; 1: MUN KIE; 2: SPA POR; 11: BEL");
    messages.centres[1] = board.centres("0: PAR BRE BEL; 1: MUN KIE HOL; 2: SPA POR");
    messages.positions = {
        board.position(SEASON_SPRING, 1901,
                       "0 A BRE; 0 F ENG; 0 F NTH; 1 A MUN; 1 F HEL; 2 F SPA/sc; 2 A POR; 0 A PIC"),
        board.position(SEASON_SUMMER, 1901,
                       "0 A BUR dislodged -> PAR PIC; 1 A BEL; 2 F MAO dislodged -> SPA/? WES NAF; "
                       "1 F HOL dislodged -> KIE HEL"),
        board.position(SEASON_WINTER, 1901, "0 A BEL; 1 A RUH; 1 A HOL; 1 F NTH; 2 F SPA/nc"),
    };
    return messages;
}

CentreTable *held_table(Map *map, const FuzzBytesVector &message) {
    CentreTable *table = centre_table_build(map, message.data());
    if (!table) std::abort();
    return centre_table_retain(table);
}

}  // namespace

const FuzzBoardMessages &fuzz_board_messages(uint8_t board) {
    static const FuzzBoardMessages boards[FUZZ_BOARD_COUNT] = {default_board(), twenty_powers(),
                                                               hand_board()};
    return boards[board % FUZZ_BOARD_COUNT];
}

const FuzzBoard &fuzz_board(uint8_t selector) {
    static const FuzzBoard *boards = [] {
        auto *made = new FuzzBoard[FUZZ_BOARD_COUNT];
        for (uint8_t b = 0; b < FUZZ_BOARD_COUNT; b++) {
            const FuzzBoardMessages &messages = fuzz_board_messages(b);
            made[b].map = map_build(messages.map.data());
            if (!made[b].map) std::abort();
            made[b].centres[0] = held_table(made[b].map, messages.centres[0]);
            made[b].centres[1] = held_table(made[b].map, messages.centres[1]);
        }
        return made;
    }();
    return boards[selector % FUZZ_BOARD_COUNT];
}
