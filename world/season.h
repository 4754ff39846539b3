// The phase a season word starts, and its name.  A Position's season is
// the token word the position message gives; a word that is none of the
// five seasons starts no phase, and every caller says what it does with
// one.
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

// The season's name as the game record and messages write it ("spring",
// "summer", "fall", "autumn", "winter"); "unknown" for any other word.
inline const char *season_name(uint16_t season) {
    switch (season) {
    case SEASON_SPRING: return "spring";
    case SEASON_SUMMER: return "summer";
    case SEASON_FALL: return "fall";
    case SEASON_AUTUMN: return "autumn";
    case SEASON_WINTER: return "winter";
    default: return "unknown";
    }
}
