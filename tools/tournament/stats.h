// 95% confidence intervals for the tournament table: the Wilson score
// interval for a proportion and the Student t interval for a mean.
#pragma once

#include <vector>

struct Interval {
    bool known = false;  // false when the sample is too small to say anything
    double low = 0;
    double high = 0;
};

// The two-sided 97.5% quantile of Student's t distribution with `df`
// degrees of freedom (df >= 1): exact to four decimals up to 30, and from
// the Cornish-Fisher expansion above.
double t_quantile_975(int df);

// The 95% Wilson score interval of `successes` out of `trials`; unknown
// when there are no trials.
Interval wilson_interval(int successes, int trials);

// The mean of `values` (0 when empty).
double mean_of(const std::vector<double> &values);

// The 95% Student t interval of the mean of `values`; unknown for fewer
// than two values.
Interval mean_interval(const std::vector<double> &values);
