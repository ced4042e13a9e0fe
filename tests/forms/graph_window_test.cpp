// SPDX-License-Identifier: MIT
// The results window's own behaviour, against a recording view: the report's file name, the
// save flow with its cancel and its failure, and Close.
#include "ui/forms/graph_window.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <vector>

using namespace wirepace::ui::forms;

namespace {

class RecordingGraph : public GraphView {
  public:
    std::string AskReportPath(const std::string& suggestedName) override {
        asked.push_back(suggestedName);
        return answer;
    }
    std::optional<std::string> WriteReport(const std::string& path) override {
        written.push_back(path);
        return failure;
    }
    void ShowMessage(const std::string& text) override { messages.push_back(text); }
    void CloseWindow() override { ++closes; }

    std::string answer;
    std::optional<std::string> failure;
    std::vector<std::string> asked, written, messages;
    int closes = 0;
};

TEST(GraphWindow, TheReportIsNamedAfterTheTestAndItsStart) {
    const char* zone = std::getenv("TZ");
    const std::string saved = zone ? zone : "";
    ::setenv("TZ", "UTC0", 1);
    ::tzset();
    const double at = 1796652309;  // 2026-12-07 14:05:09 UTC
    EXPECT_EQ(ReportFileName("Branch office", at), "Branch office 2026-12-07 1405.html");
    EXPECT_EQ(ReportFileName("a/b\\c:d*e?f\"g<h>i|j\tk", at),
              "a_b_c_d_e_f_g_h_i_j_k 2026-12-07 1405.html");
    EXPECT_EQ(ReportFileName(" ..", at), "Wirepace 2026-12-07 1405.html");
    EXPECT_EQ(ReportFileName("Caf\xC3\xA9.", 0), "Caf\xC3\xA9.html");
    if (zone)
        ::setenv("TZ", saved.c_str(), 1);
    else
        ::unsetenv("TZ");
    ::tzset();
}

TEST(GraphWindow, SaveAsksWritesAndSaysWhatFailed) {
    RecordingGraph view;
    // Cancelled: nothing written, nothing said.
    cmdSaveReport_Click(view, "Lab", 0);
    EXPECT_EQ(view.asked, std::vector<std::string>{"Lab.html"});
    EXPECT_TRUE(view.written.empty());
    EXPECT_TRUE(view.messages.empty());

    view.answer = "/home/jo/Lab.html";
    cmdSaveReport_Click(view, "Lab", 0);
    EXPECT_EQ(view.written, std::vector<std::string>{"/home/jo/Lab.html"});
    EXPECT_TRUE(view.messages.empty());

    view.failure = "Cannot write the report to /home/jo/Lab.html: Disk full [61]";
    cmdSaveReport_Click(view, "Lab", 0);
    EXPECT_EQ(view.messages, std::vector<std::string>{*view.failure});
    EXPECT_EQ(view.closes, 0);  // the window stays for another try

    cmdClose_Click(view);
    EXPECT_EQ(view.closes, 1);
}

}  // namespace
