// SPDX-License-Identifier: MIT
// GUI tests keep a picture of each window state for people to look at.
#pragma once

#include <QCoreApplication>
#include <QDir>
#include <QTest>
#include <QWidget>

namespace wirepace::testing {

// Saves what `widget` shows as a PNG into $WIREPACE_SCREENSHOT_DIR (set by CTest), or, when a
// test is run by hand, into the build folder's screenshots/ beside bin/.
inline void SaveScreenshot(QWidget* widget, const QString& name) {
    QString dir = qEnvironmentVariable("WIREPACE_SCREENSHOT_DIR");
    if (dir.isEmpty()) dir = QCoreApplication::applicationDirPath() + "/../screenshots";
    QVERIFY(QDir().mkpath(dir));
    QVERIFY(widget->grab().save(dir + "/" + name));
}

}  // namespace wirepace::testing
