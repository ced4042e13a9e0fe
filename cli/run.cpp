// SPDX-License-Identifier: MIT
#include "cli/run.h"

#include <csignal>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "cli/history.h"
#include "cli/metrics.h"
#include "cli/options.h"
#include "cli/report.h"
#include "common/error.h"
#include "common/number_format.h"
#include "common/pause.h"
#include "core/captions.h"
#include "core/catalogue.h"
#include "core/progress_meter.h"
#include "core/run_engine.h"
#include "platform/platform.h"

namespace wirepace::cli {

namespace {

// The signal that asked for the stop, 0 while none did.
volatile std::sig_atomic_t gInterrupted = 0;
// The run's stop, asked for from the signal handler itself (a lock-free atomic store), so a
// copy under way sees it at its next piece: nothing pumps while one copies.
StopToken gStop;

constexpr int kExitFinished = 0, kExitError = 1, kExitBadInput = 2;

// Follows a run on standard error: each test as it starts, the status lines once each, and
// with --format jsonl every event as one JSON line on standard output.
class CliObserver : public RunObserver {
  public:
    // `liveLine`: a line on standard error that follows the running test, rewritten in place
    // (for a person at a terminal).
    CliObserver(std::ostream& progress, std::ostream* events, bool reportSaysFinished,
                bool liveLine)
        : progress_(progress),
          events_(events),
          reportSaysFinished_(reportSaysFinished),
          liveLine_(liveLine) {}

    void StartRun() {
        lastPrinted_.clear();
        startedTest_.clear();
        finished_ = false;
    }

    // The user's stop as the run sees it, and said as the window says it.
    void Stopping() { Status(captions::kInterrupted, captions::kPleaseWaitStopping, false); }
    bool Finished() const { return finished_; }

    void RunStarted(const RunSettings& settings) override {
        Emit({{"event", "run_started"},
              {"name", settings.testName},
              {"dir", settings.target},
              {"type", settings.connectionType},
              {"speed", settings.speedEntry},
              {"small_kb", settings.smallKB},
              {"large_kb", settings.largeKB}});
    }
    void Status(const std::string& line1, const std::string&, bool) override {
        // The test's title was printed with its number when the test started.
        if (line1 == startedTest_) return;
        // A status said twice in a row ("Stop" and the end of the run both say "Interrupted
        // by user") is printed once.
        if (line1.empty() || line1 == lastPrinted_) return;
        if (reportSaysFinished_ && line1 == captions::kFinished) return;
        lastPrinted_ = line1;
        Say(line1);
    }
    void TestStarted(int index, const std::string& id, const std::string& name,
                     double bytes) override {
        startedTest_ = name;
        lastPrinted_.clear();
        Say("Test " + std::to_string(index + 1) + "/" + std::to_string(kTestCount) + " (" + id +
            "): " + name);
        Emit({{"event", "test_started"},
              {"index", index},
              {"id", id},
              {"name", name},
              {"bytes", bytes}});
    }
    void Progress(const TestProgress& p) override {
        if (events_) {
            nlohmann::json event = {{"event", "progress"},
                                    {"index", p.index},
                                    {"test", p.id},
                                    {"bytes", p.bytes},
                                    {"total_bytes", p.totalBytes},
                                    {"elapsed_ms", p.elapsedMs},
                                    {"rate_kbs", p.rateKBs}};
            if (!p.droneBytes.empty()) event["drone_bytes"] = p.droneBytes;
            Emit(event);
        }
        if (liveLine_) ShowLive("  " + ProgressText(p));
    }
    void ResultRecorded(const TestResult& result) override {
        ShowLive("");
        nlohmann::json event = TestJson(result);
        event["event"] = "result";
        event["index"] = result.index;
        Emit(event);
    }
    void Note(const std::string& text) override { Emit({{"event", "note"}, {"text", text}}); }
    void Alert(const std::string& text) override { Say(text); }
    void RunFinished(const RunResult& result) override {
        ShowLive("");
        finished_ = true;
        Status(OutcomeText(result.outcome), "", false);
        nlohmann::json event = RunJson(result);
        event.erase("tests");
        event["event"] = "finished";
        Emit(event);
    }

  private:
    void Emit(const nlohmann::json& event) {
        if (events_) *events_ << JsonLine(event) << std::flush;
    }
    // A line of its own: the live line, if shown, makes room first.
    void Say(const std::string& line) {
        ShowLive("");
        progress_ << line << '\n' << std::flush;
    }
    void ShowLive(const std::string& line) {
        if (line.empty() && liveShown_ == 0) return;
        std::string text = "\r" + line;
        if (line.size() < liveShown_) text += std::string(liveShown_ - line.size(), ' ') + "\r";
        liveShown_ = line.size();
        progress_ << text << std::flush;
    }
    std::ostream& progress_;
    std::ostream* events_;
    bool reportSaysFinished_;
    bool liveLine_;
    std::size_t liveShown_ = 0;  // length of the live line on the terminal, 0 when none
    bool finished_ = false;
    std::string lastPrinted_;
    std::string startedTest_;
};

}  // namespace

void RequestInterrupt(int signal) {
    gInterrupted = signal > 0 ? signal : SIGINT;
    gStop.Request();
}

int RunCommandLine(int argc, const char* const* argv, std::istream& in, std::ostream& out,
                   std::ostream& err) {
    // Options first: bad ones end here, before any folder or log is touched.
    ParseResult parsed = ParseOptions(argc, argv);
    if (parsed.history) return RunHistory(*parsed.history, out, err);
    if (!parsed.options) {
        (parsed.exitCode == 0 ? out : err) << parsed.output;
        return parsed.exitCode;
    }
    const Options& options = *parsed.options;
    // From here on every way out writes the metrics (when asked for), failures too.
    MetricsOutput metrics(options);

    std::string password;
    if (options.passwordFromStdin) {
        std::getline(in, password);
        if (!password.empty() && password.back() == '\r') password.pop_back();
    } else if (!options.passwordFile.empty()) {
        try {
            password = platform::ReadPrivateFirstLine(options.passwordFile);
        } catch (const RuntimeError& e) {
            err << "wirepace-cli: --password-file: " << e.Text() << '\n';
            return metrics.EndWithError(e.Number(), kExitBadInput, out, err);
        }
    }

    RunEnvironment environment;
    try {
        platform::LoadRegionalSettings();
        environment = ControllerEnvironment();
    } catch (const RuntimeError& e) {
        err << "wirepace-cli: cannot prepare the work folder: " << e.Text() << '\n';
        return metrics.EndWithError(e.Number(), kExitError, out, err);
    }
    const auto lock = platform::AcquireSingleInstance();
    if (!lock) {
        err << "Program is already running.\n";
        return metrics.EndWithError(0, kExitError, out, err);
    }

    std::string dir = options.dir;
    if (dir.empty()) {
        dir = DefaultTargetFolder(environment.workRoot);
        std::error_code ec;
        std::filesystem::create_directories(dir, ec);
        if (ec) {
            err << "wirepace-cli: cannot create the target folder " << dir << ": " << ec.message()
                << '\n';
            return metrics.EndWithError(kErrPathNotFound, kExitError, out, err);
        }
    }

    RunSettings settings = *SettingsFor(options.typeText, options.speed);
    settings.testName = options.name;
    settings.target = dir;
    settings.account = options.user;
    settings.password = password;
    settings.fill = options.fill;
    settings.stallTimeoutSeconds = options.stallTimeoutSeconds;

    // Said once, before the progress, so nobody reads these figures as a network's.
    const bool machineOutput =
        options.format == OutputFormat::Json || options.format == OutputFormat::Jsonl;
    if (options.dir.empty() && !machineOutput) err << LocalDiskNote(dir) << '\n' << std::flush;

    CliObserver observer(err, options.format == OutputFormat::Jsonl ? &out : nullptr,
                         options.format == OutputFormat::Text,
                         options.format == OutputFormat::Text && &err == &std::cerr &&
                             platform::StandardErrorIsTerminal());
    StopToken& stop = gStop;
    if (!gInterrupted) stop.Reset();

    // Ctrl-C stops the run at once (the handler asks for the stop); the first pump after it
    // says so, while the run cleans up as from the window.
    bool stopDelivered = false;
    const PumpHook previousHook = SetPumpHook([&] {
        if (gInterrupted && !stopDelivered && !observer.Finished()) {
            stopDelivered = true;
            stop.Request();
            observer.Stopping();
        }
    });

    std::vector<RunResult> runs;
    int exitCode = kExitFinished;
    for (int r = 0; r < options.repeat && !gInterrupted; ++r) {
        if (options.repeat > 1) err << "Run " << r + 1 << " of " << options.repeat << '\n';
        observer.StartRun();
        stopDelivered = false;
        try {
            runs.push_back(RunBenchmark(settings, environment, observer, stop));
        } catch (const SettingsError& e) {
            err << "wirepace-cli: " << e.what() << '\n';
            metrics.NoteError(0);
            exitCode = kExitError;
            break;
        }
        if (runs.back().outcome == RunOutcome::Error) {
            for (const auto& line : runs.back().errorLines) err << line << '\n';
            exitCode = kExitError;
            break;
        }
        if (runs.back().outcome != RunOutcome::Finished) break;
    }
    SetPumpHook(previousHook);
    if (gInterrupted && exitCode == kExitFinished) exitCode = 128 + gInterrupted;
    if (!machineOutput)
        for (const auto& note : DistinctNotes(runs)) err << note << '\n';

    const std::string shownDir = runs.empty() ? dir : runs.back().target;
    switch (options.format) {
        case OutputFormat::Text:
            WriteText(out, options, runs);
            break;
        case OutputFormat::Json:
            WriteJson(out, options, shownDir, runs);
            break;
        case OutputFormat::Csv:
            WriteCsv(out, runs);
            break;
        case OutputFormat::Jsonl:
            break;  // written as the runs went
        case OutputFormat::OpenMetrics:
            break;  // written with the metrics file, below
    }
    if (!options.reportPath.empty() &&
        !WriteHtmlReport(options.reportPath, runs, environment.logPath, err) &&
        exitCode == kExitFinished)
        exitCode = kExitError;
    exitCode = metrics.End(exitCode, dir, runs, out, err);
    // A closed pipe (`| head -3`) must not kill the program before it has cleaned up, so
    // SIGPIPE is ignored and the failed write is reported here, once.
    out.flush();
    if (!out) {
        err << "wirepace-cli: cannot write the results to standard output (closed pipe or full "
               "disk)\n"
            << std::flush;
        if (exitCode == kExitFinished) exitCode = kExitError;
    }
    return exitCode;
}

}  // namespace wirepace::cli
