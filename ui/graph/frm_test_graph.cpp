// SPDX-License-Identifier: MIT
#include "ui/graph/frm_test_graph.h"

#include <QDir>
#include <QFileDialog>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPointer>
#include <QStandardPaths>
#include <cmath>
#include <stdexcept>

#include "common/error.h"
#include "common/number_format.h"
#include "report/report_html.h"
#include "ui/forms/chart_math.h"
#include "ui/forms/graph_picture.h"
#include "ui/forms/graph_window.h"
#include "ui/graph/frm_test_graph_window.h"

namespace wirepace::ui {

namespace {

QString Qs(const std::string& text) {
    return QString::fromStdString(text);
}

// CR LF as the label's line break.
QString Lines(const std::string& text) {
    return Qs(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

Qt::Alignment AlignmentOf(forms::Align align) {
    switch (align) {
        case forms::Align::Right:
            return Qt::AlignRight | Qt::AlignTop;
        case forms::Align::Centre:
            return Qt::AlignHCenter | Qt::AlignTop;
        case forms::Align::Left:
            break;
    }
    return Qt::AlignLeft | Qt::AlignTop;
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
    const forms::FormDesign& form = forms::GraphForm();
    setObjectName(Qs(form.name));
    setAttribute(Qt::WA_DeleteOnClose);
    setFixedSize(form.clientWidth, form.clientHeight);
    setFont(FontFor(form.font));

    // Bands first: they lie behind every other control of the table.
    for (int i = 0; i < 2; ++i) {
        sh_[i] = new BandControl(this);
        sh_[i]->setObjectName(QString("sh_%1").arg(i));
    }

    for (const forms::ControlDesign& c : form.controls) {
        QWidget* parent = c.parent.empty() ? this : findChild<QWidget*>(Qs(c.parent));
        const QRect geometry(c.left, c.top, c.width, c.height);
        QWidget* made = nullptr;
        switch (c.kind) {
            case forms::Kind::Shape: {
                auto* shape = new ShapeControl(parent);
                Shape1_[c.name == "Shape1_0" ? 0 : 1] = shape;
                made = shape;
                break;
            }
            case forms::Kind::PictureBox: {
                auto* box = new PictureBox(parent, c.border);
                if (c.name == "picLabels") picLabels_ = box;
                if (c.name == "Graph") Graph_ = box;
                if (c.name == "picScale") picScale_ = box;
                made = box;
                break;
            }
            case forms::Kind::Label: {
                auto* label = new QLabel(Qs(c.caption), parent);
                label->setAlignment(AlignmentOf(c.align));
                if (c.name.rfind("lblT_", 0) == 0) {
                    label->setWordWrap(true);
                    label->setAutoFillBackground(true);
                    QPalette colours = label->palette();
                    colours.setColor(QPalette::Window, ColourFor(c.back, palette()));
                    colours.setColor(QPalette::WindowText, palette().color(QPalette::Text));
                    label->setPalette(colours);
                    lblT_[static_cast<std::size_t>(std::stoi(c.name.substr(5)))] = label;
                } else if (c.name == "lbl1_2") {
                    lbl1_[kFirstBarIndex] = label;
                } else if (c.name == "lbl2_0") {
                    lbl2_[0] = label;
                } else if (c.name == "Label1") {
                    Label1_ = label;
                }
                made = label;
                break;
            }
            case forms::Kind::Button: {
                auto* button = new QPushButton(Qs(c.caption), parent);
                if (c.name == "cmdClose") {
                    cmdClose_ = button;
                    connect(button, &QPushButton::clicked, this,
                            [this] { forms::cmdClose_Click(*this); });
                } else if (c.name == "cmdSaveReport") {
                    cmdSaveReport_ = button;
                    connect(button, &QPushButton::clicked, this, [this] {
                        forms::cmdSaveReport_Click(*this, testName_, result_.startedAt);
                    });
                } else {
                    throw std::logic_error("the results window has no button " + c.name);
                }
                if (c.isCancel) cancel_ = button;
                made = button;
                break;
            }
            default:
                throw std::logic_error("the results window has no " + c.name);
        }
        made->setObjectName(Qs(c.name));
        made->setGeometry(geometry);
        made->setFont(FontFor(c.font));
        if (c.autoSize) {
            // Sized to its text around the centre of its place.
            const int centre = made->x() + made->width() / 2;
            made->adjustSize();
            made->move(centre - made->width() / 2, made->y());
        }
        // The grid's first lines exist before loading, in front of the cells.
        if (c.name == "lblT_49") {
            v_[0] = NewLine("v_0");
            h_[0] = NewLine("h_0");
        }
    }
    cmdSaveReport_->raise();
    cmdClose_->raise();
}

void FrmTestGraph::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier && cancel_) {
        cancel_->click();
        return;
    }
    QWidget::keyPressEvent(event);
}

std::string FrmTestGraph::AskReportPath(const std::string& suggestedName) {
    QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (folder.isEmpty() || !QDir(folder).exists()) folder = QDir::homePath();
    const QString path = QFileDialog::getSaveFileName(
        this, QString::fromUtf8(forms::kSaveReport).remove(QStringLiteral("...")),
        folder + QLatin1Char('/') + QString::fromStdString(suggestedName),
        QStringLiteral("HTML files (*.html);;All files (*)"));
    return QDir::toNativeSeparators(path).toStdString();
}

std::optional<std::string> FrmTestGraph::WriteReport(const std::string& path) {
    try {
        report::SaveReport(path, {result_}, logPath_);
    } catch (const RuntimeError& e) {
        return report::SaveFailureText(path, e);
    }
    return std::nullopt;
}

void FrmTestGraph::ShowMessage(const std::string& text) {
    QMessageBox::warning(this, QString::fromUtf8(forms::kProgramTitle), Qs(text));
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

void FrmTestGraph::Load(const RunResult& result, const std::string& testName,
                        const std::string& logPath) {
    result_ = result;
    testName_ = testName;
    logPath_ = logPath;
    const forms::GraphPicture picture = forms::LoadGraph(result, testName);
    maxSpeed_ = picture.chart.maxSpeed;
    setWindowTitle(Qs(picture.caption));
    DrawChart(picture.chart);
    DrawTable(picture.table);
}

void FrmTestGraph::DrawChart(const forms::Chart& chart) {
    // The label strips share the chart's coordinates along the axis they run beside.
    picLabels_->resize(picLabels_->width(), Graph_->height());
    picLabels_->SetScaleHeight(chart.scaleHeight);
    picScale_->resize(Graph_->width(), picScale_->height());
    picScale_->SetScaleWidth(chart.scaleWidth);
    Graph_->SetScaleHeight(chart.scaleHeight);
    Graph_->SetScaleWidth(chart.scaleWidth);
    for (const forms::Primitive& p : chart.graph) Graph_->Draw(p);

    picScale_->CurrentX = chart.unit.x;
    picScale_->CurrentY = chart.unit.y;
    picScale_->Print(Qs(chart.unit.text), FontFor(chart.unit.font));

    for (const forms::BarLabel& b : chart.barLabels) {
        const int k = b.index;
        if (!lbl1_[k])
            lbl1_[k] = NewLabelLike(lbl1_[kFirstBarIndex], picLabels_, QString("lbl1_%1").arg(k));
        QLabel* label = lbl1_[k];
        label->move(label->x(), b.topPixel);
        label->show();
        label->setText(Qs(b.text));
        SizeKeepingRight(label);
    }
    for (const forms::ScaleLabel& l : chart.scaleLabels) {
        const int k = l.step;
        if (!lbl2_[k]) {
            lbl2_[k] = NewLabelLike(lbl2_[0], picScale_, QString("lbl2_%1").arg(k));
            lbl2_[k]->show();
        }
        if (l.visible) {
            lbl2_[k]->setText(Qs(l.text));
            lbl2_[k]->adjustSize();
        }
        lbl2_[k]->move(forms::ScaleLabelLeft(l, lbl2_[k]->width()), lbl2_[k]->y());
    }
}

void FrmTestGraph::DrawTable(const forms::Table& table) {
    for (int i = 0; i < forms::kTableCells; ++i)
        lblT_[static_cast<std::size_t>(i)]->setText(
            Lines(table.texts[static_cast<std::size_t>(i)]));
    auto place = [this](LineControl*& line, const forms::GridLine& g) {
        if (!line) {
            line = NewLine(Qs(g.name));
            line->show();
            if (g.front) line->raise();
        }
        line->SetEnds(g.x1, g.y1, g.x2, g.y2);
    };
    for (std::size_t j = 0; j < table.vertical.size(); ++j) place(v_[j], table.vertical[j]);
    for (std::size_t j = 0; j < table.horizontal.size(); ++j) place(h_[j], table.horizontal[j]);
    for (std::size_t i = 0; i < 2; ++i) {
        const forms::Band& b = table.bands[i];
        sh_[i]->setGeometry(b.left, b.top, b.width, b.height);
        sh_[i]->SetColour(ColourFor(b.colour, palette()));
    }
    // The body band lies over the header band where they meet, and both behind the table.
    sh_[1]->lower();
    sh_[0]->lower();
}

void LoadTestGraph(const RunResult& result, const std::string& testName,
                   const std::string& logPath) {
    if (g_window) {
        g_window->raise();
        g_window->activateWindow();
        return;
    }
    auto* window = new FrmTestGraph;
    window->Load(result, testName, logPath);
    g_window = window;
    window->show();
    // Opened to be read and closed: "Close" has the focus.
    window->activateWindow();
    window->CloseButton()->setFocus(Qt::ActiveWindowFocusReason);
}

void CloseTestGraph() {
    if (g_window) g_window->close();
}

QWidget* TestGraphWindow() {
    return g_window.data();
}

}  // namespace wirepace::ui
