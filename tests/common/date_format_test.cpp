// SPDX-License-Identifier: MIT
#include "common/date_format.h"

#include <gtest/gtest.h>

#include <ctime>

#include "common/regional.h"
#include "platform/system_clock.h"

namespace wirepace {
namespace {

TEST(ResultTimeField, TrailingMsWritesMonthTwelveAndTheSecond) {
    EXPECT_EQ(ResultTimeField(DateTime::TimeOfDay(14, 5, 9)), "14:05:09.129");
    EXPECT_EQ(ResultTimeField(DateTime::TimeOfDay(0, 0, 0)), "00:00:00.120");
    EXPECT_EQ(ResultTimeField(DateTime::TimeOfDay(23, 59, 45)), "23:59:45.1245");
}

TEST(ResultTimeField, IgnoresTheDateOfTheClockReading) {
    DateTime now = DateTime::TimeOfDay(9, 8, 7);
    now.year = 2026;
    now.month = 3;
    now.day = 4;
    EXPECT_EQ(ResultTimeField(now), "09:08:07.127");
}

TEST(FormatDateTime, MinutesOnlyAfterAnHourGroup) {
    const DateTime v{.year = 2026, .month = 3, .day = 4, .hour = 5, .minute = 6, .second = 7};
    EXPECT_EQ(FormatDateTime(v, "mm"), "03");
    EXPECT_EQ(FormatDateTime(v, "hh:mm"), "05:06");
    EXPECT_EQ(FormatDateTime(v, "hh:mm m"), "05:06 3");
    EXPECT_EQ(FormatDateTime(v, "yyyy/mm/dd"), "2026-03-04");
    EXPECT_EQ(FormatDateTime(v, "d.m.yy"), "4.3.26");
    EXPECT_EQ(FormatDateTime(v, "h:nn:ss"), "5:06:07");
}

TEST(FormatDateTime, SeparatorsComeFromTheRegionalSettings) {
    const RegionalSettings saved = Regional();
    RegionalSettings other;
    other.timeSeparator = ".";
    other.dateSeparator = "/";
    other.shortDatePattern = "dd/mm/yyyy";
    other.longTimePattern = "hh:nn:ss";
    SetRegional(other);
    const DateTime v{.year = 2026, .month = 12, .day = 7, .hour = 14, .minute = 5, .second = 9};
    EXPECT_EQ(ShortDate(v), "07/12/2026");
    EXPECT_EQ(LongTime(v), "14.05.09");
    EXPECT_EQ(ResultTimeField(v), "14.05.09.129");
    SetRegional(saved);
}

TEST(FormatDateTime, AnAmPmMarkerMakesATwelveHourClock) {
    const RegionalSettings saved = Regional();
    const auto at = [](int hour) { return DateTime::TimeOfDay(hour, 5, 9); };
    // Midnight and noon are 12; the marker changes at noon.
    EXPECT_EQ(FormatDateTime(at(0), "h:nn:ss AMPM"), "12:05:09 AM");
    EXPECT_EQ(FormatDateTime(at(9), "hh:nn:ss AMPM"), "09:05:09 AM");
    EXPECT_EQ(FormatDateTime(at(11), "h:nn:ss AMPM"), "11:05:09 AM");
    EXPECT_EQ(FormatDateTime(at(12), "h:nn:ss AMPM"), "12:05:09 PM");
    EXPECT_EQ(FormatDateTime(at(23), "h:mm:ss ampm"), "11:05:09 PM");
    EXPECT_EQ(FormatDateTime(at(23), "h:nn:ss"), "23:05:09");  // no marker: 24 hours
    // The designators are the region's, wherever the marker stands.
    RegionalSettings other;
    other.amDesignator = "vorm.";
    other.pmDesignator = "nachm.";
    other.longTimePattern = "AMPM h:nn:ss";
    SetRegional(other);
    EXPECT_EQ(LongTime(at(14)), "nachm. 2:05:09");
    EXPECT_EQ(LongTime(at(7)), "vorm. 7:05:09");
    SetRegional(saved);
}

TEST(DateTime, AMomentInLocalTime) {
    // What the system calls local time for that second; the fraction is dropped.
    const std::time_t at = 1796652309;  // 2026-12-07 14:05:09 UTC
    const std::tm tm = platform::LocalTime(at);
    const DateTime v = DateTime::Local(1796652309.75);
    EXPECT_EQ(v.year, tm.tm_year + 1900);
    EXPECT_EQ(v.month, tm.tm_mon + 1);
    EXPECT_EQ(v.day, tm.tm_mday);
    EXPECT_EQ(v.hour, tm.tm_hour);
    EXPECT_EQ(v.minute, tm.tm_min);
    EXPECT_EQ(v.second, 9);
}

}  // namespace
}  // namespace wirepace
