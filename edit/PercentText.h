// The whole percent written to the event log for a factor or a fraction of
// full scale. Platform-free.
#pragma once
#include <climits>

// factor x 100 in double precision, truncated toward zero, so a factor of
// 0.29 (whose product is 28.999...) reads 28: the log shows what the
// arithmetic really used. Saturates instead of overflowing for huge factors.
inline int PercentForLog(double factor) {
    const double percent = factor * 100;
    if (!(percent > double(INT_MIN))) return INT_MIN;  // also catches NaN
    if (percent >= double(INT_MAX)) return INT_MAX;
    return int(percent);
}
