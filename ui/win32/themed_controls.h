// SPDX-License-Identifier: MIT
// The themed look of the standard controls, turned on before the first window where the system
// offers it.
#pragma once

#include <functional>

namespace wirepace::ui::win32 {

// What the themed-controls decision asks the system; each is called only when the answer
// before it allows.
struct ThemeQueries {
    // Fills major and minor version; false when the version cannot be read (then both are 0).
    std::function<bool(unsigned long& major, unsigned long& minor)> osVersion;
    std::function<bool()> isAppThemed;
    // The major version of the common-controls library, 0 when it cannot be read.
    std::function<unsigned long()> commonControlsMajor;
};
// Themed from Windows 5.1 on, with a theme in use and common controls 6.
bool IsThemed(const ThemeQueries& queries);

// Registers the common control classes when the system is themed.
void EnableThemedControls();

// Registers the system's progress bar class, themed or not, before a form creates one.
void RegisterProgressClass();

}  // namespace wirepace::ui::win32
