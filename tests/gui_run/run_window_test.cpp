// SPDX-License-Identifier: MIT
// Whole runs in the real main window on the offscreen platform, with real drones, against a
// temporary target folder: the finished run, stops, errors, a close in the middle of a drone
// test and the reports window.
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <algorithm>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>

#include "core/catalogue.h"
#include "core/run_engine.h"
#include "support/gui_test_main.h"
#include "support/modal_answers.h"
#include "support/screenshot.h"
#include "ui/graph/frm_test_graph.h"
#include "ui/main/frm_main.h"

using wirepace::ui::FrmMain;

namespace {

QString WorkRoot() {
    return QString::fromStdString(wirepace::ControllerEnvironment().workRoot);
}

QString LogPath() {
    return QString::fromStdString(wirepace::ControllerEnvironment().logPath);
}

QStringList LogLines() {
    QFile file(LogPath());
    if (!file.open(QIODevice::ReadOnly)) return {};
    QStringList lines = QString::fromUtf8(file.readAll()).split("\r\n");
    if (!lines.isEmpty() && lines.back().isEmpty()) lines.pop_back();
    return lines;
}

// What a run may leave behind in a folder: nothing but the instance lock of the work root.
QStringList Leftovers(const QString& folder) {
    QStringList names = QDir(folder).entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot |
                                               QDir::Hidden | QDir::System);
    names.removeAll("wirepace.lock");
    return names;
}

// Processes started from the work root's drone files that are still alive.
int LiveDrones() {
    int count = 0;
    const QByteArray marker = (WorkRoot() + "Drone").toLocal8Bit();
    for (const QString& pid : QDir("/proc").entryList(QDir::Dirs)) {
        bool number = false;
        pid.toInt(&number);
        if (!number) continue;
        QFile cmdline("/proc/" + pid + "/cmdline");
        if (!cmdline.open(QIODevice::ReadOnly)) continue;
        if (cmdline.readAll().startsWith(marker)) ++count;
    }
    return count;
}

// The window on the settings page, named and aimed at `dir`, smallest WAN files.
class RunWindow {
  public:
    explicit RunWindow(const QString& name, const QString& dir) : w(std::make_unique<FrmMain>()) {
        QFile::remove(LogPath());
        Box("txtTestId")->setText(name);
        QTest::mouseClick(Button("cmdOk"), Qt::LeftButton);
        if (Button("cmdNext")->text() != "Run Tests")
            throw std::runtime_error("the name was not accepted");
        // WAN "<256" is what the window starts with; choose it the way a user would anyway.
        QComboBox* type = w->findChild<QComboBox*>("cmbConnType");
        type->setCurrentIndex(1);
        emit type->activated(1);
        w->findChild<QComboBox*>("cmbConnSpeed")->setCurrentIndex(0);
        QTest::keyClicks(Box("txtDirPath"), dir);
        // A message box would wait for a click nobody makes: note it and dismiss it.
        boxWatch.setInterval(20);
        QObject::connect(&boxWatch, &QTimer::timeout, [this] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                messages << box->text();
                box->done(QMessageBox::Ok);
            }
        });
        boxWatch.start();
    }
    ~RunWindow() {
        wirepace::ui::CloseTestGraph();
        w->close();
    }

    QLineEdit* Box(const char* name) const { return w->findChild<QLineEdit*>(name); }
    QPushButton* Button(const char* name) const { return w->findChild<QPushButton*>(name); }
    // The caption as set; a label shows it ending in "..." where it exceeds its room.
    QString Caption(const char* name) const { return QString::fromStdString(w->Text(name)); }

    // Clicks "Run Tests" and keeps the event loop going until the run has ended; `onPump`
    // runs at every pass of the loop meanwhile.
    void Run(std::function<void()> onPump = {}) {
        QTimer pump;
        pump.setInterval(0);
        if (onPump) {
            QObject::connect(&pump, &QTimer::timeout, onPump);
            pump.start();
        }
        QTest::mouseClick(Button("cmdNext"), Qt::LeftButton);
        QElapsedTimer waited;
        waited.start();
        while (w->Running() && waited.elapsed() < 300'000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        // The run's last events (its end) are in the queue now.
        QCoreApplication::processEvents();
        pump.stop();
        if (w->Running()) throw std::runtime_error("the run did not end");
    }

    std::unique_ptr<FrmMain> w;
    QTimer boxWatch;
    QStringList messages;
};

using wirepace::testing::SaveScreenshot;

}  // namespace

class RunWindowTest : public QObject {
    Q_OBJECT

  private slots:
    void completeRunThenReports();
    void stopIsSeenBeforeTheNextTest();
    void stopBeforeTheLastTestEndsTheRun();
    void missingTargetFolderEndsInError76();
    void shareThatCannotBeMappedSaysWhyAtOnce();
    void fileVanishingMidRunEndsInError53();
    void closeDuringADroneTestCleansUp();
    void timerKeepsFiringDuringACopy();
};

void RunWindowTest::completeRunThenReports() {
    QTemporaryDir target;
    RunWindow win("GuiRun", target.path());  // no trailing separator: the run adds it
    FrmMain& w = *win.w;
    QStringList statuses, progress;
    win.Run([&] {
        const QString status = win.Caption("lbl1_5");
        if (statuses.isEmpty() || statuses.back() != status) statuses << status;
        // The running test's progress under the status line: a bar and a line of text.
        if (w.findChild<QWidget*>("lblProgress")->isVisible()) {
            const QString line = win.Caption("lblProgress");
            if (line.isEmpty()) return;  // a test just started
            if (progress.isEmpty()) SaveScreenshot(&w, "main_run_progress.png");
            if (progress.isEmpty() || progress.back() != line) progress << line;
            QVERIFY(w.findChild<QWidget*>("prgTest")->isVisible());
        }
    });
    QVERIFY2(!progress.isEmpty(), "no progress was shown");
    for (const QString& line : progress)
        QVERIFY2(
            QRegularExpression("^Test [1-9] of 9: .* KB/s, [0-9.,]+ s$").match(line).hasMatch(),
            qPrintable(line));
    // Shown while the run goes, gone with it.
    QVERIFY(!w.findChild<QWidget*>("lblProgress")->isVisible());
    QVERIFY(!w.findChild<QWidget*>("prgTest")->isVisible());

    QCOMPARE(win.Caption("lbl1_5"), QStringLiteral("Finished"));
    QCOMPARE(win.Caption("lbl1_7"), QString());
    QCOMPARE(win.Button("cmdNext")->text(), QStringLiteral("View Reports"));
    QVERIFY(win.Button("cmdNext")->isEnabled());
    QCOMPARE(win.Button("cmdBack")->text(), QStringLiteral("Back"));
    QVERIFY(win.Button("cmdBack")->isVisible());
    QCOMPARE(w.cursor().shape(), Qt::ArrowCursor);
    QVERIFY(w.findChild<QWidget*>("fra1_1")->isVisible());
    QCOMPARE(w.findChild<QWidget*>("fra1_1")->pos(), QPoint(0, 56));
    QCOMPARE(win.Box("txtDirPath")->text(), target.path() + "/");
    // Every test's title was the status line in its turn.
    for (const auto& test : wirepace::kCatalogue)
        QVERIFY2(statuses.contains(QString::fromUtf8(test.name)), test.name);

    const QStringList lines = LogLines();
    QCOMPARE(lines.size(), 10);
    QVERIFY2(lines[0].startsWith("-- Starting GuiRun test at "), qPrintable(lines[0]));
    QVERIFY(lines[0].endsWith(" --"));
    const QRegularExpression resultLine(
        QStringLiteral("^\"GuiRun\", \"%1/\", [^,]+, [^,]+, (\\w+), \\d+, [0-9.,]+, \"[^\"]*\"$")
            .arg(QRegularExpression::escape(target.path())));
    for (int i = 0; i < wirepace::kTestCount; ++i) {
        const auto match = resultLine.match(lines[i + 1]);
        QVERIFY2(match.hasMatch(), qPrintable(lines[i + 1]));
        QCOMPARE(match.captured(1).toStdString(), wirepace::TestId(i));
    }
    // The box holds this run's lines with CR LF, ending with the last result.
    const std::string box = w.ResultsText();
    QVERIFY(QString::fromStdString(box).endsWith(lines.back() + "\r\n"));

    const wirepace::RunResult* result = w.LastResult();
    QVERIFY(result != nullptr);
    QCOMPARE(result->tests.size(), std::size_t(9));
    for (const wirepace::TestResult& t : result->tests) QVERIFY2(t.speed > 0, t.id.c_str());
    QCOMPARE(result->tests[0].sizeMB, 0.016);
    QCOMPARE(result->tests[1].sizeMB, 0.156);
    QCOMPARE(result->tests[7].sizeMB, 0.781);

    QCOMPARE(Leftovers(WorkRoot()), QStringList());
    QCOMPARE(Leftovers(target.path()), QStringList());
    QCOMPARE(LiveDrones(), 0);
    QCOMPARE(win.messages, QStringList());
    SaveScreenshot(&w, "main_results_page.png");

    // View Reports opens the graph window and stays on offer.
    QTest::mouseClick(win.Button("cmdNext"), Qt::LeftButton);
    QWidget* graph = wirepace::ui::TestGraphWindow();
    QVERIFY(graph);
    QVERIFY(graph->isVisible());
    QCOMPARE(graph->windowTitle(), QStringLiteral("Test Results for GuiRun"));
    QCOMPARE(win.Button("cmdNext")->text(), QStringLiteral("View Reports"));

    // Save Report writes the run's report: its nine tests, this run marked in the history of
    // the window's own log.
    QTemporaryDir reports;
    {
        wirepace::testing::FileDialogAnswer answer(reports.path() + "/run.html");
        QTest::mouseClick(graph->findChild<QPushButton*>("cmdSaveReport"), Qt::LeftButton);
        QVERIFY(answer.answered);
        QVERIFY2(QFileInfo(answer.offered).fileName().startsWith("GuiRun "),
                 qPrintable(answer.offered));
    }
    QFile report(reports.path() + "/run.html");
    QVERIFY(report.open(QIODevice::ReadOnly));
    const QString html = QString::fromUtf8(report.readAll());
    for (const auto& test : wirepace::kCatalogue)
        QVERIFY2(html.contains(QStringLiteral("<tr data-test=\"%1\" data-ms=").arg(test.id)),
                 test.id);
    QVERIFY(html.contains("in the results log: 1, oldest first"));
    QCOMPARE(html.count("<tr class=\"this-run\">"), 1);
    QCOMPARE(win.messages, QStringList());

    // Esc closes it; the reports open again from the main window.
    QTest::keyClick(graph->findChild<QPushButton*>("cmdClose"), Qt::Key_Escape);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(wirepace::ui::TestGraphWindow() == nullptr);
    QTest::mouseClick(win.Button("cmdNext"), Qt::LeftButton);
    graph = wirepace::ui::TestGraphWindow();
    QVERIFY(graph && graph->isVisible());
    QCOMPARE(win.Button("cmdNext")->text(), QStringLiteral("View Reports"));

    // Back keeps the log; a second run appends to the same box and log.
    QTest::mouseClick(win.Button("cmdBack"), Qt::LeftButton);
    QCOMPARE(win.Button("cmdNext")->text(), QStringLiteral("Run Tests"));
    QVERIFY(graph->isVisible());
    QCOMPARE(w.ResultsText(), box);

    win.Run();
    QCOMPARE(win.Caption("lbl1_5"), QStringLiteral("Finished"));
    QCOMPARE(LogLines().size(), 20);

    // Closing the main window closes the graph window too.
    QTest::mouseClick(win.Button("cmdNext"), Qt::LeftButton);  // View Reports (already open)
    QCOMPARE(win.Button("cmdNext")->text(), QStringLiteral("View Reports"));
    QVERIFY(w.close());
    QVERIFY(!w.isVisible());
    QTRY_VERIFY(wirepace::ui::TestGraphWindow() == nullptr);
}

void RunWindowTest::stopIsSeenBeforeTheNextTest() {
    // A click while test 4's status is up, in the pause before it copies: test 3 is recorded
    // and the run ends before test 4 runs.
    {
        QTemporaryDir target;
        RunWindow win("Stop3", target.path());
        bool sawTest3 = false;
        QString statusAtClick;
        QString afterClickCaption, afterClickStatus, afterClickInstruction;
        bool afterClickEnabled = true;
        win.Run([&] {
            const QString line = win.Caption("lbl1_7");
            if (line == "Running Test 3. Please wait...") sawTest3 = true;
            if (sawTest3 && line == "Running Test 4. Please wait..." &&
                win.Button("cmdNext")->text() == "Stop") {
                statusAtClick = win.Caption("lbl1_5");
                QTest::mouseClick(win.Button("cmdNext"), Qt::LeftButton);
                afterClickCaption = win.Button("cmdNext")->text();
                afterClickEnabled = win.Button("cmdNext")->isEnabled();
                afterClickStatus = win.Caption("lbl1_5");
                afterClickInstruction = win.Caption("lbl1_7");
            }
        });
        QCOMPARE(statusAtClick, QString::fromStdString(wirepace::TestName(4)));
        QCOMPARE(afterClickCaption, QStringLiteral("Please Wait"));
        QVERIFY(!afterClickEnabled);
        QCOMPARE(afterClickStatus, QStringLiteral("Interrupted by user"));
        QCOMPARE(afterClickInstruction, QStringLiteral("Please wait..."));

        QCOMPARE(win.Caption("lbl1_5"), QStringLiteral("Interrupted by user"));
        QCOMPARE(win.Button("cmdNext")->text(), QStringLiteral("View Reports"));
        QVERIFY(!win.Button("cmdNext")->isEnabled());
        QVERIFY(win.Button("cmdBack")->isVisible());
        const QStringList lines = LogLines();
        QCOMPARE(lines.size(), 1 + 4);  // 1a, 1b, 2 and 3
        QVERIFY2(lines.back().contains(", 3, "), qPrintable(lines.back()));
        QCOMPARE(Leftovers(WorkRoot()), QStringList());
        QCOMPARE(Leftovers(target.path()), QStringList());
        QCOMPARE(win.messages, QStringList());
    }
    // Clicked in test 3's own pause, before it runs: test 3 is not performed.
    {
        QTemporaryDir target;
        RunWindow win("Stop3early", target.path());
        win.Run([&] {
            if (win.Caption("lbl1_7") == "Running Test 3. Please wait..." &&
                win.Button("cmdNext")->text() == "Stop")
                QTest::mouseClick(win.Button("cmdNext"), Qt::LeftButton);
        });
        QCOMPARE(win.Caption("lbl1_5"), QStringLiteral("Interrupted by user"));
        QCOMPARE(LogLines().size(), 1 + 3);
        QVERIFY(!win.Button("cmdNext")->isEnabled());
        QCOMPARE(Leftovers(WorkRoot()), QStringList());
        QCOMPARE(Leftovers(target.path()), QStringList());
    }
}

void RunWindowTest::stopBeforeTheLastTestEndsTheRun() {
    QTemporaryDir target;
    RunWindow win("Stop8", target.path());
    bool clicked = false;
    win.Run([&] {
        if (!clicked && win.Caption("lbl1_7") == "Running Test 8. Please wait...") {
            QTest::mouseClick(win.Button("cmdNext"), Qt::LeftButton);
            clicked = true;
        }
    });
    QVERIFY(clicked);
    // The last test is not recorded, and its drones are gone.
    QCOMPARE(win.Caption("lbl1_5"), QStringLiteral("Interrupted by user"));
    QCOMPARE(win.Button("cmdNext")->text(), QStringLiteral("View Reports"));
    QVERIFY(!win.Button("cmdNext")->isEnabled());
    QVERIFY(!win.w->StopRequested());
    QCOMPARE(LogLines().size(), 1 + 8);
    QCOMPARE(Leftovers(WorkRoot()), QStringList());
    QCOMPARE(Leftovers(target.path()), QStringList());
}

void RunWindowTest::missingTargetFolderEndsInError76() {
    QTemporaryDir parent;
    const QString missing = parent.filePath("no-such-folder");
    RunWindow win("Missing", missing);
    win.Run();
    QCOMPARE(win.Caption("lbl1_5"), QStringLiteral("ERROR"));
    QCOMPARE(win.Caption("lbl1_7"), QString());
    QCOMPARE(win.Button("cmdNext")->text(), QStringLiteral("View Reports"));
    QVERIFY(!win.Button("cmdNext")->isEnabled());
    const QStringList lines = LogLines();
    QCOMPARE(lines.size(), 2);
    QVERIFY2(lines.back().startsWith("-- Error: ") &&
                 lines.back().endsWith(" [76]: " + missing + "/ --"),
             qPrintable(lines.back()));
    const QString box = QString::fromStdString(win.w->ResultsText());
    QCOMPARE(box,
             lines.back() + "\r\nPlease check target folder (spelling, permissions, etc.)\r\n");
    QVERIFY(!QFileInfo::exists(missing));
    QCOMPARE(Leftovers(WorkRoot()), QStringList());
    QCOMPARE(win.messages, QStringList());
}

void RunWindowTest::shareThatCannotBeMappedSaysWhyAtOnce() {
    // Typed with backslashes, an account in the domain form and a password: the run tries
    // the mapping and ends there with the reason (the server name is unknown, or this
    // machine lacks smbnetfs or FUSE), before any connection test.
    RunWindow win("Share", "\\\\nosuchhost.invalid\\bench\\sub");
    win.Box("txtUserName")->setText("CORP\\jo o'brien");
    win.Box("txtPassword")->setText("pa ss\"w & ;|");
    QElapsedTimer clock;
    clock.start();
    win.Run();
    QVERIFY2(clock.elapsed() < 5000, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(win.Caption("lbl1_5"), QStringLiteral("ERROR"));
    QVERIFY(!win.Button("cmdNext")->isEnabled());
    const QStringList lines = LogLines();
    QCOMPARE(lines.size(), 2);
    QVERIFY2(lines.back().startsWith("-- Error: ") &&
                 (lines.back().contains("nosuchhost.invalid is unknown [53] --") ||
                  lines.back().contains("smbnetfs") || lines.back().contains("FUSE")),
             qPrintable(lines.back()));
    QVERIFY(!lines.back().contains("pa ss"));
    QVERIFY(QString::fromStdString(win.w->ResultsText()).startsWith(lines.back() + "\r\n"));
    QCOMPARE(Leftovers(WorkRoot()), QStringList());
    QCOMPARE(win.messages, QStringList());
    SaveScreenshot(win.w.get(), "main_share_not_mapped.png");
}

void RunWindowTest::fileVanishingMidRunEndsInError53() {
    QTemporaryDir target;
    RunWindow win("Vanish", target.path());
    bool removed = false;
    win.Run([&] {
        // Test 4 starts by deleting the small file test 2 sent; take it away first.
        if (!removed && win.Caption("lbl1_7") == "Running Test 4. Please wait...") {
            for (const QString& name : QDir(target.path()).entryList(QDir::Files))
                removed = QFile::remove(target.filePath(name)) || removed;
        }
    });
    QVERIFY(removed);
    QCOMPARE(win.Caption("lbl1_5"), QStringLiteral("ERROR"));
    const QStringList lines = LogLines();
    QCOMPARE(lines.size(), 1 + 4 + 1);
    QVERIFY2(lines.back().contains(" [53]: " + target.path() + "/Test"), qPrintable(lines.back()));
    QVERIFY(QString::fromStdString(win.w->ResultsText())
                .endsWith("\r\nFailed to establish a connection.\r\n"));
    QVERIFY(!win.Button("cmdNext")->isEnabled());
    QCOMPARE(Leftovers(WorkRoot()), QStringList());
    QCOMPARE(Leftovers(target.path()), QStringList());
}

void RunWindowTest::closeDuringADroneTestCleansUp() {
    QTemporaryDir target;
    RunWindow win("Closing", target.path());
    FrmMain& w = *win.w;
    bool closeRefused = false;
    win.Run([&] {
        if (!closeRefused && win.Caption("lbl1_7") == "Running Test 6. Please wait...") {
            // The close box: the window stays until the run has cleaned up.
            closeRefused = !w.close();
            QVERIFY(w.isVisible());
        }
    });
    QVERIFY(closeRefused);
    QVERIFY(!w.isVisible());
    QTRY_COMPARE_WITH_TIMEOUT(LiveDrones(), 0, 5000);
    const QStringList lines = LogLines();
    QCOMPARE(lines.size(), 1 + 6);  // the drone test about to run was stopped, not recorded
    QVERIFY(lines.back().contains(", 5, "));
    QCOMPARE(Leftovers(WorkRoot()), QStringList());
    QCOMPARE(Leftovers(target.path()), QStringList());
    QCOMPARE(win.messages, QStringList());
}

void RunWindowTest::timerKeepsFiringDuringACopy() {
    // Each piece of a copy takes 1.5 s: a window whose thread ran the copy would see its timer
    // stand still that long. The gap allowed is generous; only a blocked loop comes near it.
    qputenv("WIREPACE_TEST_MS_PER_MIB", "1500");
    QTemporaryDir target;
    RunWindow win("Ticking", target.path());
    QElapsedTimer clock;
    clock.start();
    QList<qint64> ticksInCopy;
    qint64 copyStarted = -1;
    QTimer ticker;
    ticker.setInterval(50);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        if (!win.w->Running() || !win.w->findChild<QWidget*>("prgTest")->isVisible()) return;
        const qint64 now = clock.elapsed();
        if (copyStarted < 0) copyStarted = now;
        ticksInCopy << now;
        // Two seconds into the copies are enough; Stop ends the run after the piece at hand.
        if (now - copyStarted > 2000 && win.Button("cmdNext")->text() == "Stop")
            QTest::mouseClick(win.Button("cmdNext"), Qt::LeftButton);
    });
    ticker.start();
    win.Run();
    ticker.stop();
    qunsetenv("WIREPACE_TEST_MS_PER_MIB");

    QVERIFY2(ticksInCopy.size() >= 10, qPrintable(QString::number(ticksInCopy.size())));
    qint64 longestGap = 0;
    for (qsizetype i = 1; i < ticksInCopy.size(); ++i)
        longestGap = std::max(longestGap, ticksInCopy[i] - ticksInCopy[i - 1]);
    // Kept in the log: the goal is a loop that never stands still 100 ms, which a shared
    // machine cannot promise in a test.
    qInfo("timer every 50 ms during copies: %lld ticks, longest gap %lld ms",
          static_cast<long long>(ticksInCopy.size()), static_cast<long long>(longestGap));
    QVERIFY2(longestGap < 1000, qPrintable(QString("the timer stood still %1 ms").arg(longestGap)));
    QCOMPARE(win.Caption("lbl1_5"), QStringLiteral("Interrupted by user"));
    QCOMPARE(Leftovers(WorkRoot()), QStringList());
    QCOMPARE(Leftovers(target.path()), QStringList());
}

int main(int argc, char** argv) {
    return wirepace::testing::RunWindowTests<RunWindowTest>(argc, argv);
}

#include "run_window_test.moc"
