#include "media/core/TimeUnits.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>

namespace {

constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();

TEST(TimeUnits, ConversionsHoldAtTheEndsOfTheRange)
{
    using media::UnitsToNanoseconds;
    EXPECT_EQ(UnitsToNanoseconds(0), 0);
    EXPECT_EQ(UnitsToNanoseconds(1), 100);
    EXPECT_EQ(UnitsToNanoseconds(-1), -100);
    EXPECT_EQ(UnitsToNanoseconds(-20'000'000), -2'000'000'000);
    // The largest values that still fit, and one past them.
    EXPECT_EQ(UnitsToNanoseconds(kMax / 100), kMax / 100 * 100);
    EXPECT_EQ(UnitsToNanoseconds(kMax / 100 + 1), kMax);
    EXPECT_EQ(UnitsToNanoseconds(kMin / 100), kMin / 100 * 100);
    EXPECT_EQ(UnitsToNanoseconds(kMin / 100 - 1), kMin);
    EXPECT_EQ(UnitsToNanoseconds(kMax), kMax);
    EXPECT_EQ(UnitsToNanoseconds(kMin), kMin);
    static_assert(UnitsToNanoseconds(kMax) == kMax);

    using media::NanosecondsToUnits;
    EXPECT_EQ(NanosecondsToUnits(kMax), kMax / 100);
    EXPECT_EQ(NanosecondsToUnits(kMin), kMin / 100);
    EXPECT_EQ(NanosecondsToUnits(-150), -1);
    EXPECT_EQ(NanosecondsToUnits(199), 1);

    // GStreamer's unsigned clock times past the signed range still come out positive.
    EXPECT_EQ(media::ClockTimeToUnits(std::uint64_t(kMax) + 1000),
              (std::uint64_t(kMax) + 1000) / 100);
    EXPECT_GT(media::ClockTimeToUnits(std::numeric_limits<std::uint64_t>::max() - 1), 0);

    using media::SecondsToNanoseconds;
    EXPECT_EQ(SecondsToNanoseconds(0.04), 40'000'000);
    EXPECT_EQ(SecondsToNanoseconds(1001.0 / 30000.0), 33'366'667);
    EXPECT_EQ(SecondsToNanoseconds(-1.0), 0);
    EXPECT_EQ(SecondsToNanoseconds(std::nan("")), 0);
    EXPECT_EQ(SecondsToNanoseconds(1e12), kMax);
    EXPECT_EQ(SecondsToNanoseconds(std::numeric_limits<double>::infinity()), kMax);
}

} // namespace
