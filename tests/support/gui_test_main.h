// SPDX-License-Identifier: MIT
// The main function of a window test: its own work root, log folder and runtime folder, set
// before anything reads them, then the controller's start-up state and the test object.
#pragma once

#include <QApplication>
#include <QTemporaryDir>
#include <QTest>

namespace wirepace::testing {

template <typename TestObject>
int RunWindowTests(int argc, char** argv) {
    QTemporaryDir cache, data, runtime;
    qputenv("XDG_CACHE_HOME", cache.path().toUtf8());
    qputenv("XDG_DATA_HOME", data.path().toUtf8());
    qputenv("XDG_RUNTIME_DIR", runtime.path().toUtf8());
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    TestObject test;
    return QTest::qExec(&test, argc, argv);
}

}  // namespace wirepace::testing
