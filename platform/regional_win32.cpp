// SPDX-License-Identifier: MIT
// Regional formats on Windows: the user's locale (decimal separator, date and time pictures).
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <algorithm>
#include <functional>
#include <string>

#include "common/regional.h"
#include "platform/platform.h"
#include "platform/platform_win32_detail.h"

namespace wirepace::platform {

namespace win32 {

namespace {

// Letters and signs that mean something in our patterns; a literal of the picture that is one
// of them cannot be written as it stands and is left out.
bool IsPatternSign(char c) {
    switch (c) {
        case 'y':
        case 'Y':
        case 'd':
        case 'D':
        case 'h':
        case 'H':
        case 'n':
        case 'N':
        case 's':
        case 'S':
        case 'm':
        case 'M':
        case ':':
        case '/':
            return true;
        default:
            return false;
    }
}

// Walks a picture: `field` gets each run of one letter (outside quotes) and returns its
// pattern text; the locale separator becomes `separatorSign`; other literals stay unless
// they are pattern signs.
std::string Translate(const std::string& picture, const std::string& separator, char separatorSign,
                      const std::function<std::string(char letter, std::size_t run)>& field) {
    std::string out;
    std::size_t i = 0;
    while (i < picture.size()) {
        const char c = picture[i];
        if (c == '\'') {
            // A quoted literal ('' inside stands for one quote). It is kept only when it can
            // be written as it stands: "'Uhr'" would otherwise turn into an hour field.
            std::string literal;
            ++i;
            while (i < picture.size()) {
                if (picture[i] == '\'') {
                    if (i + 1 < picture.size() && picture[i + 1] == '\'') {
                        literal += '\'';
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                literal += picture[i++];
            }
            if (std::none_of(literal.begin(), literal.end(), IsPatternSign)) out += literal;
            continue;
        }
        if (!separator.empty() && picture.compare(i, separator.size(), separator) == 0) {
            out += separatorSign;
            i += separator.size();
            continue;
        }
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) {
            std::size_t run = 1;
            while (i + run < picture.size() && picture[i + run] == c) ++run;
            out += field(c, run);
            i += run;
            continue;
        }
        if (!IsPatternSign(c)) out += c;
        ++i;
    }
    // What was left out may leave blanks or separators hanging at either end.
    const auto first = out.find_first_not_of(" ,");
    if (first == std::string::npos) return {};
    const auto last = out.find_last_not_of(" ,");
    return out.substr(first, last - first + 1);
}

}  // namespace

std::string DatePatternFromPicture(const std::string& picture, const std::string& separator) {
    const std::string out =
        Translate(picture, separator, '/', [](char letter, std::size_t run) -> std::string {
            switch (letter) {
                case 'd':
                    return run == 1 ? "d" : run == 2 ? "dd" : "";  // day names: left out
                case 'M':
                    return run == 1 ? "m" : "mm";  // month names read as numbers
                case 'y':
                    return run <= 2 ? "yy" : "yyyy";
                default:
                    return "";  // era and anything unknown
            }
        });
    // A picture without day, month or year is of no use for a date.
    return out.find_first_of("dmy") == std::string::npos ? std::string() : out;
}

std::string TimePatternFromPicture(const std::string& picture, const std::string& separator) {
    const std::string out =
        Translate(picture, separator, ':', [](char letter, std::size_t run) -> std::string {
            switch (letter) {
                case 'h':
                case 'H':
                    return run == 1 ? "h" : "hh";
                case 'm':
                    return run == 1 ? "n" : "nn";
                case 's':
                    return run == 1 ? "s" : "ss";
                case 't':
                    return "AMPM";  // with it the hours count twelve (FormatDateTime)
                default:
                    return "";  // anything unknown
            }
        });
    return out.find_first_of("hns") == std::string::npos ? std::string() : out;
}

}  // namespace win32

namespace {

std::string GetLocaleText(LCTYPE type) {
    wchar_t buffer[128] = {};
    const int n = ::GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, type, buffer,
                                    static_cast<int>(sizeof buffer / sizeof buffer[0]));
    if (n <= 1) return {};
    return win32::Narrow(std::wstring(buffer, static_cast<std::size_t>(n - 1)));
}

}  // namespace

void LoadRegionalSettings() {
    RegionalSettings settings;
    if (auto s = GetLocaleText(LOCALE_SDECIMAL); !s.empty()) settings.decimalSeparator = s;
    if (auto s = GetLocaleText(LOCALE_STHOUSAND); !s.empty()) settings.groupingSeparator = s;
    if (auto s = GetLocaleText(LOCALE_STIME); !s.empty()) settings.timeSeparator = s;
    if (auto s = GetLocaleText(LOCALE_SDATE); !s.empty()) settings.dateSeparator = s;
    if (auto p =
            win32::DatePatternFromPicture(GetLocaleText(LOCALE_SSHORTDATE), settings.dateSeparator);
        !p.empty())
        settings.shortDatePattern = p;
    if (auto p = win32::TimePatternFromPicture(GetLocaleText(LOCALE_STIMEFORMAT),
                                               settings.timeSeparator);
        !p.empty())
        settings.longTimePattern = p;
    if (auto s = GetLocaleText(LOCALE_S1159); !s.empty()) settings.amDesignator = s;
    if (auto s = GetLocaleText(LOCALE_S2359); !s.empty()) settings.pmDesignator = s;
    SetRegional(settings);
}

}  // namespace wirepace::platform
