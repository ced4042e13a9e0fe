// SPDX-License-Identifier: MIT
#include "report/report_html.h"

#include <array>
#include <charconv>
#include <cmath>
#include <optional>
#include <set>

#include "common/date_format.h"
#include "common/number_format.h"
#include "core/catalogue.h"
#include "platform/platform.h"
#include "report/chart_svg.h"
#include "report/explanations.h"
#include "report/summary.h"
#include "report/svg.h"
#include "report/timeline_svg.h"
#include "report/trend_svg.h"
#include "ui/forms/graph_picture.h"
#include "wirepace_version.h"

namespace wirepace::report {

namespace {

// The history shows at most this many runs, the newest.
constexpr std::size_t kHistoryRuns = 200;

constexpr const char* kStyle = R"(
body{font-family:'Liberation Sans',Arial,Helvetica,sans-serif;font-size:14px;color:#1a1a1a;
background:#fff;max-width:1000px;margin:20px auto;padding:0 16px;line-height:1.4}
h1{font-size:22px;margin:0 0 4px}
h2{font-size:18px;margin:28px 0 8px;padding-bottom:3px;border-bottom:1px solid #ccc}
h3{font-size:15px;margin:16px 0 6px}
table{border-collapse:collapse}
th,td{padding:3px 8px;text-align:left;vertical-align:top}
table.facts th{font-weight:normal;color:#555;white-space:nowrap}
table.data th,table.data td{border:1px solid #bbb}
table.data th{background:#c0c000}
td.num{text-align:right;white-space:nowrap}
tr.not-run td{color:#888}
tr.this-run td{background:#fff3e0;font-weight:bold}
.lead{color:#444;margin:0 0 8px}
.note{color:#444;font-size:13px}
.explain{border-left:4px solid #e65100;background:#fafafa;padding:4px 12px;margin:10px 0}
.explain h3{margin:6px 0}
.explain dt{font-weight:bold;margin-top:6px}
.explain dd{margin:2px 0 4px 0}
figure{margin:8px 0}
figcaption{font-size:12px;color:#444}
.timelines,.trends{display:flex;flex-wrap:wrap;gap:6px 18px}
svg{max-width:100%;height:auto}
footer{margin-top:32px;font-size:12px;color:#555}
)";

// A number as JSON writes it (shortest form, a point whatever the locale): what a script
// reading the report's data attributes compares with wirepace-cli --format json.
std::string Plain(double value) {
    char buffer[64];
    const auto end = std::to_chars(buffer, buffer + sizeof buffer, value).ptr;
    return std::string(buffer, end);
}

std::string When(double startedAt) {
    if (!(startedAt > 0)) return "unknown";
    const DateTime at = DateTime::Local(startedAt);
    return ShortDate(at) + " " + LongTime(at);
}

std::string Kilobytes(double kb) {
    return FormatNumber(kb, "##,##0") + " KB";
}

std::string Fact(const std::string& name, const std::string& value) {
    return "<tr><th>" + Escape(name) + "</th><td>" + Escape(value) + "</td></tr>";
}

std::string Cell(const std::string& text, bool number = false) {
    return std::string(number ? "<td class=\"num\">" : "<td>") + Escape(text) + "</td>";
}

std::string NameOf(const RunResult& run) {
    return run.settings.testName;
}

std::string TargetOf(const RunResult& run) {
    return run.target.empty() ? run.settings.target : run.target;
}

std::string Measured(const ReportSource& source) {
    const RunResult& run = source.runs.front();
    std::string out = "<section id=\"measured\"><h2>What was measured</h2><table class=\"facts\">";
    out += Fact("Test name", NameOf(run));
    out += Fact("Target as typed", run.settings.target);
    if (!run.target.empty() && run.target != run.settings.target)
        out += Fact("Target as the run used it", run.target);
    out += Fact("What the target is", TargetKindText(run));
    out += Fact("Connection",
                run.settings.connectionType + ", estimated speed " + run.settings.speedEntry);
    out += Fact("File sizes", "small " + Kilobytes(run.settings.smallKB) + ", large " +
                                  Kilobytes(run.settings.largeKB) +
                                  " (test 6 moves two copies of the large file, tests 7 and 8 "
                                  "five each)");
    out += Fact("File content", run.settings.fill == FillMode::Random
                                    ? "random bytes (incompressible)"
                                    : "zero bytes (as the window writes them)");
    out += Fact("Started", When(run.startedAt) + " (local time of the host below)");
    if (source.runs.size() > 1) out += Fact("Runs", std::to_string(source.runs.size()));
    out += Fact("Program", "Wirepace " + source.version);
    out += Fact("Host", source.host);
    out += Fact("Results log", source.logPath);
    return out + "</table></section>";
}

std::string Diagnoses(const ReportSource& source) {
    std::string out = "<section id=\"diagnoses\"><h2>Diagnoses and notes</h2>";
    const std::vector<Explanation> list = Explain(source.runs);
    if (list.empty()) out += "<p>The run raised no diagnosis and no note.</p>";
    for (const Explanation& e : list) {
        out += "<div class=\"explain\"><h3>" + Escape(e.title);
        if (!e.tests.empty()) out += " <small>(test " + Escape(e.tests) + ")</small>";
        out += "</h3><dl>";
        auto part = [&](const char* name, const std::string& text) {
            if (!text.empty())
                out += "<dt>" + std::string(name) + "</dt><dd>" + Escape(text) + "</dd>";
        };
        part("What it means", e.means);
        part("What it does not mean", e.doesNotMean);
        part("What to check next", e.checkNext);
        out += "</dl></div>";
    }
    return out + "</section>";
}

std::string Summary(const ReportSource& source) {
    std::string out = "<section id=\"summary\"><h2>Speed over " +
                      std::to_string(source.runs.size()) +
                      " runs (KB/s)</h2><table class=\"data\" id=\"summary-table\"><thead><tr>"
                      "<th>Test</th><th>Name</th><th>Runs</th><th>Min</th><th>Median</th>"
                      "<th>Max</th></tr></thead><tbody>";
    for (const SpeedSummary& s : Summarise(source.runs)) {
        out += "<tr data-test=\"" + Escape(s.id) + "\" data-min=\"" + Plain(s.min) +
               "\" data-median=\"" + Plain(s.median) + "\" data-max=\"" + Plain(s.max) + "\">";
        out +=
            Cell(s.id) + Cell(s.name) + Cell(std::to_string(s.runs), true) +
            Cell(FormatNumber(s.min, "##,##0"), true) +
            Cell(FormatNumber(s.median, s.median == std::floor(s.median) ? "##,##0" : "##,##0.0"),
                 true) +
            Cell(FormatNumber(s.max, "##,##0"), true) + "</tr>";
    }
    return out + "</tbody></table></section>";
}

std::string Run(const RunResult& run, std::size_t number, std::size_t count) {
    const std::string n = std::to_string(number);
    std::string out = "<section class=\"run\" id=\"run-" + n + "\"><h2>Results" +
                      (count > 1 ? " of run " + n + " of " + std::to_string(count) : "") + "</h2>";
    out += "<p class=\"lead\"><span class=\"outcome\">" + Escape(OutcomeText(run.outcome)) +
           "</span>, started " + Escape(When(run.startedAt)) + "</p>";

    // The window's table texts, so the numbers read exactly as the window shows them.
    const ui::forms::GraphPicture picture = ui::forms::LoadGraph(run, NameOf(run));
    const auto& texts = picture.table.texts;
    out += "<table class=\"data results\" id=\"results-" + n +
           "\"><thead><tr><th>Test</th><th>Name</th><th>Raw time (ms)</th><th>File size (MB)</th>"
           "<th>Speed (KB/s)</th><th>Comment</th></tr></thead><tbody>";
    for (int i = 0; i < kTestCount; ++i) {
        const auto at = static_cast<std::size_t>(5 * (i + 1));
        const TestResult* t = run.Find(i);
        if (t)
            out += "<tr data-test=\"" + Escape(t->id) + "\" data-ms=\"" + Plain(t->ms) +
                   "\" data-bytes=\"" + Plain(t->bytes) + "\" data-speed=\"" + Plain(t->speed) +
                   "\">";
        else
            out += "<tr class=\"not-run\" data-test=\"" + TestId(i) + "\">";
        out += Cell(TestId(i)) + Cell(texts[at]) + Cell(texts[at + 1], true) +
               Cell(texts[at + 2], true) + Cell(texts[at + 3], true) + Cell(texts[at + 4]) +
               "</tr>";
    }
    out += "</tbody></table>";

    out += "<figure class=\"chart\">" + ChartSvg(picture.chart) +
           "<figcaption>The chart of the results window: the network tests, the longest bar the "
           "fastest, in KB/s (kilobytes of 1024 bytes per second).</figcaption></figure>";

    out +=
        "<h3>Timelines</h3><p class=\"note\">Each test second by second (tests 6 to 8: one "
        "line per drone); the dashed line is the test's figure. Stalls, slow starts and a cache "
        "that fills and then slows the copy show in the line's shape. A test without per-second "
        "samples shows \"no samples\".</p><div class=\"timelines\">";
    for (const TestResult& t : run.tests) {
        std::size_t samples = t.intervals.size();
        for (const auto& d : t.droneIntervals) samples += d.size();
        out += "<figure class=\"timeline-figure\" data-test=\"" + Escape(t.id) +
               "\" data-samples=\"" + std::to_string(samples) + "\">" + TimelineSvg(t) +
               "<figcaption>" +
               Escape(t.id + " " + t.name + ": " + FormatNumber(t.speed, "##,##0") + " KB/s") +
               "</figcaption></figure>";
    }
    return out + "</div></section>";
}

struct HistoryEntry {
    std::string date, time;
    std::array<std::optional<double>, kTestCount> speed;
    std::array<std::string, kTestCount> comment;
    bool current = false;
};

std::string History(const ReportSource& source) {
    const RunResult& first = source.runs.front();
    std::set<std::string> ownLines;
    for (const RunResult& run : source.runs)
        for (const TestResult& t : run.tests) ownLines.insert(t.logLine);

    std::vector<HistoryEntry> entries;
    std::set<std::string> found;
    for (const LoggedRun* logged : SelectRuns(source.history, NameOf(first), TargetOf(first))) {
        HistoryEntry e;
        e.date = logged->Date();
        e.time = logged->startTime.empty() ? logged->tests.front().time : logged->startTime;
        for (const LoggedTest& t : logged->tests) {
            const auto i = static_cast<std::size_t>(t.index);
            e.speed[i] = t.speed;
            e.comment[i] = t.comment;
            if (ownLines.count(t.line)) {
                e.current = true;
                found.insert(t.line);
            }
        }
        entries.push_back(e);
    }
    // A run of this report the log does not hold (it could not be read, or lies elsewhere)
    // still takes its place at the end.
    for (const RunResult& run : source.runs) {
        if (run.tests.empty() || found.count(run.tests.front().logLine)) continue;
        HistoryEntry e;
        e.current = true;
        if (run.startedAt > 0) {
            const DateTime at = DateTime::Local(run.startedAt);
            e.date = ShortDate(at);
            e.time = LongTime(at);
        }
        for (const TestResult& t : run.tests) {
            e.speed[static_cast<std::size_t>(t.index)] = t.speed;
            e.comment[static_cast<std::size_t>(t.index)] = t.comment;
        }
        entries.push_back(e);
    }
    const std::size_t total = entries.size();
    if (entries.size() > kHistoryRuns)
        entries.erase(entries.begin(),
                      entries.begin() + static_cast<std::ptrdiff_t>(entries.size() - kHistoryRuns));

    std::string out = "<section id=\"history\"><h2>History</h2>";
    out += "<p>Runs of \"" + Escape(NameOf(first)) + "\" on " + Escape(TargetOf(first)) +
           " in the results log: " + std::to_string(total) +
           ", oldest first; the runs of this report are marked";
    if (total > entries.size())
        out += " (the newest " + std::to_string(entries.size()) + " are shown)";
    out += ".</p>";
    if (!source.historyProblem.empty())
        out += "<p class=\"note\">The results log could not be read (" +
               Escape(source.historyProblem) + "): only the runs of this report are shown.</p>";
    if (source.history.skippedLines > 0)
        out += "<p class=\"note\">" + std::to_string(source.history.skippedLines) +
               " line(s) of the log were skipped: this program did not write them, or they are "
               "damaged.</p>";

    out += "<div class=\"trends\">";
    for (int i = 0; i < kTestCount; ++i) {
        std::vector<TrendPoint> points;
        for (const HistoryEntry& e : entries)
            points.push_back(
                {e.speed[static_cast<std::size_t>(i)], e.current, e.date + " " + e.time});
        out += "<figure class=\"trend-figure\" data-test=\"" + TestId(i) + "\">" +
               TrendSvg(points, TestId(i) + " " + wirepace::TestName(i)) + "</figure>";
    }
    out += "</div>";

    out +=
        "<table class=\"data\" id=\"history-table\"><thead><tr><th>Run</th><th>Date</th>"
        "<th>Started</th>";
    for (int i = 0; i < kTestCount; ++i) out += "<th>" + TestId(i) + "</th>";
    out += "</tr></thead><tbody>";
    const std::size_t firstNumber = total - entries.size() + 1;
    for (std::size_t r = 0; r < entries.size(); ++r) {
        const HistoryEntry& e = entries[r];
        out += e.current ? "<tr class=\"this-run\">" : "<tr>";
        out += Cell(std::to_string(firstNumber + r) + (e.current ? " (this run)" : ""));
        out += Cell(e.date) + Cell(e.time);
        for (std::size_t i = 0; i < kTestCount; ++i) {
            if (!e.speed[i]) {
                out += "<td></td>";
                continue;
            }
            const std::string speed = FormatNumber(*e.speed[i], "##,##0");
            if (e.comment[i].empty())
                out += Cell(speed, true);
            else
                out += "<td class=\"num\" title=\"" + Escape(e.comment[i]) + "\">" + Escape(speed) +
                       " *</td>";
        }
        out += "</tr>";
    }
    out +=
        "</tbody></table><p class=\"note\">Speeds in KB/s; * marks a diagnosis (point at it "
        "to read it).</p>";
    return out + "</section>";
}

}  // namespace

std::string TargetKindText(const RunResult& run) {
    if (platform::IsSharePath(run.settings.target))
        return platform::SharesMapToDriveLetters()
                   ? "a Windows share (SMB), connected for the run"
                   : "an SMB share, mounted for the run with smbnetfs";
    const std::string& type = run.targetFileSystem;
    struct Known {
        const char* type;
        const char* words;
    };
    static const Known kKnown[] = {
        {"nfs", "an NFS export"},
        {"nfs4", "an NFS export"},
        {"cifs", "an SMB share mounted by the kernel (cifs)"},
        {"smb3", "an SMB share mounted by the kernel (smb3)"},
        {"smbfs", "an SMB share"},
        {"fuse.sshfs", "a folder reached over SSH (sshfs)"},
        {"fuse.smbnetfs", "an SMB share through smbnetfs"},
        {"9p", "a folder shared by a virtual machine's host (9p)"},
        {"tmpfs", "this machine's memory (tmpfs)"},
    };
    for (const Known& k : kKnown)
        if (type == k.type) return k.words;
    std::string words = run.targetIsRemote ? "a network folder" : "a local disk";
    if (!type.empty()) words += " (" + type + ")";
    return words;
}

ReportSource GatherReport(std::vector<RunResult> runs, const std::string& logPath) {
    ReportSource source;
    source.runs = std::move(runs);
    source.logPath = logPath;
    try {
        source.history = ReadResultsLog(logPath);
    } catch (const RuntimeError& e) {
        source.historyProblem = e.Text();
    }
    source.host = platform::HostName();
    source.version = WIREPACE_VERSION;
    return source;
}

std::string ReportHtml(const ReportSource& source) {
    std::string out =
        "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">"
        "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">"
        "<meta name=\"generator\" content=\"Wirepace " +
        Escape(source.version) + "\">";
    if (source.runs.empty()) {
        out += "<title>Wirepace report</title><style>" + std::string(kStyle) +
               "</style></head><body><h1>Wirepace report</h1><p>No run to report.</p>"
               "</body></html>\n";
        return out;
    }
    const RunResult& first = source.runs.front();
    out += "<title>" + Escape("Wirepace report: " + NameOf(first)) + "</title><style>" +
           std::string(kStyle) + "</style></head>\n<body>";
    out += "<header><h1>" + Escape("Wirepace report: " + NameOf(first)) +
           "</h1><p class=\"lead\">" +
           Escape(std::string(OutcomeText(source.runs.back().outcome)) + ", " + TargetOf(first) +
                  ", started " + When(first.startedAt)) +
           "</p></header>\n";
    out += Measured(source) + "\n";
    out += Diagnoses(source) + "\n";
    if (source.runs.size() > 1) out += Summary(source) + "\n";
    for (std::size_t r = 0; r < source.runs.size(); ++r)
        out += Run(source.runs[r], r + 1, source.runs.size()) + "\n";
    out += History(source) + "\n";
    out +=
        "<footer><p>The nine tests: 1a and 1b write the small and the large file on this "
        "machine; 2 and 3 copy the small file to the target and back, 4 and 5 the large one; "
        "6 copies the large file both ways at once (two drones); 7 and 8 copy five large files "
        "at once to the target and back (five drones). Speeds are KB/s, 1024 bytes per "
        "second; tests 6 to 8 count all copies' bytes over the time the slowest took.</p>"
        "<p>Written by Wirepace " +
        Escape(source.version) + " on " + Escape(source.host) + ".</p></footer>";
    return out + "</body></html>\n";
}

void SaveReport(const std::string& path, const std::vector<RunResult>& runs,
                const std::string& logPath) {
    platform::ReplaceFileWhole(path, ReportHtml(GatherReport(runs, logPath)));
}

std::optional<std::string> CheckReportPath(const std::string& path) {
    const std::string separators = std::string("/") + platform::Separator();
    const auto slash = path.find_last_of(separators);
    const std::string folder = slash == std::string::npos ? "" : path.substr(0, slash + 1);
    const std::string name = path.substr(folder.size());
    if (name.empty() || name == "." || name == ".." ||
        (platform::KindOf(path) != platform::EntryKind::Missing &&
         platform::KindOf(path) != platform::EntryKind::File))
        return "Cannot write the report to " + path + ": give the name of a file";
    // A file made and removed again beside it proves the folder takes the report.
    const std::string probe =
        folder + "." + name + "." + std::to_string(platform::CurrentProcessId()) + ".probe";
    try {
        if (platform::CreateExclusiveFile(probe, "")) platform::RemoveFile(probe);
    } catch (const RuntimeError& e) {
        return SaveFailureText(path, e);
    }
    return std::nullopt;
}

std::string SaveFailureText(const std::string& path, const RuntimeError& error) {
    return "Cannot write the report to " + path + ": " + error.Text();
}

}  // namespace wirepace::report
