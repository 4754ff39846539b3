// Confidence intervals: Wilson score for proportions, Student t for means.
#include "tools/tournament/stats.h"

#include <cmath>

namespace {

constexpr double Z_975 = 1.959963984540054;  // the normal distribution's 97.5% quantile

// t(0.975, df) for df = 1 .. 30.
constexpr double T_975[] = {
    12.7062, 4.3027, 3.1824, 2.7764, 2.5706, 2.4469, 2.3646, 2.3060, 2.2622, 2.2281,
    2.2010,  2.1788, 2.1604, 2.1448, 2.1314, 2.1199, 2.1098, 2.1009, 2.0930, 2.0860,
    2.0796,  2.0739, 2.0687, 2.0639, 2.0595, 2.0555, 2.0518, 2.0484, 2.0452, 2.0423,
};
constexpr int T_TABLE_SIZE = sizeof T_975 / sizeof T_975[0];

}  // namespace

double t_quantile_975(int df) {
    if (df < 1) df = 1;
    if (df <= T_TABLE_SIZE) return T_975[df - 1];
    // Cornish-Fisher expansion of the t quantile in powers of 1/df.
    double z = Z_975, z2 = z * z, v = df;
    double g1 = (z2 + 1) * z / 4;
    double g2 = ((5 * z2 + 16) * z2 + 3) * z / 96;
    double g3 = (((3 * z2 + 19) * z2 + 17) * z2 - 15) * z / 384;
    double g4 = ((((79 * z2 + 776) * z2 + 1482) * z2 - 1920) * z2 - 945) * z / 92160;
    return z + g1 / v + g2 / (v * v) + g3 / (v * v * v) + g4 / (v * v * v * v);
}

Interval wilson_interval(int successes, int trials) {
    Interval interval;
    if (trials <= 0) return interval;
    double n = trials, p = static_cast<double>(successes) / n, z2 = Z_975 * Z_975;
    double denominator = 1 + z2 / n;
    double centre = (p + z2 / (2 * n)) / denominator;
    double half = Z_975 * std::sqrt(p * (1 - p) / n + z2 / (4 * n * n)) / denominator;
    interval.known = true;
    interval.low = std::fmax(0.0, centre - half);
    interval.high = std::fmin(1.0, centre + half);
    return interval;
}

double mean_of(const std::vector<double> &values) {
    if (values.empty()) return 0;
    double sum = 0;
    for (double value : values) sum += value;
    return sum / static_cast<double>(values.size());
}

Interval mean_interval(const std::vector<double> &values) {
    Interval interval;
    if (values.size() < 2) return interval;
    double mean = mean_of(values), squares = 0;
    for (double value : values) squares += (value - mean) * (value - mean);
    double n = static_cast<double>(values.size());
    double half = t_quantile_975(static_cast<int>(values.size()) - 1) * std::sqrt(squares / (n - 1) / n);
    interval.known = true;
    interval.low = mean - half;
    interval.high = mean + half;
    return interval;
}
