// SPDX-License-Identifier: MIT
#include "cli/history.h"

#include <algorithm>
#include <iomanip>
#include <nlohmann/json.hpp>

#include "cli/report.h"
#include "common/error.h"
#include "common/number_format.h"
#include "core/catalogue.h"
#include "platform/platform.h"

namespace wirepace::cli {

namespace {

// The speed of test `index` of a run as the table shows it, "*" after it when it carries a
// diagnosis; "" when the run did not complete the test.
std::string SpeedCell(const LoggedRun& run, int index) {
    const LoggedTest* t = run.Find(index);
    if (!t) return "";
    return NumberToText(t->speed) + (t->comment.empty() ? "" : "*");
}

std::size_t Width(const std::string& text) {
    // Columns are counted in characters, not in the bytes of UTF-8.
    return static_cast<std::size_t>(
        std::count_if(text.begin(), text.end(), [](char c) { return (c & 0xC0) != 0x80; }));
}

void Padded(std::ostream& out, const std::string& text, std::size_t width, bool right) {
    const std::size_t fill = width > Width(text) ? width - Width(text) : 0;
    if (right) out << std::string(fill, ' ');
    out << text;
    if (!right) out << std::string(fill, ' ');
}

}  // namespace

void WriteHistoryText(std::ostream& out, const std::vector<const LoggedRun*>& runs) {
    if (runs.empty()) {
        out << "No runs.\n";
        return;
    }
    std::vector<std::string> header = {"Date", "Started", "Name", "Target"};
    for (const auto& entry : kCatalogue) header.push_back(entry.id);
    std::vector<std::vector<std::string>> rows;
    bool flagged = false;
    for (const LoggedRun* run : runs) {
        std::vector<std::string> row = {run->Date(), run->startTime, run->name, run->dir};
        for (int i = 0; i < kTestCount; ++i) {
            row.push_back(SpeedCell(*run, i));
            flagged = flagged || row.back().ends_with("*");
        }
        rows.push_back(row);
    }
    std::vector<std::size_t> widths(header.size());
    for (std::size_t c = 0; c < header.size(); ++c) {
        widths[c] = Width(header[c]);
        for (const auto& row : rows) widths[c] = std::max(widths[c], Width(row[c]));
    }
    auto line = [&](const std::vector<std::string>& cells) {
        for (std::size_t c = 0; c < cells.size(); ++c) {
            if (c > 0) out << "  ";
            // The speeds line up on their right edge, the texts on their left.
            Padded(out, cells[c], widths[c], c >= 4);
        }
        out << '\n';
    };
    line(header);
    for (const auto& row : rows) line(row);
    out << "Speeds in KB/s.";
    if (flagged) out << " * marks a diagnosis (--format json or csv give its text).";
    out << '\n';
}

void WriteHistoryJson(std::ostream& out, const std::string& logPath, const LogHistory& history,
                      const std::vector<const LoggedRun*>& runs) {
    using nlohmann::json;
    json list = json::array();
    for (const LoggedRun* run : runs) {
        json tests = json::array();
        for (const LoggedTest& t : run->tests)
            tests.push_back(
                {{"id", t.id}, {"ms", t.ms}, {"speed", t.speed}, {"comment", t.comment}});
        json entry = {{"name", run->name},
                      {"dir", run->dir},
                      {"date", run->Date()},
                      {"started", run->startTime},
                      {"tests", tests}};
        if (!run->otherLines.empty()) entry["messages"] = run->otherLines;
        list.push_back(entry);
    }
    const json doc = {{"log", logPath},
                      {"skipped_lines", history.skippedLines},
                      {"runs_without_results", history.runsWithoutResults},
                      {"runs", list}};
    out << doc.dump(2, ' ', false, json::error_handler_t::replace) << '\n';
}

void WriteHistoryCsv(std::ostream& out, const std::vector<const LoggedRun*>& runs) {
    out << "name,dir,date,started";
    for (const auto& entry : kCatalogue) out << ',' << entry.id;
    out << ",comments\n";
    for (const LoggedRun* run : runs) {
        out << CsvField(run->name) << ',' << CsvField(run->dir) << ',' << CsvField(run->Date())
            << ',' << CsvField(run->startTime);
        std::string comments;
        for (int i = 0; i < kTestCount; ++i) {
            const LoggedTest* t = run->Find(i);
            out << ',';
            if (!t) continue;
            out << NumberToText(t->speed);
            if (!t->comment.empty())
                comments += (comments.empty() ? "" : "; ") + t->id + ": " + t->comment;
        }
        out << ',' << CsvField(comments) << '\n';
    }
}

int RunHistory(const HistoryOptions& options, std::ostream& out, std::ostream& err) {
    std::string logPath = options.logPath;
    LogHistory history;
    try {
        platform::LoadRegionalSettings();
        if (logPath.empty()) logPath = platform::LogFolder() + "TestResults.txt";
        history = ReadResultsLog(logPath);
    } catch (const RuntimeError& e) {
        err << "wirepace-cli: cannot read the results log " << logPath << ": " << e.Text() << '\n';
        return 1;
    }
    const auto runs = SelectRuns(history, options.name, options.dir);
    switch (options.format) {
        case OutputFormat::Json:
            WriteHistoryJson(out, logPath, history, runs);
            break;
        case OutputFormat::Csv:
            WriteHistoryCsv(out, runs);
            break;
        default:
            WriteHistoryText(out, runs);
            break;
    }
    if (history.skippedLines > 0 && options.format != OutputFormat::Json)
        err << "wirepace-cli: " << history.skippedLines << " line(s) of " << logPath
            << " were skipped: this program did not write them, or they are damaged\n";
    out.flush();
    if (!out) {
        err << "wirepace-cli: cannot write the history to standard output\n";
        return 1;
    }
    return 0;
}

}  // namespace wirepace::cli
