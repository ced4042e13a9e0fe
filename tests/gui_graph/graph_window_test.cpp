// SPDX-License-Identifier: MIT
// The results graph window, opened on hand-filled results: captions, layout, the drawn chart
// read back as pixels, the table texts and the window's life cycle.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>
#include <cmath>
#include <string>

#include "common/number_format.h"
#include "core/catalogue.h"
#include "core/run_result.h"
#include "support/modal_answers.h"
#include "support/screenshot.h"
#include "ui/forms/chart_math.h"
#include "ui/graph/frm_test_graph.h"

using wirepace::RunResult;
using wirepace::TestResult;
using namespace wirepace::ui;

namespace {

// Where the chart's drawing area lies in the window: the picture box at 280, 32 with a
// one-pixel border, 449 x 217 pixels inside for 100 x 100 units.
constexpr int kGraphLeft = 281;
constexpr int kGraphTop = 33;
constexpr int kGraphInnerWidth = 449;
constexpr int kGraphInnerHeight = 217;

int GraphX(double units) {
    return kGraphLeft + static_cast<int>(std::floor(units * kGraphInnerWidth / 100));
}
int GraphY(double units) {
    return kGraphTop + static_cast<int>(std::floor(units * kGraphInnerHeight / 100));
}

const QColor kFront(0, 0, 240);
const QColor kTop(0, 0, 160);
const QColor kSide(0, 0, 140);
const QColor kBlack(0, 0, 0);

double BarTop(int index) {
    return (index - 2) * 14.0 + 5;
}

// A run's result with no test recorded yet.
RunResult Catalogue() {
    return RunResult{};
}

// Test `index` of a result, recorded now if it was not yet; the tests stay in run order.
TestResult& Figure(RunResult& result, int index) {
    auto at = result.tests.begin();
    while (at != result.tests.end() && at->index < index) ++at;
    if (at == result.tests.end() || at->index != index) {
        TestResult t;
        t.index = index;
        t.id = wirepace::TestId(index);
        t.name = wirepace::TestName(index);
        at = result.tests.insert(at, t);
    }
    return *at;
}

// A plausible run over a 100 Mbit link.
RunResult TypicalRun() {
    RunResult result;
    const double speeds[] = {48828, 89286, 6250, 7812, 10417, 11161, 9766, 10851, 10638};
    const double ms[] = {10, 112, 80, 64, 960, 896, 2048, 4608, 4700};
    const double sizes[] = {0.488, 9.766, 0.488, 0.488, 9.766, 9.766, 19.531, 48.828, 48.828};
    for (int i = 0; i < wirepace::kTestCount; ++i) {
        TestResult& t = Figure(result, i);
        t.speed = speeds[i];
        t.ms = ms[i];
        t.sizeMB = sizes[i];
    }
    return result;
}

QLabel* Label(const QString& name) {
    QWidget* window = TestGraphWindow();
    return window ? window->findChild<QLabel*>(name) : nullptr;
}

QString Text(const QString& name) {
    QLabel* label = Label(name);
    return label ? label->text() : QString("<missing %1>").arg(name);
}

QImage Shot() {
    return TestGraphWindow()->grab().toImage();
}

QColor At(const QImage& image, int x, int y) {
    return image.pixelColor(x, y);
}

bool IsBlue(const QColor& c) {
    return c.red() == 0 && c.green() == 0 && c.blue() >= 140;
}

// A one-pixel slanted line may pass a pixel above or below the one its formula gives.
bool NearColour(const QImage& image, int x, int y, const QColor& colour) {
    for (int dy = -1; dy <= 1; ++dy) {
        if (image.pixelColor(x, y + dy) == colour) return true;
    }
    return false;
}

// The first column, going right from the left edge of the chart, whose pixel at row y has the
// given colour; -1 when none has.
int FirstColumnWith(const QImage& image, int y, const QColor& colour) {
    for (int x = kGraphLeft; x < kGraphLeft + kGraphInnerWidth; ++x) {
        if (image.pixelColor(x, y) == colour) return x;
    }
    return -1;
}

void Reopen(const RunResult& state, const std::string& name = "MyServer") {
    CloseTestGraph();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    LoadTestGraph(state, name);
}

void SaveScreenshot(const QString& fileName) {
    wirepace::testing::SaveScreenshot(TestGraphWindow(), fileName);
}

}  // namespace

class GraphWindowTest : public QObject {
    Q_OBJECT

  private slots:
    void cleanup() {
        CloseTestGraph();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(TestGraphWindow() == nullptr);
    }

    void opensWithCloseFocused() {
        Reopen(TypicalRun());
        QWidget* window = TestGraphWindow();
        QCOMPARE(window->focusWidget(), window->findChild<QWidget*>("cmdClose"));
    }

    // Every chart label and table text inside the room it has, with values of a fast local
    // run (the seven-digit scale, six digits on the longest names) that once lost letters.
    void everyLabelFitsItsRoom() {
        RunResult state = TypicalRun();
        const double speeds[] = {9999999, 9999999, 1570556, 1570556, 1570556,
                                 1570556, 1570556, 517172,  517171};
        const double sizes[] = {100, 1000, 100, 100, 1000, 1000, 2000, 5000, 5000};
        for (int i = 0; i < wirepace::kTestCount; ++i) {
            TestResult& t = Figure(state, i);
            t.speed = speeds[i];
            t.ms = 99999999;
            t.sizeMB = sizes[i];
            t.comment = i == 6   ? "Possible Duplex Mismatch"
                        : i >= 7 ? "Possible Netbios/TCP Window limitation"
                                 : "";
        }
        Reopen(state);
        for (int i = 2; i <= 8; ++i) {
            QLabel* label = Label(QString("lbl1_%1").arg(i));
            const int needed = label->fontMetrics().horizontalAdvance(label->text());
            QVERIFY2(label->x() >= 0 && needed <= label->width(),
                     qPrintable(QString("%1 starts at %2").arg(label->text()).arg(label->x())));
        }
        QWidget* strip = TestGraphWindow()->findChild<QWidget*>("picScale");
        for (int k = 1; k <= 4; ++k) {
            QLabel* label = Label(QString("lbl2_%1").arg(k));
            QVERIFY2(label->x() >= 0 && label->x() + label->width() <= strip->width(),
                     qPrintable(QString("%1 reaches %2 of %3")
                                    .arg(label->text())
                                    .arg(label->x() + label->width())
                                    .arg(strip->width())));
        }
        QCOMPARE(Text("lbl2_4"), QString("1,570,556"));
        for (int cell = 0; cell < 50; ++cell) {
            QLabel* label = Label(QString("lblT_%1").arg(cell));
            for (const QString& line : label->text().split('\n')) {
                QVERIFY2(label->fontMetrics().horizontalAdvance(line) <= label->width(),
                         qPrintable(QString("cell %1: %2").arg(cell).arg(line)));
            }
        }
        QLabel* title = Label("Label1");
        QVERIFY(title->fontMetrics().horizontalAdvance(title->text()) <= title->width());
        SaveScreenshot("graph_longest_texts.png");
    }

    void captionSizeAndComposition() {
        Reopen(TypicalRun(), "Branch Office");
        QWidget* window = TestGraphWindow();
        QVERIFY(window != nullptr);
        QVERIFY(window->isVisible());
        QCOMPARE(window->objectName(), QString("frmTestGraph"));
        QCOMPARE(window->windowTitle(), QString("Test Results for Branch Office"));
        QCOMPARE(window->size(), QSize(740, 557));
        QVERIFY(!window->windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
        QCOMPARE(window->windowModality(), Qt::NonModal);
        QVERIFY(window->testAttribute(Qt::WA_DeleteOnClose));

        auto geometryOf = [&](const char* name) {
            QWidget* child = window->findChild<QWidget*>(name);
            return child ? child->geometry() : QRect();
        };
        QCOMPARE(geometryOf("picLabels"), QRect(8, 32, 269, 219));
        QCOMPARE(geometryOf("Graph"), QRect(280, 32, 451, 219));
        QCOMPARE(geometryOf("picScale"), QRect(280, 252, 451, 33));
        QCOMPARE(geometryOf("Shape1_0"), QRect(4, 4, 733, 285));
        QCOMPARE(geometryOf("Shape1_1"), QRect(4, 292, 733, 225));
        QCOMPARE(geometryOf("cmdClose"), QRect(640, 520, 97, 33));
        QCOMPARE(window->findChild<QPushButton*>("cmdClose")->text(), QString("Close"));
        QCOMPARE(Text("Label1"), QString("Calculated Throughtput"));
        // Sized to its text around the centre of its place.
        QCOMPARE(Label("Label1")->geometry().center().x(), QRect(250, 4, 197, 24).center().x());

        // Table cells: columns and rows at their pixels.
        QCOMPARE(geometryOf("lblT_0"), QRect(8, 300, 255, 31));
        QCOMPARE(geometryOf("lblT_4"), QRect(512, 300, 220, 31));
        QCOMPARE(geometryOf("lblT_5"), QRect(8, 332, 254, 19));
        QCOMPARE(geometryOf("lblT_6"), QRect(262, 332, 64, 19));
        QCOMPARE(geometryOf("lblT_12"), QRect(328, 352, 64, 19));
        QCOMPARE(geometryOf("lblT_48"), QRect(394, 492, 112, 19));
        QCOMPARE(geometryOf("lblT_49"), QRect(512, 492, 220, 19));
        QVERIFY(Label("lblT_6")->alignment().testFlag(Qt::AlignRight));
        QVERIFY(Label("lblT_9")->alignment().testFlag(Qt::AlignLeft));
        QVERIFY(Label("lblT_1")->font().bold());
        QVERIFY(!Label("lblT_6")->font().bold());
        QCOMPARE(window->findChildren<QLabel*>(QRegularExpression("^lblT_\\d+$")).size(), 50);
    }

    void emptyTestNameKeepsTrailingBlank() {
        Reopen(TypicalRun(), "");
        QCOMPARE(TestGraphWindow()->windowTitle(), QString("Test Results for "));
    }

    void barLabelsOnlyForNetworkTests() {
        RunResult state = TypicalRun();
        // A local test faster than every network test changes neither the scale nor a bar.
        Figure(state, 0).speed = 500000;
        Figure(state, 1).speed = 400000;
        Reopen(state);
        QVERIFY(Label("lbl1_0") == nullptr);
        QVERIFY(Label("lbl1_1") == nullptr);
        QCOMPARE(Text("lbl2_4"), QString("11,161"));
        for (int i = 2; i <= 8; ++i) {
            QLabel* label = Label(QString("lbl1_%1").arg(i));
            QVERIFY(label != nullptr);
            QVERIFY(label->isVisible());
            QCOMPARE(label->text(),
                     QString::fromStdString(wirepace::TestName(i) + " [" +
                                            wirepace::NumberToText(Figure(state, i).speed) + "]"));
            // Right-aligned, ending at the strip's right edge and growing to the left.
            QCOMPARE(label->x() + label->width(), 268);
            QVERIFY(label->width() > 32);
            // Rows follow the bars: 14 units apart in a strip 219 pixels for 100 units.
            QCOMPARE(label->y(), static_cast<int>(std::lround(BarTop(i) * 219 / 100)));
        }
        // The longest bar fills the full length: the side face begins at x = 95.
        const QImage image = Shot();
        const int mid = GraphY(BarTop(5) + 2);
        QCOMPARE(FirstColumnWith(image, mid, kSide), GraphX(95));
    }

    void chartFacesAndBackWall() {
        Reopen(TypicalRun());
        const QImage image = Shot();
        const double top = BarTop(5);  // the longest bar
        const int mid = GraphY(top + 2);
        // Front face from the left edge up to the 100 % position.
        for (double x = 0.5; x < 95; x += 2.5) {
            QVERIFY2(At(image, GraphX(x), mid) == kFront, qPrintable(QString("x = %1").arg(x)));
        }
        QCOMPARE(At(image, GraphX(94.5), mid), kFront);
        QCOMPARE(At(image, GraphX(95.2), mid), kSide);
        // Top face above the front face, side face to its right.
        QCOMPARE(At(image, GraphX(40), GraphY(top - 2)), kTop);
        QCOMPARE(At(image, GraphX(3.5), GraphY(top - 3)), kTop);
        QCOMPARE(At(image, GraphX(97), GraphY(top)), kSide);
        QCOMPARE(At(image, GraphX(98.5), GraphY(top - 3)), kSide);
        // Nothing right of the slanted side face.
        QVERIFY(!IsBlue(At(image, GraphX(99.8), GraphY(top + 3))));
        // The 100 % tick stands below the end of the front face.
        QCOMPARE(At(image, GraphX(95), GraphY(99)), kBlack);

        // Back wall, grid lines and floor edge, seen in the gap between two bar rows.
        const int gap = GraphY(12);
        QCOMPARE(At(image, GraphX(4), gap), kBlack);
        QCOMPARE(At(image, GraphX(25), gap), kBlack);
        QCOMPARE(At(image, GraphX(50), gap), kBlack);
        QCOMPARE(At(image, GraphX(75), gap), kBlack);
        QVERIFY(At(image, GraphX(30), gap) != kBlack);
        QCOMPARE(At(image, GraphX(60), GraphY(96)), kBlack);
        QVERIFY(At(image, GraphX(60), GraphY(93)) != kBlack);
        // The floor's depth edge from (0, 100) to (4, 96) and a depth line of a scale step.
        QVERIFY(NearColour(image, GraphX(2), GraphY(98), kBlack));
        QVERIFY(NearColour(image, GraphX(22.5), GraphY(98), kBlack));
        QVERIFY(!NearColour(image, GraphX(10), GraphY(98), kBlack));
        // A bar hides the grid line it crosses.
        QCOMPARE(At(image, GraphX(25), mid), kFront);

        // Seven bars, one per network test, each starting at the left edge.
        for (int i = 2; i <= 8; ++i) {
            QVERIFY2(IsBlue(At(image, GraphX(1), GraphY(BarTop(i) + 2))),
                     qPrintable(QString("bar %1").arg(i)));
        }
        // Nothing blue above the first bar's top face or below the last bar.
        QVERIFY(!IsBlue(At(image, GraphX(30), GraphY(0.3))));
        QVERIFY(!IsBlue(At(image, GraphX(30), GraphY(BarTop(8) + 5))));
    }

    void chartSurvivesRepaint() {
        Reopen(TypicalRun());
        const QImage before = Shot();
        QWidget* window = TestGraphWindow();
        window->hide();
        window->show();
        window->update();
        QCoreApplication::processEvents();
        QCOMPARE(Shot(), before);
    }

    void zeroSpeedBarIsThinStub() {
        RunResult state = TypicalRun();
        Figure(state, 3).speed = 0;
        Reopen(state);
        const QImage image = Shot();
        const double top = BarTop(3);
        QCOMPARE(Text("lbl1_3"), QString("INBOUND THROUGHPUT SMALL [0]"));
        // The slanted side face at the left edge, nothing further right.
        QCOMPARE(At(image, GraphX(2), GraphY(top)), kSide);
        QCOMPARE(At(image, GraphX(0.1), GraphY(top + 2)), kSide);
        QVERIFY(!IsBlue(At(image, GraphX(6), GraphY(top + 2))));
        QVERIFY(!IsBlue(At(image, GraphX(20), GraphY(top + 2))));
        // The neighbours keep their bars.
        QCOMPARE(At(image, GraphX(20), GraphY(BarTop(2) + 2)), kFront);
        QCOMPARE(At(image, GraphX(20), GraphY(BarTop(4) + 2)), kFront);
    }

    void barPercentRoundsHalvesToEven() {
        QCOMPARE(BarPercent(1, 8), std::int16_t(12));
        QCOMPARE(BarPercent(3, 8), std::int16_t(38));
        QCOMPARE(BarPercent(8, 8), std::int16_t(100));
        QCOMPARE(BarPercent(0, 8), std::int16_t(0));
        QCOMPARE(BarPercent(5, 0), std::int16_t(0));
        QCOMPARE(BarPercent(-2, 8), std::int16_t(0));
        QCOMPARE(BarPercent(std::nan(""), 8), std::int16_t(0));

        // The same rounding decides where the drawn bars end: 12 % of 95 is 11.4 units, 38 %
        // is 36.1 (unrounded, 12.5 % and 37.5 % would end at 11.875 and 35.625).
        RunResult state = Catalogue();
        Figure(state, 2).speed = 8;
        Figure(state, 3).speed = 1;
        Figure(state, 4).speed = 3;
        Reopen(state);
        const QImage image = Shot();
        QCOMPARE(FirstColumnWith(image, GraphY(BarTop(2) + 2), kSide), GraphX(95));
        QCOMPARE(FirstColumnWith(image, GraphY(BarTop(3) + 2), kSide), GraphX(11.4));
        QCOMPARE(FirstColumnWith(image, GraphY(BarTop(4) + 2), kSide), GraphX(36.1));
    }

    void maxSpeedComesFromNetworkTestsOnly() {
        std::array<double, wirepace::kTestCount> speeds{};
        speeds[0] = 900;
        speeds[1] = 800;
        QCOMPARE(MaxNetworkSpeed(speeds), 0.0);
        speeds[4] = -5;
        QCOMPARE(MaxNetworkSpeed(speeds), 0.0);
        speeds[2] = 12;
        speeds[8] = 40;
        speeds[6] = 40;
        QCOMPARE(MaxNetworkSpeed(speeds), 40.0);
        speeds[7] = std::numeric_limits<double>::infinity();
        QCOMPARE(MaxNetworkSpeed(speeds), 40.0);
    }

    void scaleLabels_data() {
        QTest::addColumn<double>("maxSpeed");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("1234") << 1234.0 << QStringList{"308", "617", "925", "1,234"};
        QTest::newRow("10") << 10.0 << QStringList{"2", "5", "7", "10"};
        QTest::newRow("3") << 3.0 << QStringList{"0", "1", "2", "3"};
        QTest::newRow("0") << 0.0 << QStringList{"0", "0", "0", "0"};
        QTest::newRow("1234567") << 1234567.0
                                 << QStringList{"308,641", "617,283", "925,925", "1,234,567"};
    }

    void scaleLabels() {
        QFETCH(double, maxSpeed);
        QFETCH(QStringList, expected);
        RunResult state = Catalogue();
        Figure(state, 6).speed = maxSpeed;
        Reopen(state);
        QCOMPARE(Text("lbl2_0"), QString());
        for (int k = 1; k <= 4; ++k) {
            QLabel* label = Label(QString("lbl2_%1").arg(k));
            QVERIFY(label != nullptr);
            QVERIFY(label->isVisible());
            QCOMPARE(label->text(), expected[k - 1]);
            // Centred on p - 5 of its scale step, in a strip of 451 pixels for 100 units;
            // a value too wide for that ends at the strip's edge instead of being cut.
            const double centre = (25.0 * k - 5) * 451 / 100;
            if (centre + label->width() / 2.0 <= 451) {
                QVERIFY2(std::abs(label->x() + label->width() / 2.0 - centre) <= 1.0,
                         qPrintable(QString("label %1 at %2").arg(k).arg(label->x())));
            } else {
                QCOMPARE(label->x() + label->width(), 451);
            }
            QCOMPARE(label->y(), 4);
        }
        // The unlabelled origin lies wholly left of the strip.
        QVERIFY(Label("lbl2_0")->x() + Label("lbl2_0")->width() <= 0);
        // "KB/s" is printed below the middle of the strip.
        const QImage image = Shot();
        int ink = 0;
        for (int y = 252 + 16; y < 252 + 33; ++y) {
            for (int x = 280 + 185; x < 280 + 240; ++x) {
                if (image.pixelColor(x, y).lightness() < 80) ++ink;
            }
        }
        QVERIFY2(ink > 20, qPrintable(QString("ink %1").arg(ink)));
    }

    void allZeroRunDrawsStubsOnly() {
        RunResult state = Catalogue();
        Figure(state, 3).speed = -1;  // never raises the maximum above 0
        Reopen(state);
        const QImage image = Shot();
        for (int i = 2; i <= 8; ++i) {
            const double top = BarTop(i);
            QCOMPARE(At(image, GraphX(2), GraphY(top)), kSide);
            QVERIFY(!IsBlue(At(image, GraphX(10), GraphY(top + 2))));
            QVERIFY(!IsBlue(At(image, GraphX(60), GraphY(top + 2))));
        }
        for (int k = 1; k <= 4; ++k) QCOMPARE(Text(QString("lbl2_%1").arg(k)), QString("0"));
        QCOMPARE(Text("lbl1_8"), QString("INBOUND NETBIOS/TCP WINDOW TEST [0]"));
    }

    void tableTexts() {
        RunResult state = TypicalRun();
        Figure(state, 2).sizeMB = 0.156;
        Figure(state, 3).sizeMB = 0;
        Figure(state, 4).sizeMB = 10;
        Figure(state, 5).sizeMB = 1234.5;
        Figure(state, 2).speed = 0;
        Figure(state, 3).speed = 1234;
        Figure(state, 4).ms = 1234;
        Figure(state, 7).comment = "Possible Netbios/TCP Window limitation";
        Figure(state, 4).comment = "Possible Duplex Mismatch";
        Reopen(state);

        QCOMPARE(Text("lblT_0"), QString("\nTest"));
        QCOMPARE(Text("lblT_1"), QString("Raw Time\n(ms)"));
        QCOMPARE(Text("lblT_2"), QString("File Size\n(MB)"));
        QCOMPARE(Text("lblT_3"), QString("Calculated Speed\n(KB/s)"));
        QCOMPARE(Text("lblT_4"), QString("\nComment"));

        auto cell = [](int row, int column) {
            return Text(QString("lblT_%1").arg(row * 5 + column));
        };
        for (int n = 0; n < 9; ++n) {
            QCOMPARE(cell(n + 1, 0), QString::fromStdString(wirepace::TestName(n)));
        }
        QCOMPARE(cell(3, 2), QString(".156"));
        QCOMPARE(cell(4, 2), QString(".0"));
        QCOMPARE(cell(5, 2), QString("10.0"));
        QCOMPARE(cell(6, 2), QString("1,234.5"));
        QCOMPARE(cell(3, 3), QString(""));
        QCOMPARE(cell(4, 3), QString("1,234"));
        QCOMPARE(cell(7, 3), QString("9,766"));
        // Raw times and comments stand unchanged, without grouping.
        QCOMPARE(cell(5, 1), QString("1234"));
        QCOMPARE(cell(9, 1), QString("4700"));
        QCOMPARE(cell(5, 4), QString("Possible Duplex Mismatch"));
        QCOMPARE(cell(8, 4), QString("Possible Netbios/TCP Window limitation"));
        QCOMPARE(cell(1, 4), QString(""));
        QCOMPARE(cell(1, 2), QString(".488"));
        SaveScreenshot("graph_table_edge_values.png");
    }

    void testsNeverRunLeaveEmptyCells() {
        Reopen(Catalogue());
        for (int r = 1; r <= 9; ++r) {
            QVERIFY(!Text(QString("lblT_%1").arg(r * 5)).isEmpty());
            for (int c = 1; c <= 4; ++c) {
                QCOMPARE(Text(QString("lblT_%1").arg(r * 5 + c)), QString());
            }
        }
    }

    void gridLinesAndBands() {
        Reopen(TypicalRun());
        QWidget* window = TestGraphWindow();
        const int columns[] = {7, 263, 329, 395, 509, 732};
        for (int j = 0; j <= 5; ++j) {
            QWidget* line = window->findChild<QWidget*>(QString("v_%1").arg(j));
            QVERIFY(line != nullptr);
            QVERIFY(line->isVisible());
            QCOMPARE(line->geometry(), QRect(columns[j], 297, 1, 512 - 297));
        }
        const int rows[] = {297, 329, 349, 369, 389, 409, 429, 449, 469, 489, 511};
        for (int j = 0; j <= 10; ++j) {
            QWidget* line = window->findChild<QWidget*>(QString("h_%1").arg(j));
            QVERIFY(line != nullptr);
            QVERIFY(line->isVisible());
            QCOMPARE(line->geometry(), QRect(8, rows[j], 732 - 8, 1));
        }
        QWidget* header = window->findChild<QWidget*>("sh_0");
        QWidget* body = window->findChild<QWidget*>("sh_1");
        QVERIFY(header && body);
        QCOMPARE(header->geometry(), QRect(7, 297, 727, 35));
        QCOMPARE(body->geometry(), QRect(7, 329, 727, 182));

        // As drawn: lines in front of the cells, bands behind them in the cells' colours.
        const QImage image = Shot();
        const QColor text = window->palette().color(QPalette::Text);
        const QColor base = window->palette().color(QPalette::Base);
        QCOMPARE(At(image, 7, 400), text);
        QCOMPARE(At(image, 263, 340), text);  // crosses the raw-time cell
        QCOMPARE(At(image, 732, 300), text);
        QCOMPARE(At(image, 100, 349), text);  // crosses the lower part of row 1
        QCOMPARE(At(image, 100, 511), text);
        QCOMPARE(At(image, 100, 298), QColor(192, 192, 0));  // header band above the cells
        QCOMPARE(At(image, 250, 310), QColor(192, 192, 0));  // header cell
        QCOMPARE(At(image, 250, 345), base);                 // body cell
        QCOMPARE(At(image, 733, 400), base);                 // body band right of the last line
        QVERIFY(At(image, 100, 515) != text);                // nothing below the table
    }

    void loadingWhileOpenChangesNothing() {
        Reopen(TypicalRun(), "First");
        QWidget* first = TestGraphWindow();
        const QImage before = Shot();
        const QString speedCell = Text("lblT_28");

        RunResult later = Catalogue();
        Figure(later, 5).speed = 1;
        Figure(later, 2).speed = 99999;
        LoadTestGraph(later, "Second");
        QCOMPARE(TestGraphWindow(), first);
        QCOMPARE(first->windowTitle(), QString("Test Results for First"));
        QCOMPARE(Text("lblT_28"), speedCell);
        QCOMPARE(first->findChildren<QLabel*>("lbl1_3").size(), 1);
        QCOMPARE(Shot(), before);
    }

    void closeAndReopenRebuilds() {
        Reopen(TypicalRun(), "First");
        QPointer<QWidget> first = TestGraphWindow();
        QTest::mouseClick(first->findChild<QPushButton*>("cmdClose"), Qt::LeftButton);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(first.isNull());
        QVERIFY(TestGraphWindow() == nullptr);

        RunResult later = Catalogue();
        Figure(later, 2).speed = 10;
        LoadTestGraph(later, "Second");
        QWidget* second = TestGraphWindow();
        QVERIFY(second != nullptr);
        QCOMPARE(second->windowTitle(), QString("Test Results for Second"));
        QCOMPARE(Text("lbl2_4"), QString("10"));
        QCOMPARE(Text("lblT_18"), QString("10"));
        QCOMPARE(Text("lblT_33"), QString(""));
        // Controls made at run time exist once, as in a first load.
        QCOMPARE(second->findChildren<QLabel*>("lbl1_8").size(), 1);
        QCOMPARE(second->findChildren<QLabel*>("lbl2_4").size(), 1);
        QCOMPARE(second->findChildren<QWidget*>("h_10").size(), 1);
        const QImage image = Shot();
        QCOMPARE(At(image, GraphX(50), GraphY(BarTop(2) + 2)), kFront);
        QVERIFY(!IsBlue(At(image, GraphX(50), GraphY(BarTop(5) + 2))));

        CloseTestGraph();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(TestGraphWindow() == nullptr);
        CloseTestGraph();  // closing what is not open does nothing
    }

    // "Save Report..." beside "Close": the file dialog offers the test name and the run's
    // date; the report lands where the user points; a cancel writes nothing; a name that
    // cannot take the report is said and the window stays. Esc closes the window.
    void saveReportAndEsc() {
        QTemporaryDir dir;
        const QString log = dir.path() + "/TestResults.txt";
        QFile file(log);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(
            "-- Starting Lab test at 10:00:00 --\r\n"
            "\"Lab\", \"/mnt/x/\", 2026-11-01, 10:00:01.121, 2, 80, 6000, \"\"\r\n");
        file.close();
        RunResult state = TypicalRun();
        state.settings.testName = "Lab";
        state.settings.target = "/mnt/x";
        state.target = "/mnt/x/";
        state.startedAt = 1796652309;
        CloseTestGraph();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        LoadTestGraph(state, "Lab", log.toStdString());
        QWidget* window = TestGraphWindow();
        auto* save = window->findChild<QPushButton*>("cmdSaveReport");
        QVERIFY(save && save->isVisible());
        QCOMPARE(save->text(), QString("Save Report..."));
        QCOMPARE(save->geometry(), QRect(536, 520, 97, 33));
        SaveScreenshot("graph_save_report.png");

        const QString report = dir.path() + "/lab.html";
        {
            wirepace::testing::FileDialogAnswer cancel("");
            QTest::mouseClick(save, Qt::LeftButton);
            QVERIFY(cancel.answered);
            const QString offered = QFileInfo(cancel.offered).fileName();
            QVERIFY2(
                QRegularExpression("^Lab 2026-12-0[78] \\d{4}\\.html$").match(offered).hasMatch(),
                qPrintable(offered));
        }
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"TestResults.txt"});
        {
            wirepace::testing::FileDialogAnswer answer(report);
            wirepace::testing::MessageBoxWatch boxes;
            QTest::mouseClick(save, Qt::LeftButton);
            QVERIFY(answer.answered);
            QCOMPARE(boxes.texts, QStringList());
        }
        QFile written(report);
        QVERIFY(written.open(QIODevice::ReadOnly));
        const QString html = QString::fromUtf8(written.readAll());
        QVERIFY(html.contains("<title>Wirepace report: Lab</title>"));
        QVERIFY(html.contains("<td class=\"num\">11,161</td>"));
        QVERIFY(html.contains("in the results log: 2, oldest first"));  // the earlier run and this
        QCOMPARE(html.count("<tr class=\"this-run\">"), 1);

        // A link under the chosen name is refused: said in a message, nothing written.
        const QString link = dir.path() + "/link.html";
        QVERIFY(QFile::link(dir.path() + "/elsewhere.html", link));
        {
            wirepace::testing::FileDialogAnswer answer(link);
            wirepace::testing::MessageBoxWatch boxes;
            QTest::mouseClick(save, Qt::LeftButton);
            QTRY_COMPARE(boxes.texts.size(), 1);
            QVERIFY2(boxes.texts[0].startsWith("Cannot write the report to " + link + ": "),
                     qPrintable(boxes.texts[0]));
        }
        QVERIFY(!QFile::exists(dir.path() + "/elsewhere.html"));
        QCOMPARE(TestGraphWindow(), window);

        // Esc, pressed on a button, closes the window; another key does not.
        QTest::keyClick(save, Qt::Key_A);
        QCOMPARE(TestGraphWindow(), window);
        QTest::keyClick(window->findChild<QPushButton*>("cmdClose"), Qt::Key_Escape);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(TestGraphWindow() == nullptr);
    }

    void screenshots() {
        Reopen(TypicalRun(), "LAN 100 Mbit");
        SaveScreenshot("graph_typical_lan.png");
        Reopen(Catalogue(), "All zero");
        SaveScreenshot("graph_all_zero.png");
    }
};

QTEST_MAIN(GraphWindowTest)
#include "graph_window_test.moc"
