// SPDX-License-Identifier: MIT
// Dates and times as text, with the date pattern language the results log uses.
#pragma once

#include <string>
#include <string_view>

namespace wirepace {

struct DateTime {
    int year = 1899, month = 12, day = 30;  // the date part of a time value that carries no date
    int hour = 0, minute = 0, second = 0;

    static DateTime Now();                                        // local time
    static DateTime Local(double secondsSince1970);               // that moment, local time
    static DateTime TimeOfDay(int hour, int minute, int second);  // no date: 30 December 1899
    DateTime TimeOnly() const { return TimeOfDay(hour, minute, second); }
};

// Pattern letters, case-insensitive: "yyyy" and "yy" year; "d", "dd" day; "h", "hh" hour (00..23);
// "n", "nn" minute; "s", "ss" second; "m", "mm" month, except that the first "m" group after an
// hour group means minutes. ":" is the regional time separator, "/" the regional date
// separator; "AMPM" writes the regional designator of the morning or the afternoon, and with
// it in the pattern the hours count 12, 1, ... 11 (a twelve-hour clock); anything else is
// written as it stands. A single letter drops the leading zero.
std::string FormatDateTime(const DateTime& value, std::string_view pattern);

std::string ShortDate(const DateTime& value);  // regional short date form
std::string LongTime(const DateTime& value);   // regional long time form

// The time field of a result line: the time of day with the pattern "hh:mm:ss.ms". Its trailing
// "ms" writes the month of a date-less time value (always 12) and the second without a leading
// zero, so 14:05:09 reads "14:05:09.129".
std::string ResultTimeField(const DateTime& now);

}  // namespace wirepace
