// SPDX-License-Identifier: MIT
#include "common/date_format.h"

#include <cctype>
#include <chrono>
#include <ctime>

#include "common/regional.h"
#include "platform/system_clock.h"

namespace wirepace {

namespace {
constexpr std::string_view kAmPm = "ampm";

// Where the "AMPM" token (any case) starts at or after `from`.
size_t FindAmPm(std::string_view pattern, size_t from) {
    for (size_t i = from; i + kAmPm.size() <= pattern.size(); ++i) {
        size_t k = 0;
        while (k < kAmPm.size() &&
               std::tolower(static_cast<unsigned char>(pattern[i + k])) == kAmPm[k])
            ++k;
        if (k == kAmPm.size()) return i;
    }
    return std::string_view::npos;
}

std::string Digits(int value, size_t width) {
    std::string text = std::to_string(value);
    if (text.size() < width) text.insert(0, width - text.size(), '0');
    return text;
}
}  // namespace

DateTime DateTime::Now() {
    return Local(static_cast<double>(
        std::chrono::system_clock::to_time_t(std::chrono::system_clock::now())));
}

DateTime DateTime::Local(double secondsSince1970) {
    const std::tm tm = platform::LocalTime(static_cast<std::time_t>(secondsSince1970));
    DateTime dt;
    dt.year = tm.tm_year + 1900;
    dt.month = tm.tm_mon + 1;
    dt.day = tm.tm_mday;
    dt.hour = tm.tm_hour;
    dt.minute = tm.tm_min;
    dt.second = tm.tm_sec;
    return dt;
}

DateTime DateTime::TimeOfDay(int hour, int minute, int second) {
    DateTime dt;
    dt.hour = hour;
    dt.minute = minute;
    dt.second = second;
    return dt;
}

std::string FormatDateTime(const DateTime& v, std::string_view pattern) {
    std::string out;
    bool minuteNext = false;  // set by an hour group, used up by the next "m" group
    const bool twelveHours = FindAmPm(pattern, 0) != std::string_view::npos;
    const int hour = twelveHours ? (v.hour + 11) % 12 + 1 : v.hour;
    size_t i = 0;
    while (i < pattern.size()) {
        if (FindAmPm(pattern, i) == i) {
            out += v.hour < 12 ? Regional().amDesignator : Regional().pmDesignator;
            i += kAmPm.size();
            continue;
        }
        const char c = pattern[i];
        const char lower = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        size_t run = 1;
        while (i + run < pattern.size() &&
               std::tolower(static_cast<unsigned char>(pattern[i + run])) == lower)
            ++run;
        switch (lower) {
            case 'y':
                out += run >= 3 ? Digits(v.year, 4) : Digits(v.year % 100, 2);
                break;
            case 'd':
                out += Digits(v.day, run >= 2 ? 2 : 1);
                break;
            case 'h':
                out += Digits(hour, run >= 2 ? 2 : 1);
                minuteNext = true;
                break;
            case 'n':
                out += Digits(v.minute, run >= 2 ? 2 : 1);
                break;
            case 's':
                out += Digits(v.second, run >= 2 ? 2 : 1);
                break;
            case 'm':
                out += Digits(minuteNext ? v.minute : v.month, run >= 2 ? 2 : 1);
                minuteNext = false;
                break;
            case ':':
                for (size_t k = 0; k < run; ++k) out += Regional().timeSeparator;
                break;
            case '/':
                for (size_t k = 0; k < run; ++k) out += Regional().dateSeparator;
                break;
            default:
                out.append(pattern.substr(i, run));
                break;
        }
        i += run;
    }
    return out;
}

std::string ShortDate(const DateTime& value) {
    return FormatDateTime(value, Regional().shortDatePattern);
}

std::string LongTime(const DateTime& value) {
    return FormatDateTime(value, Regional().longTimePattern);
}

std::string ResultTimeField(const DateTime& now) {
    return FormatDateTime(now.TimeOnly(), "hh:mm:ss.ms");
}

}  // namespace wirepace
