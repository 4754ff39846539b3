// The phase a season word starts.  A Position's season is the token word
// the position message gives; a word that is none of the five seasons
// starts no phase, and every caller says what it does with one.
#pragma once

#include <cstdint>

#include "brox.h"

enum class Phase { MOVEMENT, RETREATS, ADJUSTMENTS, NONE };

inline Phase season_phase(uint16_t season) {
    switch (season) {
    case SEASON_SPRING:
    case SEASON_FALL:
        return Phase::MOVEMENT;
    case SEASON_SUMMER:
    case SEASON_AUTUMN:
        return Phase::RETREATS;
    case SEASON_WINTER:
        return Phase::ADJUSTMENTS;
    default:
        return Phase::NONE;
    }
}
