// SPDX-License-Identifier: MIT
// The C library's date and time formats as our date patterns, for the locales users have.
#include <gtest/gtest.h>

#include "platform/platform_posix_detail.h"

namespace wirepace::platform::posix {
namespace {

struct Case {
    const char* format;
    const char* pattern;
    const char* separator;
};

TEST(RegionalFormats, DatesOfCommonLocales) {
    for (const Case& c : {
             Case{"%d.%m.%Y", "dd/mm/yyyy", "."},  // de_DE
             Case{"%d/%m/%Y", "dd/mm/yyyy", "/"},  // en_GB, fr_FR
             Case{"%Y-%m-%d", "yyyy/mm/dd", "-"},  // sv_SE
             Case{"%F", "yyyy/mm/dd", "-"},        // ISO
             Case{"%m/%d/%Y", "mm/dd/yyyy", "/"},  // en_US
             Case{"%e.%m.%y", "d/mm/yy", "."},     // without leading zero, two-digit year
         }) {
        std::string separator = "?";
        EXPECT_EQ(DatePatternFromFormat(c.format, separator), c.pattern) << c.format;
        EXPECT_EQ(separator, c.separator) << c.format;
    }
}

TEST(RegionalFormats, TimesOfCommonLocales) {
    for (const Case& c : {
             Case{"%T", "hh:nn:ss", "?"},                // the separator stays the default
             Case{"%H.%M.%S", "hh:nn:ss", "."},          // fi_FI
             Case{"%I:%M:%S %p", "hh:nn:ss AMPM", ":"},  // twelve hours keep their marker
             Case{"%r", "hh:nn:ss AMPM", ":"},           // en_US: T_FMT_AMPM stands for it
             Case{"%p %l.%M.%S", "AMPM h:nn:ss", "."},   // marker first, no leading zero
             Case{"%H:%M:%S %Z", "hh:nn:ss", ":"},       // a left-out zone leaves no blank
         }) {
        std::string separator = "?";
        EXPECT_EQ(TimePatternFromFormat(c.format, separator), c.pattern) << c.format;
        EXPECT_EQ(separator, c.separator) << c.format;
    }
    std::string separator = ":";
    EXPECT_EQ(TimePatternFromFormat("%p", separator), "");  // nothing usable: keep the default
}

}  // namespace
}  // namespace wirepace::platform::posix
