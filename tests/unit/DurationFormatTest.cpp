#include <gtest/gtest.h>

#include "app/DurationFormat.h"

TEST(DurationFormat, ShowsHoursOnlyFromOneHourOn) {
    EXPECT_EQ(FormatDuration(0), L"0:00");
    EXPECT_EQ(FormatDuration(5000), L"0:05");
    EXPECT_EQ(FormatDuration(65000), L"1:05");
    EXPECT_EQ(FormatDuration(600000), L"10:00");
    EXPECT_EQ(FormatDuration(3599999), L"59:59");
    EXPECT_EQ(FormatDuration(3600000), L"1:00:00");
    EXPECT_EQ(FormatDuration(3725000), L"1:02:05");
    EXPECT_EQ(FormatDuration(36000000 + 9 * 60000 + 7000), L"10:09:07");
}

TEST(DurationFormat, TruncatesPartsOfASecond) {
    EXPECT_EQ(FormatDuration(999.9), L"0:00");
    EXPECT_EQ(FormatDuration(59999), L"0:59");
    EXPECT_EQ(FormatDuration(60000), L"1:00");
}

TEST(TimeDisplayText, ShowsThePositionOnlyWhileAboveZero) {
    EXPECT_EQ(TimeDisplayText(0, 0), L" 0:00");
    EXPECT_EQ(TimeDisplayText(65000, 0), L" 1:05");
    EXPECT_EQ(TimeDisplayText(65000, 12000), L" 0:12 / 1:05");
    EXPECT_EQ(TimeDisplayText(3600000, 1), L" 0:00 / 1:00:00");
}
