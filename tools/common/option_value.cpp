// Reading the values of command-line options.
#include "tools/common/option_value.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>

ValueParse integer_parse(const char *text, long long lo, long long hi, long long *value) {
    errno = 0;
    char *end = nullptr;
    long long parsed = std::strtoll(text, &end, 10);
    if (end == text || *end != '\0') return ValueParse::NOT_A_NUMBER;
    if (errno == ERANGE || parsed < lo || parsed > hi) return ValueParse::OUT_OF_RANGE;
    *value = parsed;
    return ValueParse::OK;
}

ValueParse seconds_parse(const char *text, double lo, double hi, double *seconds) {
    errno = 0;
    char *end = nullptr;
    double parsed = std::strtod(text, &end);
    if (end == text || *end != '\0' || std::isnan(parsed)) return ValueParse::NOT_A_NUMBER;
    bool low = lo == 0 ? !(parsed > 0) : parsed < lo;
    if (errno == ERANGE || low || parsed > hi) return ValueParse::OUT_OF_RANGE;
    *seconds = parsed;
    return ValueParse::OK;
}

namespace {

bool complain(ValueParse parsed, const char *program, const char *option, const char *text, const char *range) {
    if (parsed == ValueParse::OK) return true;
    if (parsed == ValueParse::NOT_A_NUMBER)
        std::fprintf(stderr, "%s: %s: \"%s\" is not a number\n", program, option, text);
    else
        std::fprintf(stderr, "%s: %s must be %s\n", program, option, range);
    return false;
}

}  // namespace

bool integer_option(const char *program, const char *option, const char *text, long long lo, long long hi,
                    long long *value) {
    char range[64];
    std::snprintf(range, sizeof range, "%lld to %lld", lo, hi);
    return complain(integer_parse(text, lo, hi, value), program, option, text, range);
}

bool seconds_option(const char *program, const char *option, const char *text, double lo, double hi,
                    double *seconds) {
    char range[96];
    if (lo == 0)
        std::snprintf(range, sizeof range, "more than 0 and at most %g seconds", hi);
    else
        std::snprintf(range, sizeof range, "%g to %g seconds", lo, hi);
    return complain(seconds_parse(text, lo, hi, seconds), program, option, text, range);
}
