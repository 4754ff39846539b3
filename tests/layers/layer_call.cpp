// A function of the world layer for the layering test: it frees a Position
// (its own layer) and, with BROX_CALL_UP, first adjudicates it, a call one
// layer up.  Linked with the world layer alone, only the first may link.
#include "brox.h"

extern "C" BROX_API void layer_call(Position *position) {
#ifdef BROX_CALL_UP
    brox_position_free(brox_adjudicate(position));
#endif
    brox_position_free(position);
}
