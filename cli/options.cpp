// SPDX-License-Identifier: MIT
#include "cli/options.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <map>

#include "core/connection_settings.h"
#include "core/run_input.h"
#include "report/report_html.h"
#include "wirepace_version.h"

namespace wirepace::cli {

namespace {

std::string Trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(' ');
    if (first == std::string::npos) return "";
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

std::string SpeedList(const std::string& typeText) {
    std::string list;
    for (const auto& row : SpeedRowsFor(typeText)) {
        if (!list.empty()) list += ", ";
        list += std::string("\"") + row.speed + "\"";
    }
    return list;
}

}  // namespace

ParseResult ParseOptions(int argc, const char* const* argv) {
    Options o;
    std::string format = "text", fill = "zero";
    CLI::App app(
        "Measures how fast files travel between this machine and a target folder, and points "
        "out a possible duplex mismatch or window limitation.",
        "wirepace-cli");
    app.set_version_flag("--version", "wirepace-cli " WIREPACE_VERSION);
    app.add_option("--name", o.name, "Name of the test, as written to the results log")
        ->capture_default_str();
    const CLI::Option* typeOption = app.add_option(
        "--type", o.type,
        "Connection type: lan or wan (default: the type of --speed; otherwise wan, or lan "
        "without --dir)");
    const CLI::Option* speedOption = app.add_option(
        "--speed", o.speed,
        "Estimated speed, one entry of the type's list (default: the first; \"100mb\" "
        "without --dir).\nlan: " +
            SpeedList(kLanType) + "\nwan: " + SpeedList(kWanType));
    app.add_option("--dir", o.dir,
                   "Target directory: a folder, or a share path //server/share[/dir] mapped "
                   "for the run with --user (default: a local folder under the work root, which "
                   "measures this machine's disk)");
    app.add_option("--user", o.user, "Account name for a share path, e.g. CORP\\jo");
    CLI::Option* stdinOption =
        app.add_flag("--password-stdin", o.passwordFromStdin,
                     "Read the password from the first line of standard input");
    app.add_option("--password-file", o.passwordFile,
                   "Read the password from the first line of this file, which only its owner "
                   "may read")
        ->excludes(stdinOption);
    app.add_option("--repeat", o.repeat, "Run the whole sequence N times")->capture_default_str();
    app.add_option("--format", format,
                   "Output: text, json, csv, jsonl (one JSON object per event, as the run goes) "
                   "or openmetrics (for Prometheus)")
        ->capture_default_str();
    app.add_option("--metrics-file", o.metricsFile,
                   "After the runs, replace this file with their metrics in one step, however "
                   "they end (for node_exporter's or windows_exporter's textfile collector)");
    app.add_option("--stall-timeout", o.stallTimeoutSeconds,
                   "Seconds a drone's copy may make no progress before the test fails")
        ->capture_default_str();
    app.add_option("--fill", fill,
                   "Test file content: zero (as the window) or random (incompressible)")
        ->capture_default_str();
    app.add_option("--report", o.reportPath,
                   "Write an HTML report of the run (results, chart, timelines, history) to "
                   "FILE at the end")
        ->type_name("FILE");
    // A file of options ("dir = '//srv/bench'", one a line), e.g. for a scheduled run; options
    // on the command line take precedence, and a name it does not know is an error.
    app.set_config("--config", "", "Read options from this file, one \"option = value\" a line");
    app.allow_config_extras(false);

    HistoryOptions h;
    std::string historyFormat = "text";
    CLI::App* history = app.add_subcommand(
        "history", "List the runs in the results log, oldest first (see history --help)");
    history->add_option("--name", h.name, "Only the runs of this test name");
    history->add_option("--dir", h.dir, "Only the runs on this target directory");
    history->add_option("--format", historyFormat, "Output: text, json or csv")
        ->capture_default_str();
    history->add_option("--log", h.logPath, "Read this results log instead of your own")
        ->type_name("FILE");

    ParseResult result;
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        result.output = app.help();
        return result;
    } catch (const CLI::CallForVersion&) {
        result.output = "wirepace-cli " WIREPACE_VERSION "\n";
        return result;
    } catch (const CLI::ParseError& e) {
        result.exitCode = 2;
        result.output = std::string("wirepace-cli: ") + e.what() + "\nRun with --help for usage.\n";
        return result;
    }

    auto fail = [&](const std::string& message) {
        result.exitCode = 2;
        result.output = "wirepace-cli: " + message + "\nRun with --help for usage.\n";
        return result;
    };

    if (history->parsed()) {
        // The options of a run mean nothing to the history.
        for (const CLI::Option* option : app.get_options())
            if (option->count() > 0)
                return fail(option->get_name() + " belongs to a run, not to history; " +
                            "history takes --name, --dir, --format and --log");
        static const std::map<std::string, OutputFormat> historyFormats = {
            {"text", OutputFormat::Text}, {"json", OutputFormat::Json}, {"csv", OutputFormat::Csv}};
        if (!historyFormats.count(historyFormat))
            return fail("history --format \"" + historyFormat + "\" is not text, json or csv");
        h.format = historyFormats.at(historyFormat);
        result.history = h;
        return result;
    }

    if (Trimmed(o.name).empty()) return fail("--name must not be blank");
    if (auto problem = CheckRunInput(o.name, o.dir, o.user)) return fail(*problem);
    if (typeOption->count() == 0) {
        auto holds = [&](const char* typeText) {
            const auto& rows = SpeedRowsFor(typeText);
            return std::any_of(rows.begin(), rows.end(),
                               [&](const SpeedRow& r) { return o.speed == r.speed; });
        };
        if (speedOption->count() > 0) {
            if (holds(kLanType)) o.type = "lan";
        } else if (o.dir.empty()) {
            // The built-in folder is this machine's disk: the largest sizes give it timings
            // long enough to mean something.
            o.type = "lan";
            o.speed = "100mb";
        }
    }
    if (o.type == "lan") {
        o.typeText = kLanType;
    } else if (o.type == "wan") {
        o.typeText = kWanType;
    } else {
        return fail("--type \"" + o.type + "\" is not lan or wan");
    }
    const auto& rows = SpeedRowsFor(o.typeText);
    if (o.speed.empty()) o.speed = rows.front().speed;
    const auto row = std::find_if(rows.begin(), rows.end(),
                                  [&](const SpeedRow& r) { return o.speed == r.speed; });
    if (row == rows.end())
        return fail("--speed \"" + o.speed + "\" is not a " + o.type + " speed; choose one of " +
                    SpeedList(o.typeText));
    if (o.repeat < 1) return fail("--repeat " + std::to_string(o.repeat) + " must be 1 or more");
    if (o.stallTimeoutSeconds < 1)
        return fail("--stall-timeout " + std::to_string(o.stallTimeoutSeconds) +
                    " must be 1 second or more");
    static const std::map<std::string, OutputFormat> formats = {
        {"text", OutputFormat::Text},
        {"json", OutputFormat::Json},
        {"csv", OutputFormat::Csv},
        {"jsonl", OutputFormat::Jsonl},
        {"openmetrics", OutputFormat::OpenMetrics}};
    if (!formats.count(format))
        return fail("--format \"" + format + "\" is not text, json, csv, jsonl or openmetrics");
    for (const char* named : {"--metrics-file", "--password-file"})
        if (app.get_option(named)->count() > 0 && app.get_option(named)->as<std::string>().empty())
            return fail(std::string(named) + " needs a file name");
    o.format = formats.at(format);
    if (fill == "zero") {
        o.fill = FillMode::Zero;
    } else if (fill == "random") {
        o.fill = FillMode::Random;
    } else {
        return fail("--fill \"" + fill + "\" is not zero or random");
    }
    if (app.get_option("--report")->count() > 0) {
        // Found out now, not after a run of many minutes.
        if (auto problem = report::CheckReportPath(o.reportPath)) return fail(*problem);
    }
    result.options = o;
    return result;
}

std::string DefaultTargetFolder(const std::string& workRoot) {
    return workRoot + "target";
}

}  // namespace wirepace::cli
