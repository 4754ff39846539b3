// The values of command-line options, read alike by every tool (the
// server, the map generator, the tournament and the replay): whole numbers
// within a range and seconds, each with the complaint a user sees.
#pragma once

enum class ValueParse { OK, NOT_A_NUMBER, OUT_OF_RANGE };

// A whole decimal number from `lo` to `hi` filling all of `text`.
// *value is set only on OK.
ValueParse integer_parse(const char *text, long long lo, long long hi, long long *value);

// A decimal number of seconds filling all of `text`, at most `hi`, and
// above 0 when `lo` is 0, at least `lo` otherwise.  *seconds is set only
// on OK.
ValueParse seconds_parse(const char *text, double lo, double hi, double *seconds);

// The same, with the complaint printed to standard error on failure:
//   PROGRAM: OPTION: "TEXT" is not a number
//   PROGRAM: OPTION must be LO to HI
//   PROGRAM: OPTION must be more than 0 and at most HI seconds
// Each returns whether the value was taken.
bool integer_option(const char *program, const char *option, const char *text, long long lo, long long hi,
                    long long *value);
bool seconds_option(const char *program, const char *option, const char *text, double lo, double hi,
                    double *seconds);
