// SPDX-License-Identifier: MIT
// frmTestGraph with the system's own controls: the described controls, the chart rendered
// from the shared primitives into a persistent bitmap, the table's cells, lines and bands.
#pragma once

#include <optional>
#include <string>

#include "core/run_result.h"
#include "ui/forms/graph_picture.h"
#include "ui/forms/graph_window.h"
#include "ui/win32/form_host.h"

namespace wirepace::ui::win32 {

inline constexpr const wchar_t* kGraphClass = L"WirepaceGraphWindow";

class FrmTestGraph : public forms::GraphView {
  public:
    // Builds the window from a run's result, then shows it with "Close" focused. "Save
    // Report..." writes the report with the history of the results log at `logPath`.
    FrmTestGraph(const RunResult& result, const std::string& testName,
                 const std::string& logPath = "");
    ~FrmTestGraph();
    FrmTestGraph(const FrmTestGraph&) = delete;
    FrmTestGraph& operator=(const FrmTestGraph&) = delete;

    HWND Hwnd() const { return hwnd_; }
    FormHost& Host() { return host_; }
    double MaxSpeed() const { return maxSpeed_; }

    // forms::GraphView
    std::string AskReportPath(const std::string& suggestedName) override;
    std::optional<std::string> WriteReport(const std::string& path) override;
    void ShowMessage(const std::string& text) override;
    void CloseWindow() override;

  private:
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    LRESULT Handle(UINT msg, WPARAM wp, LPARAM lp);
    void DrawChart(const forms::Chart& chart);
    void DrawTable(const forms::Table& table);

    HWND hwnd_ = nullptr;
    FormHost host_;
    double maxSpeed_ = 0;
    RunResult result_;
    std::string testName_, logPath_;
};

// Loads the one instance (when none is open) and shows it modeless; an open one only comes
// to the front.
void LoadTestGraph(const RunResult& result, const std::string& testName,
                   const std::string& logPath = "");
void CloseTestGraph();
FrmTestGraph* TestGraphWindow();

}  // namespace wirepace::ui::win32
