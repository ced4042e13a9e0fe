// SPDX-License-Identifier: MIT
// Regional formats on POSIX: the C library's locale from the environment (LC_NUMERIC, LC_TIME).
#include <langinfo.h>
#include <locale.h>

#include <string>

#include "common/regional.h"
#include "platform/platform.h"
#include "platform/platform_posix_detail.h"

namespace wirepace::platform {

namespace posix {

std::string DatePatternFromFormat(const std::string& format, std::string& separator) {
    std::string pattern;
    for (std::size_t i = 0; i < format.size(); ++i) {
        if (format[i] == '%' && i + 1 < format.size()) {
            switch (format[++i]) {
                case 'd':
                    pattern += "dd";
                    break;
                case 'e':
                    pattern += "d";
                    break;
                case 'm':
                    pattern += "mm";
                    break;
                case 'y':
                    pattern += "yy";
                    break;
                case 'Y':
                    pattern += "yyyy";
                    break;
                case 'F':
                    pattern += "yyyy/mm/dd";
                    separator.assign(1, '-');
                    break;
                default:
                    break;
            }
        } else {
            const char c = format[i];
            if (c == '.' || c == '/' || c == '-') {
                separator = std::string(1, c);
                pattern += '/';
            } else {
                pattern += c;
            }
        }
    }
    return pattern;
}

std::string TimePatternFromFormat(const std::string& format, std::string& separator,
                                  const std::string& twelveHourFormat) {
    std::string pattern;
    for (std::size_t i = 0; i < format.size(); ++i) {
        if (format[i] == '%' && i + 1 < format.size()) {
            switch (format[++i]) {
                case 'H':
                case 'I':  // twelve hours when the marker is there too (FormatDateTime)
                    pattern += "hh";
                    break;
                case 'k':
                case 'l':
                    pattern += "h";
                    break;
                case 'M':
                    pattern += "nn";
                    break;
                case 'S':
                    pattern += "ss";
                    break;
                case 'T':
                    pattern += "hh:nn:ss";
                    break;
                case 'p':
                case 'P':
                    pattern += "AMPM";
                    break;
                case 'r':
                    if (twelveHourFormat.find("%r") == std::string::npos)
                        pattern += TimePatternFromFormat(twelveHourFormat, separator, "");
                    break;
                default:
                    break;
            }
        } else if (format[i] == ':' || format[i] == '.') {
            separator = std::string(1, format[i]);
            pattern += ':';
        } else if (format[i] != ' ' || (!pattern.empty() && pattern.back() != ' ')) {
            pattern += format[i];  // one blank between fields, as "%I:%M:%S %p" has
        }
    }
    // A field left out ("%Z") may leave a blank at the end.
    while (!pattern.empty() && pattern.back() == ' ') pattern.pop_back();
    return pattern.find_first_of("hns") == std::string::npos ? std::string() : pattern;
}

}  // namespace posix

void LoadRegionalSettings() {
    // Read the environment's locale without making it the process locale: number parsing and
    // printing elsewhere must not change under our feet.
    RegionalSettings settings;
    locale_t loc = ::newlocale(LC_NUMERIC_MASK | LC_TIME_MASK, "", static_cast<locale_t>(0));
    if (loc == static_cast<locale_t>(0)) {
        SetRegional(settings);
        return;
    }
    const std::string radix = ::nl_langinfo_l(RADIXCHAR, loc);
    const std::string thousands = ::nl_langinfo_l(THOUSEP, loc);
    const std::string dateFmt = ::nl_langinfo_l(D_FMT, loc);
    const std::string timeFmt = ::nl_langinfo_l(T_FMT, loc);
    const std::string twelveHourFmt = ::nl_langinfo_l(T_FMT_AMPM, loc);
    const std::string am = ::nl_langinfo_l(AM_STR, loc);
    const std::string pm = ::nl_langinfo_l(PM_STR, loc);
    ::freelocale(loc);

    if (!radix.empty()) settings.decimalSeparator = radix;
    settings.groupingSeparator = thousands.empty() ? (radix == "," ? "." : ",") : thousands;

    // The C locale writes "%m/%d/%y"; ISO-like forms read better in a log, so keep our
    // defaults there and translate real locale formats into date patterns.
    if (dateFmt != "%m/%d/%y") {
        if (auto pattern = posix::DatePatternFromFormat(dateFmt, settings.dateSeparator);
            !pattern.empty())
            settings.shortDatePattern = pattern;
    }
    if (timeFmt != "%H:%M:%S" && !timeFmt.empty()) {
        if (auto pattern =
                posix::TimePatternFromFormat(timeFmt, settings.timeSeparator, twelveHourFmt);
            !pattern.empty())
            settings.longTimePattern = pattern;
    }
    if (!am.empty() || !pm.empty()) {
        settings.amDesignator = am;
        settings.pmDesignator = pm;
    }
    SetRegional(settings);
}

}  // namespace wirepace::platform
