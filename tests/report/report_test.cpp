// SPDX-License-Identifier: MIT
// The HTML report from hand-made results: the window's chart as SVG, the timelines from
// per-second samples (and without them), the explanations, the history with this run marked,
// and writing the file.
#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "common/error.h"
#include "common/number_format.h"
#include "core/catalogue.h"
#include "core/history.h"
#include "core/results_log.h"
#include "report/chart_svg.h"
#include "report/explanations.h"
#include "report/report_html.h"
#include "report/svg.h"
#include "report/timeline_svg.h"
#include "support/error_number.h"
#include "support/temp_dir.h"
#include "ui/forms/graph_picture.h"

namespace wirepace {
namespace {

using namespace report;
using testing::TempDir;

std::size_t Count(const std::string& text, const std::string& part) {
    std::size_t n = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

// Every match of `pattern`'s first group, in order.
std::vector<std::string> All(const std::string& text, const std::string& pattern) {
    std::vector<std::string> found;
    const std::regex re(pattern);
    for (auto it = std::sregex_iterator(text.begin(), text.end(), re); it != std::sregex_iterator();
         ++it)
        found.push_back((*it)[1]);
    return found;
}

// A finished run over a network folder with the given speeds, its log lines as the log has
// them.
RunResult MadeRun(const std::array<double, kTestCount>& speeds, double startedAt,
                  const std::string& name = "Branch <office>",
                  const std::string& dir = "/mnt/hq/") {
    RunResult run;
    run.settings.testName = name;
    run.settings.target = dir;
    run.settings.connectionType = "Local Area Network (LAN)";
    run.settings.speedEntry = "100mb";
    run.settings.smallKB = 10240;
    run.settings.largeKB = 102400;
    run.target = dir;
    run.targetIsRemote = true;
    run.targetFileSystem = "nfs4";
    run.startedAt = startedAt;
    run.outcome = RunOutcome::Finished;
    const DateTime at = DateTime::Local(startedAt);
    for (int i = 0; i < kTestCount; ++i) {
        TestResult t;
        t.index = i;
        t.id = TestId(i);
        t.name = TestName(i);
        t.speed = speeds[static_cast<std::size_t>(i)];
        t.ms = 1000 + i;
        t.exactMs = t.ms;
        t.bytes = t.speed * 1024 * t.ms / 1000;
        t.sizeMB = RoundHalfEven(t.bytes / 1024 / 1024, 3);
        t.comment = i == 6 ? kDuplexComment : "";
        t.logLine =
            ResultLine(name, dir, at, t.id, NumberToText(t.ms), NumberToText(t.speed), t.comment);
        run.tests.push_back(t);
    }
    return run;
}

const std::array<double, kTestCount> kSpeeds = {48828, 89286, 6250,  7812, 10417,
                                                11161, 9766,  10851, 10638};

std::string LogOf(const std::vector<RunResult>& runs) {
    std::string log;
    for (const RunResult& run : runs) {
        log += "-- Starting " + run.settings.testName + " test at 14:05:09 --\r\n";
        for (const TestResult& t : run.tests) log += t.logLine + "\r\n";
    }
    return log;
}

TEST(ReportChart, TheWindowsPrimitivesBecomeTheSameBarsLabelsAndScale) {
    const ui::forms::Chart chart = ui::forms::LoadGraph(MadeRun(kSpeeds, 1), "x").chart;
    const std::string svg = ChartSvg(chart);
    EXPECT_EQ(svg.rfind("<svg class=\"bar-chart\"", 0), 0u);
    EXPECT_EQ(Count(svg, "<svg"), Count(svg, "</svg>"));

    // One front face per bar, of the pixels the windows' rasteriser fills.
    const ui::forms::PixelMap map{449, 217, chart.scaleWidth, chart.scaleHeight};
    std::vector<std::string> expected;
    for (const ui::forms::Primitive& p : chart.graph)
        if (p.kind == ui::forms::PrimitiveKind::FilledBox)
            expected.push_back(
                "<rect x=\"0\" y=\"" + std::to_string(ui::forms::PixelOf(map.ToPixelY(p.y1))) +
                "\" width=\"" + std::to_string(ui::forms::PixelOf(map.ToPixelX(p.x2)) + 1) + "\"");
    ASSERT_EQ(expected.size(), 7u);
    for (const std::string& rect : expected) EXPECT_EQ(Count(svg, rect), 1u) << rect;
    EXPECT_EQ(Count(svg, "fill=\"#0000f0\""), 7u);
    // The top and side faces, thousands of lines in the window, are one polygon each.
    EXPECT_EQ(Count(svg, "<polygon"), 14u);
    EXPECT_EQ(Count(svg, "<polygon points=\"0.5,"), 7u);
    EXPECT_LT(svg.size(), 12000u);

    // The labels in the window's order, with its texts.
    std::vector<std::string> labels;
    for (const ui::forms::BarLabel& b : chart.barLabels) labels.push_back(Escape(b.text));
    EXPECT_EQ(All(svg, "text-anchor=\"end\">([^<]*)</text>"), labels);
    EXPECT_EQ(labels.front(), "OUTBOUND THROUGHTPUT SMALL [6250]");
    const std::vector<std::string> scale = All(svg, ">([0-9,]+)</text>");
    EXPECT_EQ(scale, (std::vector<std::string>{"2,790", "5,580", "8,370", "11,161"}));
    EXPECT_NE(svg.find(">KB/s</text>"), std::string::npos);
    EXPECT_NE(svg.find(">Calculated Throughtput</text>"), std::string::npos);
}

TEST(ReportTimeline, SamplesBecomeRatesOneLinePerDrone) {
    TestResult single;
    single.index = 4;
    single.id = "4";
    single.speed = 120;
    single.exactMs = 3450;
    single.samplesMs = 3500;
    single.intervals = {100 * 1024, 200 * 1024, 0, 50 * 1024};  // a stall, half a last second
    const std::vector<TimelineSeries> lines = TimelineOf(single);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].rate, (std::vector<double>{100, 200, 0, 100}));
    EXPECT_EQ(lines[0].start, (std::vector<double>{0, 1, 2, 3}));
    EXPECT_EQ(lines[0].end, (std::vector<double>{1, 2, 3, 3.5}));
    const std::string svg = TimelineSvg(single);
    EXPECT_EQ(Count(svg, "<path"), 1u);
    EXPECT_NE(svg.find("stroke-dasharray"), std::string::npos);  // the test's own figure
    EXPECT_EQ(svg.find("no samples"), std::string::npos);

    TestResult parallel;
    parallel.index = 7;
    parallel.id = "7";
    parallel.speed = 500;
    parallel.exactMs = 1200;    // the slowest drone's own time
    parallel.samplesMs = 1500;  // from the drones' release to the last of their bytes
    parallel.droneMs = {1200, 400, 1100, 900, 1000};
    for (int k = 0; k < 5; ++k)
        parallel.droneIntervals.push_back({1024.0 * (k + 1), k == 1 ? 0 : 512.0});
    parallel.intervals = {15 * 1024, 4 * 512};
    const std::vector<TimelineSeries> drones = TimelineOf(parallel);
    ASSERT_EQ(drones.size(), 5u);
    EXPECT_EQ(drones[0].label, "Drone 1");
    // All on the test's clock: the last half second is half a second for every drone.
    for (const TimelineSeries& d : drones) EXPECT_EQ(d.end, (std::vector<double>{1, 1.5}));
    EXPECT_EQ(drones[1].rate, (std::vector<double>{2, 0}));
    EXPECT_EQ(drones[4].rate, (std::vector<double>{5, 1}));
    // Without the span (an older result) the measured time stands in for it.
    parallel.samplesMs = 0;
    EXPECT_EQ(TimelineOf(parallel)[0].end.back(), 1.2);
    const std::string lanes = TimelineSvg(parallel);
    EXPECT_EQ(Count(lanes, "<path"), 5u);
    EXPECT_EQ(All(lanes, ">(Drone [0-9])</text>"),  // the legend
              (std::vector<std::string>{"Drone 1", "Drone 2", "Drone 3", "Drone 4", "Drone 5"}));

    // No samples (a run of a program that did not record them): a strip that says so.
    TestResult none = single;
    none.intervals.clear();
    EXPECT_TRUE(TimelineOf(none).empty());
    const std::string empty = TimelineSvg(none);
    EXPECT_NE(empty.find("no samples"), std::string::npos);
    EXPECT_EQ(empty.find("<path"), std::string::npos);
}

TEST(ReportExplanations, EachDiagnosisAndNoteOnceWithItsMeaning) {
    RunResult a = MadeRun(kSpeeds, 1);
    a.tests[7].comment = kWindowComment;
    a.tests[8].comment = kWindowComment;
    RunResult b = MadeRun(kSpeeds, 2);
    b.note = "test 4 took under 50 ms: too short to judge, choose a larger speed entry";
    b.outcome = RunOutcome::Interrupted;
    const std::vector<Explanation> list = Explain({a, b});
    ASSERT_EQ(list.size(), 4u);
    EXPECT_EQ(list[0].title, kDuplexComment);
    EXPECT_EQ(list[0].tests, "6");
    EXPECT_EQ(list[1].title, kWindowComment);
    EXPECT_EQ(list[1].tests, "7, 8");
    EXPECT_EQ(list[2].title, b.note);
    EXPECT_EQ(list[3].title, "Interrupted by user");
    for (const Explanation& e : list) {
        EXPECT_FALSE(e.means.empty()) << e.title;
        EXPECT_FALSE(e.doesNotMean.empty()) << e.title;
        EXPECT_FALSE(e.checkNext.empty()) << e.title;
    }

    RunResult clean = MadeRun(kSpeeds, 1);
    clean.tests[6].comment.clear();
    ASSERT_EQ(Explain({clean}).size(), 1u);
    EXPECT_EQ(Explain({clean})[0].title, "No diagnosis");
    clean.targetIsRemote = false;
    clean.note = kLocalTargetNote;
    EXPECT_EQ(Explain({clean})[0].title, kLocalTargetNote);

    RunResult failed;
    failed.outcome = RunOutcome::Error;
    failed.errorNumber = kErrPathNotFound;
    failed.errorLines = {"-- Error: Path not found [76] --",
                         "Please check target folder (spelling, permissions, etc.)"};
    const std::vector<Explanation> error = Explain({failed});
    ASSERT_EQ(error.size(), 1u);
    EXPECT_EQ(error[0].title, "-- Error: Path not found [76] --");
    EXPECT_NE(error[0].means.find("could not be reached"), std::string::npos);
    EXPECT_NE(error[0].checkNext.find("Please check target folder"), std::string::npos);
}

TEST(ReportHtml, OneFileWithTheRunItsChartAndItsMarkedHistory) {
    std::array<double, kTestCount> slower = kSpeeds;
    slower[4] = 9000;
    const RunResult earlier1 = MadeRun(slower, 1796600000);
    RunResult other = MadeRun(kSpeeds, 1796610000, "Other");
    RunResult elsewhere = MadeRun(kSpeeds, 1796620000, "Branch <office>", "/mnt/branch/");
    RunResult earlier2 = MadeRun(kSpeeds, 1796630000);
    RunResult now = MadeRun(kSpeeds, 1796652309);
    now.tests[5].intervals = {4096, 8192, 1024};
    now.tests[5].exactMs = 2500;
    ReportSource source;
    source.runs = {now};
    source.history = ParseResultsLog(LogOf({earlier1, other, elsewhere, earlier2, now}) +
                                     "a line someone typed\r\n");
    source.logPath = "/home/jo/.local/share/wirepace/TestResults.txt";
    source.host = "bench-01";
    source.version = "1.0";
    const std::string html = ReportHtml(source);

    EXPECT_EQ(html.rfind("<!DOCTYPE html>", 0), 0u);
    EXPECT_NE(html.find("<title>Wirepace report: Branch &lt;office&gt;</title>"), html.npos);
    EXPECT_EQ(html.find("Branch <office>"), html.npos);  // never unescaped
    EXPECT_NE(html.find("an NFS export"), html.npos);
    EXPECT_NE(html.find("<td>bench-01</td>"), html.npos);
    EXPECT_NE(html.find("<td>Wirepace 1.0</td>"), html.npos);
    // Self-contained: nothing fetched, nothing run.
    for (const char* outside : {"http:", "https:", "src=", "href=", "url(", "@import", "<script"})
        EXPECT_EQ(html.find(outside), html.npos) << outside;

    // The results table holds the nine tests in order with the window's texts and the figures.
    EXPECT_EQ(All(html, "<tr data-test=\"([^\"]+)\" data-ms"),
              (std::vector<std::string>{"1a", "1b", "2", "3", "4", "5", "6", "7", "8"}));
    EXPECT_EQ(All(html, "data-speed=\"([^\"]+)\""),
              (std::vector<std::string>{"48828", "89286", "6250", "7812", "10417", "11161", "9766",
                                        "10851", "10638"}));
    EXPECT_NE(html.find("<td class=\"num\">11,161</td>"), html.npos);
    EXPECT_EQ(Count(html, "<svg class=\"bar-chart\""), 1u);
    EXPECT_EQ(Count(html, "class=\"timeline-figure\""), 9u);
    EXPECT_EQ(Count(html, "no samples"), 8u + 1u);  // eight strips and the note above them
    EXPECT_EQ(Count(html, "data-samples=\"3\""), 1u);
    EXPECT_NE(html.find("<h3>Possible Duplex Mismatch <small>(test 6)</small></h3>"), html.npos);

    // History: the three runs of this name and target, this one last and marked.
    EXPECT_NE(html.find("in the results log: 3, oldest first"), html.npos);
    EXPECT_EQ(Count(html, "<tr class=\"this-run\">"), 1u);
    const auto rows = All(html, "<tr(?: class=\"this-run\")?><td>([0-9]+[^<]*)</td>");
    EXPECT_EQ(rows, (std::vector<std::string>{"1", "2", "3 (this run)"}));
    EXPECT_NE(html.find("<td class=\"num\">9,000</td>"), html.npos);
    EXPECT_NE(html.find("1 line(s) of the log were skipped"), html.npos);
    EXPECT_EQ(Count(html, "class=\"trend-figure\""), 9u);
    EXPECT_EQ(Count(html, "class=\"current\""), 9u);

    // Repeats: one report, each run, min, median and max; a log that could not be read still
    // shows this invocation's runs as its history.
    RunResult second = MadeRun(kSpeeds, 1796652400);
    second.tests[2].speed = 7000;
    source.runs = {now, second};
    source.history = {};
    source.historyProblem = "Permission denied [70]";
    const std::string repeated = ReportHtml(source);
    EXPECT_NE(repeated.find("<h2>Results of run 2 of 2</h2>"), repeated.npos);
    EXPECT_NE(repeated.find("<tr data-test=\"2\" data-min=\"6250\" data-median=\"6625\" "
                            "data-max=\"7000\">"),
              repeated.npos);
    EXPECT_NE(repeated.find("could not be read (Permission denied [70])"), repeated.npos);
    EXPECT_EQ(Count(repeated, "<tr class=\"this-run\">"), 2u);
}

TEST(ReportHtml, TextThatIsNotUtf8OrHoldsMarkupIsWrittenSafely) {
    EXPECT_EQ(Escape("a<b>&\"'"), "a&lt;b&gt;&amp;&quot;&#39;");
    EXPECT_EQ(Escape("caf\xC3\xA9"), "caf\xC3\xA9");
    EXPECT_EQ(Escape("bad\xFF\xC3("), "bad\xEF\xBF\xBD\xEF\xBF\xBD(");
    EXPECT_EQ(Escape("\xED\xA0\x80"), "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD");  // a surrogate
    EXPECT_EQ(Num(12.345), "12.35");
    EXPECT_EQ(Num(-0.001), "0");
    EXPECT_EQ(Num(1e7), "10000000");
}

TEST(ReportFile, WrittenWholeOrNotAtAllWithAClearReason) {
    TempDir dir;
    const std::string log = dir.Slash() + "TestResults.txt";
    RunResult run = MadeRun(kSpeeds, 1796652309);
    testing::WriteFile(log, LogOf({run}));
    const std::string path = dir.Slash() + "report.html";
    EXPECT_EQ(CheckReportPath(path), std::nullopt);
    EXPECT_EQ(testing::Entries(dir.Path()), std::vector<std::string>{"TestResults.txt"});
    SaveReport(path, {run}, log);
    const std::string html = testing::ReadFile(path);
    EXPECT_NE(html.find("<tr class=\"this-run\">"), html.npos);
    EXPECT_TRUE(html.ends_with("</html>\n"));

    // A missing folder, a folder for a name: said before a run and when saving.
    const std::string missing = dir.Slash() + "no/report.html";
    ASSERT_TRUE(CheckReportPath(missing));
    EXPECT_EQ(CheckReportPath(missing)->rfind("Cannot write the report to " + missing + ": ", 0),
              0u);
    EXPECT_NE(CheckReportPath(missing)->find("[76]"), std::string::npos);
    EXPECT_EQ(testing::ErrorNumberOf([&] { SaveReport(missing, {run}, log); }), kErrPathNotFound);
    EXPECT_TRUE(CheckReportPath(dir.Slash()));
    EXPECT_TRUE(CheckReportPath(dir.Path().string()));
    EXPECT_EQ(testing::Entries(dir.Path()),
              (std::vector<std::string>{"TestResults.txt", "report.html"}));
}

}  // namespace
}  // namespace wirepace
