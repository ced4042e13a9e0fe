// SPDX-License-Identifier: MIT
#include "ui/graph/frm_test_graph.h"

#include <QPointer>
#include <cmath>

#include "common/number_format.h"
#include "ui/forms/chart_math.h"
#include "ui/graph/frm_test_graph_window.h"

namespace wirepace::ui {

namespace {

const QColor kBlack(0, 0, 0);
const QColor kFrontFace(0, 0, 240);
const QColor kTopFace(0, 0, 160);
const QColor kSideFace(0, 0, 140);
const QColor kHeaderBackground(192, 192, 0);

// Chart constants, in chart units.
constexpr double kDepth = 4;
constexpr double kBarThickness = 4;
constexpr double kBarPitch = 14;
constexpr double kFirstBarTop = 5;
constexpr double kScaleOffset = -5;
constexpr double kTickLength = 2;
constexpr double kFillStep = 0.1;

// Table layout in window pixels.
constexpr std::array<int, 5> kColumnLeft = {8, 262, 328, 394, 512};
constexpr std::array<int, 5> kColumnWidth = {254, 64, 64, 112, 220};
constexpr int kHeaderNameWidth = 255;
constexpr int kHeaderTop = 300;
constexpr int kHeaderHeight = 31;
constexpr int kFirstRowTop = 332;
constexpr int kRowPitch = 20;
constexpr int kRowHeight = 19;
constexpr std::array<int, 6> kColumnLines = {7, 263, 329, 395, 509, 732};

double BarTop(int index) {
    return (index - kFirstBarIndex) * kBarPitch + kFirstBarTop;
}

// The bar-length arithmetic works on 16-bit integers; keep the conversions in range.
std::int16_t ToInt16(double value) {
    double rounded = RoundHalfEven(value);
    if (!(rounded >= -32768)) return -32768;
    if (rounded > 32767) return 32767;
    return static_cast<std::int16_t>(rounded);
}

QString Qs(const std::string& text) {
    return QString::fromStdString(text);
}

// Sizes a label to its text and keeps its right edge where it was.
void SizeKeepingRight(QLabel* label) {
    const int right = label->x() + label->width();
    label->adjustSize();
    label->move(right - label->width(), label->y());
}

QPointer<FrmTestGraph> g_window;

}  // namespace

FrmTestGraph::FrmTestGraph()
    : QWidget(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                           Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint) {
    setObjectName("frmTestGraph");
    setAttribute(Qt::WA_DeleteOnClose);
    setFixedSize(740, 557);
    setFont(SansFont(8.25));

    // Bands first: they lie behind every other control of the table.
    for (int i = 0; i < 2; ++i) {
        sh_[i] = new BandControl(this);
        sh_[i]->setObjectName(QString("sh_%1").arg(i));
    }

    const std::array<QRect, 2> frames = {QRect(4, 4, 733, 285), QRect(4, 292, 733, 225)};
    for (int i = 0; i < 2; ++i) {
        Shape1_[i] = new ShapeControl(this);
        Shape1_[i]->setObjectName(QString("Shape1_%1").arg(i));
        Shape1_[i]->setGeometry(frames[i]);
    }

    Label1_ = new QLabel("Calculated Throughtput", this);
    Label1_->setObjectName("Label1");
    Label1_->setFont(SansFont(13.5));
    Label1_->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    Label1_->setGeometry(250, 4, 197, 24);
    {
        const int centre = Label1_->x() + Label1_->width() / 2;
        Label1_->adjustSize();
        Label1_->move(centre - Label1_->width() / 2, Label1_->y());
    }

    picLabels_ = new PictureBox(this, false);
    picLabels_->setObjectName("picLabels");
    picLabels_->setGeometry(8, 32, 269, 219);
    Graph_ = new PictureBox(this, true);
    Graph_->setObjectName("Graph");
    Graph_->setGeometry(280, 32, 451, 219);
    picScale_ = new PictureBox(this, false);
    picScale_->setObjectName("picScale");
    picScale_->setGeometry(280, 252, 451, 33);

    lbl1_[2] = new QLabel(picLabels_);
    lbl1_[2]->setObjectName("lbl1_2");
    lbl1_[2]->setAlignment(Qt::AlignRight | Qt::AlignTop);
    lbl1_[2]->setGeometry(236, 8, 32, 13);

    lbl2_[0] = new QLabel(picScale_);
    lbl2_[0]->setObjectName("lbl2_0");
    lbl2_[0]->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    lbl2_[0]->setGeometry(8, 4, 32, 13);

    for (int r = 0; r < 10; ++r) {
        for (int c = 0; c < 5; ++c) {
            auto* cell = new QLabel(this);
            const int index = r * 5 + c;
            cell->setObjectName(QString("lblT_%1").arg(index));
            const bool header = r == 0;
            const int width = header && c == 0 ? kHeaderNameWidth : kColumnWidth[c];
            const int top = header ? kHeaderTop : kFirstRowTop + kRowPitch * (r - 1);
            cell->setGeometry(kColumnLeft[c], top, width, header ? kHeaderHeight : kRowHeight);
            const bool leftAligned = c == 0 || c == 4;
            cell->setAlignment((leftAligned ? Qt::AlignLeft : Qt::AlignRight) | Qt::AlignTop);
            cell->setFont(SansFont(8.25, header));
            cell->setWordWrap(true);
            cell->setAutoFillBackground(true);
            QPalette colours = cell->palette();
            colours.setColor(QPalette::Window,
                             header ? kHeaderBackground : palette().color(QPalette::Base));
            colours.setColor(QPalette::WindowText, palette().color(QPalette::Text));
            cell->setPalette(colours);
            lblT_[index] = cell;
        }
    }

    v_[0] = NewLine("v_0");
    h_[0] = NewLine("h_0");

    cmdClose_ = new QPushButton("Close", this);
    cmdClose_->setObjectName("cmdClose");
    cmdClose_->setGeometry(640, 520, 97, 33);
    connect(cmdClose_, &QPushButton::clicked, this, &QWidget::close);
}

QLabel* FrmTestGraph::NewLabelLike(QLabel* model, QWidget* parent, const QString& name) {
    auto* label = new QLabel(parent);
    label->setObjectName(name);
    label->setFont(model->font());
    label->setAlignment(model->alignment());
    label->setGeometry(model->geometry());
    label->hide();
    return label;
}

LineControl* FrmTestGraph::NewLine(const QString& name) {
    auto* line = new LineControl(this);
    line->setObjectName(name);
    return line;
}

void FrmTestGraph::Load(const BenchmarkState& state, const std::string& testName) {
    maxSpeed_ = 0;
    setWindowTitle(Qs("Test Results for " + testName));
    maxSpeed_ = MaxNetworkSpeed(state.TestSpeeds);
    DrawScale("100", "100", kLastBarIndex);
    DrawBars(state.TestSpeeds, state.TestNames);
    DrawTableGrid();
    FillTable(state);
    PlaceBands();
}

void FrmTestGraph::DrawScale(const QString& scaleWidth, const QString& scaleHeight,
                             std::int16_t lastBarIndex) {
    const double sw = scaleWidth.toFloat();
    const double shUnits = scaleHeight.toFloat();

    // The label strips share the chart's coordinates along the axis they run beside.
    picLabels_->resize(picLabels_->width(), Graph_->height());
    picLabels_->SetScaleHeight(shUnits);
    picScale_->resize(Graph_->width(), picScale_->height());
    picScale_->SetScaleWidth(sw);
    Graph_->SetScaleHeight(shUnits);
    Graph_->SetScaleWidth(sw);

    const double SW = Graph_->ScaleWidth();
    const double SH = Graph_->ScaleHeight();
    Graph_->Line(0, SH, kDepth, SH - kDepth, kBlack);
    Graph_->Line(kDepth, SH - kDepth, kDepth, 0, kBlack);
    Graph_->Line(kDepth, SH - kDepth, SW, SH - kDepth, kBlack);

    for (int k = kFirstBarIndex; k <= lastBarIndex && k < kTestCount; ++k) {
        if (k != kFirstBarIndex) {
            lbl1_[k] = NewLabelLike(lbl1_[kFirstBarIndex], picLabels_, QString("lbl1_%1").arg(k));
        }
        const QPoint at = picLabels_->ChildPosition(lbl1_[kFirstBarIndex]->x(), BarTop(k));
        lbl1_[k]->move(lbl1_[kFirstBarIndex]->x(), at.y());
        lbl1_[k]->show();
    }

    picScale_->CurrentX = picScale_->ScaleWidth() / 2 - 8;
    picScale_->CurrentY = picScale_->ScaleHeight() / 2;
    picScale_->Print("Kbps", SansFont(8.25, true));

    const std::array<std::string, 5> texts = ScaleLabelTexts(maxSpeed_);
    for (int t = 0; t <= 100; t += 25) {
        const double p = t * SW / 100;
        const int k = t / 25;
        Graph_->Line(p + kScaleOffset, SH - kTickLength, p + kScaleOffset, SH, kBlack);
        Graph_->Line(p + kScaleOffset, SH, p, SH - kDepth, kBlack);
        if (t != 0) {
            Graph_->Line(p, 0, p, SH - kDepth, kBlack);
            lbl2_[k] = NewLabelLike(lbl2_[0], picScale_, QString("lbl2_%1").arg(k));
            lbl2_[k]->show();
            lbl2_[k]->setText(Qs(texts[k]));
            lbl2_[k]->adjustSize();
        }
        const double left = p + kScaleOffset - picScale_->WidthToUnits(lbl2_[k]->width()) / 2;
        lbl2_[k]->move(picScale_->ChildPosition(left, 0).x(), lbl2_[k]->y());
    }
}

void FrmTestGraph::DrawBars(const std::array<double, kTestCount>& speeds,
                            const std::array<std::string, kTestCount>& names) {
    const std::int16_t w = ToInt16(Graph_->ScaleWidth() - 5);
    for (int i = kLastBarIndex; i >= kFirstBarIndex; --i) {
        const std::int16_t pct = BarPercent(speeds[i], maxSpeed_);
        lbl1_[i]->setText(Qs(BarLabelText(names[i], speeds[i])));
        SizeKeepingRight(lbl1_[i]);

        const double top = BarTop(i);
        const double L = ToInt16(static_cast<double>(pct) * w) / 100.0;
        Graph_->FilledBox(0, top, L, top + kBarThickness, kFrontFace);
        // The counters grow by the step, as in a counted loop, so the last line may fall
        // just short of the end when the steps do not add up exactly.
        for (double x = 0; x <= L; x += kFillStep) {
            Graph_->Line(x, top, x + kDepth, top - kDepth, kTopFace);
        }
        for (double y = top; y <= top + kBarThickness; y += kFillStep) {
            Graph_->Line(L, y, L + kDepth, y - kDepth, kSideFace);
        }
    }
}

void FrmTestGraph::DrawTableGrid() {
    const QLabel* first = lblT_[0];
    const QLabel* last = lblT_[45];
    const QLabel* rightmost = lblT_[4];
    const int gridTop = first->y() - 3;
    const int gridBottom = last->y() + last->height() + 1;
    for (int j = 0; j <= 5; ++j) {
        if (j != 0) {
            v_[j] = NewLine(QString("v_%1").arg(j));
            v_[j]->show();
            v_[j]->raise();
        }
        v_[j]->SetEnds(kColumnLines[j], gridTop, kColumnLines[j], gridBottom);
    }
    const int left = first->x();
    const int right = rightmost->x() + rightmost->width();
    for (int j = 0; j <= 9; ++j) {
        if (j != 0) {
            h_[j] = NewLine(QString("h_%1").arg(j));
            h_[j]->show();
            h_[j]->raise();
        }
        const int y = lblT_[j * 5]->y() - 3;
        h_[j]->SetEnds(left, y, right, y);
    }
    h_[10] = NewLine("h_10");
    h_[10]->show();
    const int bottom = last->y() + last->height();
    h_[10]->SetEnds(left, bottom, right, bottom);
}

void FrmTestGraph::FillTable(const BenchmarkState& state) {
    lblT_[0]->setText("\nTest");
    lblT_[1]->setText("Raw Time\n(ms)");
    lblT_[2]->setText("File Size\n(mb)");
    lblT_[3]->setText("Calculated Speed\n(kbps)");
    lblT_[4]->setText("\nComment");
    for (int r = 1; r <= 9; ++r) {
        const int n = r - 1;
        lblT_[5 * r]->setText(Qs(state.TestNames[n]));
        lblT_[5 * r + 1]->setText(Qs(state.TestTimesMs[n]));
        lblT_[5 * r + 2]->setText(Qs(FormatNumberText(state.TestSizesMB[n], "###,###.0##")));
        lblT_[5 * r + 3]->setText(Qs(FormatNumber(state.TestSpeeds[n], "###,###")));
        lblT_[5 * r + 4]->setText(Qs(state.TestComments[n]));
    }
}

void FrmTestGraph::PlaceBands() {
    sh_[0]->setGeometry(v_[0]->X1(), h_[0]->Y1(), v_[5]->X1() - 5, h_[1]->Y1() - h_[0]->Y1() + 3);
    sh_[0]->SetColour(lblT_[0]->palette().color(QPalette::Window));
    sh_[1]->setGeometry(v_[0]->X1(), h_[1]->Y1(), v_[5]->X1() - 5, h_[10]->Y1() - h_[1]->Y1());
    sh_[1]->SetColour(lblT_[5]->palette().color(QPalette::Window));
    // The body band lies over the header band where they meet, and both behind the table.
    sh_[1]->lower();
    sh_[0]->lower();
}

void LoadTestGraph(const BenchmarkState& state, const std::string& testName) {
    if (g_window) return;
    auto* window = new FrmTestGraph;
    window->Load(state, testName);
    g_window = window;
    window->show();
}

void CloseTestGraph() {
    if (g_window) g_window->close();
}

QWidget* TestGraphWindow() {
    return g_window.data();
}

}  // namespace wirepace::ui
