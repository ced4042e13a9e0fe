// SPDX-License-Identifier: MIT
// The decision whether the window turns on the themed controls, against recorded system answers.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ui/win32/themed_controls.h"

namespace wirepace {
namespace {

// The system queries recorded, so the test sees which were asked.
struct ThemeSystem {
    ThemeSystem(bool readable, unsigned long ma, unsigned long mi, bool th = true,
                unsigned long cc = 6)
        : versionReadable(readable), major(ma), minor(mi), themed(th), comctl(cc) {}
    bool versionReadable;
    unsigned long major, minor;
    bool themed;
    unsigned long comctl;
    std::vector<std::string> asked;

    bool Decide() {
        ui::win32::ThemeQueries q;
        q.osVersion = [this](unsigned long& ma, unsigned long& mi) {
            asked.push_back("version");
            if (!versionReadable) return false;
            ma = major;
            mi = minor;
            return true;
        };
        q.isAppThemed = [this] {
            asked.push_back("themed");
            return themed;
        };
        q.commonControlsMajor = [this] {
            asked.push_back("comctl");
            return comctl;
        };
        return ui::win32::IsThemed(q);
    }
};

TEST(Themes, ThemedOnlyFromVersion51WithAThemeAndCommonControls6) {
    ThemeSystem xp{true, 5, 1};
    EXPECT_TRUE(xp.Decide());
    EXPECT_EQ(xp.asked, (std::vector<std::string>{"version", "themed", "comctl"}));

    ThemeSystem win10{true, 10, 0};
    EXPECT_TRUE(win10.Decide());

    ThemeSystem w2000{true, 5, 0};
    EXPECT_FALSE(w2000.Decide());
    EXPECT_EQ(w2000.asked, (std::vector<std::string>{"version"}));  // nothing else is asked

    ThemeSystem unreadable{false, 6, 1};
    EXPECT_FALSE(unreadable.Decide());
    EXPECT_EQ(unreadable.asked, (std::vector<std::string>{"version"}));

    ThemeSystem classic{true, 6, 1, false};
    EXPECT_FALSE(classic.Decide());
    EXPECT_EQ(classic.asked, (std::vector<std::string>{"version", "themed"}));

    ThemeSystem oldControls{true, 6, 1, true, 5};
    EXPECT_FALSE(oldControls.Decide());
}

}  // namespace
}  // namespace wirepace
