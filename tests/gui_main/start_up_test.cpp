// SPDX-License-Identifier: MIT
// The real wirepace program at start: a second instance is refused while the first stays up,
// without a display it says what to use instead, and a stop signal closes its window.
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QString kProgram = QStringLiteral(WIREPACE_PROGRAM);

QProcessEnvironment Environment(const QTemporaryDir& root, bool display) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_CACHE_HOME", root.filePath("cache"));
    env.insert("XDG_DATA_HOME", root.filePath("data"));
    env.insert("XDG_CONFIG_HOME", root.filePath("config"));
    env.insert("XDG_RUNTIME_DIR", root.path());
    env.remove("DISPLAY");
    env.remove("WAYLAND_DISPLAY");
    env.remove("QT_QPA_PLATFORM");
    if (display) env.insert("QT_QPA_PLATFORM", "offscreen");
    return env;
}

// True once some process holds the controller's instance lock in that work root.
bool LockHeld(const QString& lockPath) {
    const int fd = ::open(lockPath.toLocal8Bit().constData(), O_RDWR);
    if (fd < 0) return false;
    const bool held = ::flock(fd, LOCK_EX | LOCK_NB) != 0;
    ::close(fd);  // releases it again if we got it
    return held;
}

}  // namespace

class StartUpTest : public QObject {
    Q_OBJECT

  private slots:
    void secondInstanceIsRefused();
    void withoutADisplayPointsToTheCommandLine();
    void aWorkRootThatIsALinkIsRefused();
    void stopSignalsCloseTheWindowAsTheUserWould();
};

void StartUpTest::secondInstanceIsRefused() {
    QTemporaryDir root;
    QVERIFY(root.isValid());
    QProcess first;
    first.setProcessEnvironment(Environment(root, true));
    first.start(kProgram, {});
    QVERIFY(first.waitForStarted(10000));
    QTRY_VERIFY_WITH_TIMEOUT(LockHeld(root.filePath("cache/wirepace/wirepace.lock")), 15000);

    QProcess second;
    second.setProcessEnvironment(Environment(root, true));
    QElapsedTimer clock;
    clock.start();
    second.start(kProgram, {});
    QVERIFY(second.waitForStarted(10000));
    QVERIFY2(second.waitForFinished(10000), "the second instance ends on its own");
    QVERIFY(clock.elapsed() < 10000);
    QCOMPARE(second.exitStatus(), QProcess::NormalExit);
    QCOMPARE(second.exitCode(), 0);
    QVERIFY(QString::fromLocal8Bit(second.readAllStandardError())
                .contains("Program is already running."));

    // The first one is not disturbed by the attempt.
    QTest::qWait(300);
    QCOMPARE(first.state(), QProcess::Running);
    QVERIFY(LockHeld(root.filePath("cache/wirepace/wirepace.lock")));
    first.kill();
    QVERIFY(first.waitForFinished(10000));

    // With the first gone the next start takes over.
    QProcess third;
    third.setProcessEnvironment(Environment(root, true));
    third.start(kProgram, {});
    QVERIFY(third.waitForStarted(10000));
    QTRY_VERIFY_WITH_TIMEOUT(LockHeld(root.filePath("cache/wirepace/wirepace.lock")), 15000);
    QCOMPARE(third.state(), QProcess::Running);
    QVERIFY(!third.readAllStandardError().contains("already running"));
    third.kill();
    QVERIFY(third.waitForFinished(10000));
}

void StartUpTest::withoutADisplayPointsToTheCommandLine() {
    QTemporaryDir root;
    QProcess program;
    program.setProcessEnvironment(Environment(root, false));
    program.start(kProgram, {});
    QVERIFY(program.waitForStarted(10000));
    QVERIFY(program.waitForFinished(10000));
    QCOMPARE(program.exitCode(), 2);
    const QString err = QString::fromLocal8Bit(program.readAllStandardError());
    QVERIFY2(err.contains("no display is available"), qPrintable(err));
    QVERIFY2(err.contains("wirepace-cli"), qPrintable(err));
    // It gave up before touching the work root.
    QVERIFY(!QFile::exists(root.filePath("cache/wirepace/wirepace.lock")));
}

void StartUpTest::aWorkRootThatIsALinkIsRefused() {
    QTemporaryDir root;
    QVERIFY(QDir(root.path()).mkpath("cache"));
    QVERIFY(QDir(root.path()).mkpath("elsewhere"));
    QVERIFY(QFile::link(root.filePath("elsewhere"), root.filePath("cache/wirepace")));
    QProcess program;
    program.setProcessEnvironment(Environment(root, true));
    program.start(kProgram, {});
    QVERIFY(program.waitForStarted(10000));
    QVERIFY(program.waitForFinished(10000));
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);  // said, not aborted
    QCOMPARE(program.exitCode(), 1);
    const QString err = QString::fromLocal8Bit(program.readAllStandardError());
    QVERIFY2(err.contains(root.filePath("cache/wirepace") + " is a symbolic link"),
             qPrintable(err));
    QVERIFY(QDir(root.filePath("elsewhere")).isEmpty());
}

void StartUpTest::stopSignalsCloseTheWindowAsTheUserWould() {
    // SIGTERM from a shutdown, SIGHUP from the terminal it was started from: the window closes
    // and the program ends as after a click on the close box, instead of being killed.
    for (const int signal : {SIGTERM, SIGHUP}) {
        QTemporaryDir root;
        QProcess program;
        program.setProcessEnvironment(Environment(root, true));
        program.start(kProgram, {});
        QVERIFY(program.waitForStarted(10000));
        const QString lock = root.filePath("cache/wirepace/wirepace.lock");
        QTRY_VERIFY_WITH_TIMEOUT(LockHeld(lock), 15000);
        ::kill(static_cast<pid_t>(program.processId()), signal);
        QVERIFY(program.waitForFinished(10000));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 0);
        QVERIFY(!LockHeld(lock));
    }
}

QTEST_GUILESS_MAIN(StartUpTest)
#include "start_up_test.moc"
