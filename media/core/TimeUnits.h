#pragma once

#include <cmath>
#include <cstdint>
#include <limits>

// Conversions between the 100-ns units the program counts in and GStreamer's nanoseconds. A
// caller may pass any value (a stop "at the very end" is often INT64_MAX), so every conversion
// holds at the ends of the range instead of overflowing.
namespace media {

constexpr std::int64_t kNanosecondsPerUnit = 100;

constexpr std::int64_t UnitsToNanoseconds(std::int64_t units)
{
    constexpr std::int64_t max = std::numeric_limits<std::int64_t>::max();
    constexpr std::int64_t min = std::numeric_limits<std::int64_t>::min();
    if (units > max / kNanosecondsPerUnit)
        return max;
    if (units < min / kNanosecondsPerUnit)
        return min;
    return units * kNanosecondsPerUnit;
}

constexpr std::int64_t NanosecondsToUnits(std::int64_t ns)
{
    return ns / kNanosecondsPerUnit;
}

// A clock time as GStreamer keeps it (unsigned; callers rule out GST_CLOCK_TIME_NONE).
constexpr std::int64_t ClockTimeToUnits(std::uint64_t ns)
{
    return static_cast<std::int64_t>(ns / kNanosecondsPerUnit);
}

// Seconds (a frame length, say) to ns; NaN and negatives give 0, huge values the maximum.
inline std::int64_t SecondsToNanoseconds(double seconds)
{
    if (!(seconds > 0.0))
        return 0;
    const double ns = std::round(seconds * 1e9);
    // 2^63 is exactly representable; anything at or past it does not fit.
    if (ns >= 9223372036854775808.0)
        return std::numeric_limits<std::int64_t>::max();
    return static_cast<std::int64_t>(ns);
}

} // namespace media
