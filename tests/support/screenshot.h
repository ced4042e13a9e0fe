// SPDX-License-Identifier: MIT
// GUI tests keep a picture of each window state for people to look at.
#pragma once

#include <QDir>
#include <QTest>
#include <QWidget>

namespace wirepace::testing {

// Saves what `widget` shows as a PNG into $WIREPACE_SCREENSHOT_DIR (set by the build for GUI
// tests); does nothing when it is not set.
inline void SaveScreenshot(QWidget* widget, const QString& name) {
    const QString dir = qEnvironmentVariable("WIREPACE_SCREENSHOT_DIR");
    if (dir.isEmpty()) return;
    QVERIFY(QDir().mkpath(dir));
    QVERIFY(widget->grab().save(dir + "/" + name));
}

}  // namespace wirepace::testing
