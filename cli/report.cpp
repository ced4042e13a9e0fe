// SPDX-License-Identifier: MIT
#include "cli/report.h"

#include <algorithm>
#include <iomanip>
#include <nlohmann/json.hpp>
#include <sstream>

#include "common/number_format.h"
#include "core/captions.h"
#include "report/report_html.h"

namespace wirepace::cli {

std::string LocalDiskNote(const std::string& dir) {
    return "No --dir given: these numbers measure this machine's own disk (" + dir +
           "), not a network link.";
}

std::vector<std::string> DistinctNotes(const std::vector<RunResult>& runs) {
    std::vector<std::string> notes;
    for (const auto& run : runs)
        if (!run.note.empty() && std::find(notes.begin(), notes.end(), run.note) == notes.end())
            notes.push_back(run.note);
    return notes;
}

void WriteText(std::ostream& out, const Options& options, const std::vector<RunResult>& runs) {
    for (std::size_t r = 0; r < runs.size(); ++r) {
        const auto& run = runs[r];
        if (options.repeat > 1) out << "Run " << r + 1 << " of " << options.repeat << ": ";
        out << OutcomeText(run.outcome) << '\n';
        if (!run.tests.empty()) {
            out << std::left << std::setw(5) << "Test" << std::setw(34) << "Name" << std::right
                << std::setw(15) << "Raw time (ms)" << std::setw(11) << "Size (MB)" << std::setw(14)
                << "Speed (KB/s)"
                << "  Comment\n";
            for (const auto& t : run.tests) {
                out << std::left << std::setw(5) << t.id << std::setw(34) << t.name << std::right
                    << std::setw(15) << NumberToText(t.ms) << std::setw(11)
                    << NumberToText(t.sizeMB) << std::setw(14) << NumberToText(t.speed);
                if (!t.comment.empty()) out << "  " << t.comment;
                out << '\n';
            }
        }
        for (const auto& line : run.errorLines) out << line << '\n';
        out << '\n';
    }
    if (runs.size() > 1) {
        out << "Speed over " << runs.size() << " runs (KB/s)\n"
            << std::left << std::setw(5) << "Test" << std::setw(34) << "Name" << std::right
            << std::setw(12) << "Min" << std::setw(12) << "Median" << std::setw(12) << "Max"
            << '\n';
        for (const auto& s : Summarise(runs))
            out << std::left << std::setw(5) << s.id << std::setw(34) << s.name << std::right
                << std::setw(12) << NumberToText(s.min) << std::setw(12) << NumberToText(s.median)
                << std::setw(12) << NumberToText(s.max) << '\n';
    }
}

void WriteJson(std::ostream& out, const Options& options, const std::string& dir,
               const std::vector<RunResult>& runs) {
    using nlohmann::json;
    json doc;
    doc["settings"] = {{"name", options.name},
                       {"type", options.type},
                       {"speed", options.speed},
                       {"dir", dir},
                       {"user", options.user},
                       {"repeat", options.repeat},
                       {"fill", options.fill == FillMode::Random ? "random" : "zero"},
                       {"stall_timeout", options.stallTimeoutSeconds},
                       {"builtin_target", options.dir.empty()}};
    if (options.dir.empty()) doc["local_disk"] = LocalDiskNote(dir);
    json runList = json::array();
    for (const auto& run : runs) runList.push_back(RunJson(run));
    doc["runs"] = runList;
    if (options.repeat > 1) {
        json summary = json::array();
        for (const auto& s : Summarise(runs))
            summary.push_back({{"id", s.id},
                               {"name", s.name},
                               {"runs", s.runs},
                               {"min", s.min},
                               {"median", s.median},
                               {"max", s.max}});
        doc["summary"] = summary;
    }
    out << doc.dump(2, ' ', false, json::error_handler_t::replace) << '\n';
}

nlohmann::json TestJson(const TestResult& t) {
    // "ms" is the rounded time the log shows; "ms_exact" the measured one, so bytes / ms_exact
    // gives the speed before its rounding.
    nlohmann::json test = {
        {"id", t.id},       {"name", t.name},   {"ms", t.ms},          {"ms_exact", t.exactMs},
        {"bytes", t.bytes}, {"speed", t.speed}, {"comment", t.comment}};
    if (!t.droneMs.empty()) test["drone_ms"] = t.droneMs;
    // The bytes moved in each second of the test; per drone for tests 6 to 8.
    test["intervals"] = t.intervals;
    if (!t.droneIntervals.empty()) test["drone_intervals"] = t.droneIntervals;
    return test;
}

nlohmann::json RunJson(const RunResult& run) {
    nlohmann::json tests = nlohmann::json::array();
    for (const auto& t : run.tests) tests.push_back(TestJson(t));
    nlohmann::json r = {{"status", OutcomeText(run.outcome)}, {"tests", tests}};
    if (run.outcome == RunOutcome::Error && !run.errorLines.empty()) r["error"] = run.errorLines;
    if (!run.note.empty()) r["note"] = run.note;
    return r;
}

std::string JsonLine(const nlohmann::json& event) {
    return event.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + '\n';
}

std::string CsvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    return quoted + "\"";
}

void WriteCsv(std::ostream& out, const std::vector<RunResult>& runs) {
    // Tests 6 to 8 run up to five drones; each one's own time shows the skew between copies.
    constexpr std::size_t kDroneColumns = 5;
    out << "run,status,test_id,test_name,ms,bytes,speed_kbps,comment";
    for (std::size_t d = 1; d <= kDroneColumns; ++d) out << ",drone" << d << "_ms";
    out << '\n';
    for (std::size_t r = 0; r < runs.size(); ++r)
        for (const auto& t : runs[r].tests) {
            out << r + 1 << ',' << CsvField(OutcomeText(runs[r].outcome)) << ',' << CsvField(t.id)
                << ',' << CsvField(t.name) << ',' << NumberToText(t.ms) << ','
                << NumberToText(t.bytes) << ',' << NumberToText(t.speed) << ','
                << CsvField(t.comment);
            for (std::size_t d = 0; d < kDroneColumns; ++d) {
                out << ',';
                if (d < t.droneMs.size()) out << NumberToText(t.droneMs[d]);
            }
            out << '\n';
        }
}

bool WriteHtmlReport(const std::string& path, const std::vector<RunResult>& runs,
                     const std::string& logPath, std::ostream& err) {
    if (runs.empty()) return true;  // nothing ran: the reason is said already
    try {
        report::SaveReport(path, runs, logPath);
        return true;
    } catch (const RuntimeError& e) {
        err << "wirepace-cli: " << report::SaveFailureText(path, e) << '\n' << std::flush;
        return false;
    }
}

}  // namespace wirepace::cli
