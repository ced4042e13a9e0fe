// SPDX-License-Identifier: MIT
// frmTestGraph: the results of one run as a three-dimensional bar chart of the network tests
// and a table of all nine tests. Built completely while loading, from a run's result.
#pragma once

#include <QLabel>
#include <QPushButton>
#include <QString>
#include <QWidget>
#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "core/run_result.h"
#include "ui/forms/graph_picture.h"
#include "ui/forms/graph_window.h"
#include "ui/graph/graph_controls.h"
#include "ui/graph/picture_box.h"

namespace wirepace::ui {

class FrmTestGraph : public QWidget, public forms::GraphView {
    Q_OBJECT

  public:
    FrmTestGraph();

    // The load handler: reads the result once and builds the chart and the table. The caller
    // shows the window afterwards. The report is written with the history of `logPath`.
    void Load(const RunResult& result, const std::string& testName,
              const std::string& logPath = "");

    // forms::GraphView
    std::string AskReportPath(const std::string& suggestedName) override;
    std::optional<std::string> WriteReport(const std::string& path) override;
    void ShowMessage(const std::string& text) override;
    void CloseWindow() override { close(); }

    double MaxSpeed() const { return maxSpeed_; }

    // The button that has the focus when the window opens.
    QPushButton* CloseButton() const { return cmdClose_; }

  protected:
    // Esc presses the button the design marks for it.
    void keyPressEvent(QKeyEvent* event) override;

  private:
    // The shared primitives rendered: the chart into the picture boxes, its labels placed.
    void DrawChart(const forms::Chart& chart);
    // The table's texts, grid lines and bands.
    void DrawTable(const forms::Table& table);

    QLabel* NewLabelLike(QLabel* model, QWidget* parent, const QString& name);
    LineControl* NewLine(const QString& name);

    double maxSpeed_ = 0;

    QLabel* Label1_ = nullptr;
    PictureBox* picLabels_ = nullptr;
    PictureBox* Graph_ = nullptr;
    PictureBox* picScale_ = nullptr;
    std::array<QLabel*, kTestCount> lbl1_{};  // bar labels, index = test index
    std::array<QLabel*, 5> lbl2_{};           // scale labels, index = scale step
    std::array<ShapeControl*, 2> Shape1_{};
    std::array<QLabel*, 50> lblT_{};  // table cells, row r column c at r * 5 + c
    std::array<LineControl*, 6> v_{};
    std::array<LineControl*, 11> h_{};
    std::array<BandControl*, 2> sh_{};
    QPushButton* cmdClose_ = nullptr;
    QPushButton* cmdSaveReport_ = nullptr;
    QPushButton* cancel_ = nullptr;

    RunResult result_;
    std::string testName_, logPath_;
};

}  // namespace wirepace::ui
