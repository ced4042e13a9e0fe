// SPDX-License-Identifier: MIT
#include "cli/run.h"

#include <csignal>
#include <filesystem>
#include <string>
#include <vector>

#include "cli/cli_window.h"
#include "cli/options.h"
#include "cli/report.h"
#include "common/error.h"
#include "common/pause.h"
#include "core/benchmark_state.h"
#include "core/captions.h"
#include "core/connection_settings.h"
#include "core/test_sequence.h"
#include "platform/platform.h"

namespace wirepace::cli {

namespace {

// The signal that asked for the stop, 0 while none did.
volatile std::sig_atomic_t gInterrupted = 0;

constexpr int kExitFinished = 0, kExitError = 1;

void ClearResults(BenchmarkState& state) {
    for (std::size_t i = 0; i < kTestCount; ++i) {
        state.TestSpeeds[i] = 0;
        state.TestBytes[i] = 0;
        state.TestTimesMs[i].clear();
        state.TestSizesMB[i].clear();
        state.TestComments[i].clear();
        state.DroneTimesMs[i].clear();
    }
    state.DiagnosisNote.clear();
}

}  // namespace

void RequestInterrupt(int signal) {
    gInterrupted = signal > 0 ? signal : SIGINT;
}

int RunCommandLine(int argc, const char* const* argv, std::istream& in, std::ostream& out,
                   std::ostream& err) {
    // Options first: bad ones end here, before any folder or log is touched.
    ParseResult parsed = ParseOptions(argc, argv);
    if (!parsed.options) {
        (parsed.exitCode == 0 ? out : err) << parsed.output;
        return parsed.exitCode;
    }
    const Options& options = *parsed.options;

    std::string password;
    if (options.passwordFromStdin) {
        std::getline(in, password);
        if (!password.empty() && password.back() == '\r') password.pop_back();
    }

    BenchmarkState& state = State();
    try {
        platform::LoadRegionalSettings();
        InitControllerState(state);
    } catch (const RuntimeError& e) {
        err << "wirepace-cli: cannot prepare the work folder: " << e.Text() << '\n';
        return kExitError;
    }
    const auto lock = platform::AcquireSingleInstance();
    if (!lock) {
        err << "Program is already running.\n";
        return kExitError;
    }
    state.Fill = options.fill;
    ApplyConnectionType(state, options.typeText);

    std::string dir = options.dir;
    if (dir.empty()) {
        dir = DefaultTargetFolder(state.AppDrive);
        std::error_code ec;
        std::filesystem::create_directories(dir, ec);
        if (ec) {
            err << "wirepace-cli: cannot create the target folder " << dir << ": " << ec.message()
                << '\n';
            return kExitError;
        }
    }

    // Said once, before the progress, so nobody reads these figures as a network's.
    const bool textOnStderr = options.format != OutputFormat::Json;
    if (options.dir.empty() && textOnStderr) err << LocalDiskNote(dir) << '\n' << std::flush;

    CliWindow window(err);
    window.reportSaysFinished = options.format == OutputFormat::Text;
    window.testId = options.name;
    window.userName = options.user;
    window.password = password;
    window.speedIndex = options.speedIndex;
    TestSequence sequence(state, window);
    sequence.SetStallTimeoutSeconds(options.stallTimeoutSeconds);

    // Ctrl-C arrives between two pumps; the pump hands it to the sequence as a click on
    // "Stop", so the current test finishes and the run cleans up as from the window.
    bool stopDelivered = false;
    const PumpHook previousHook = SetPumpHook([&] {
        if (gInterrupted && !stopDelivered && window.NextCaption() == captions::kStop) {
            stopDelivered = true;
            sequence.cmdNext_Click();
        }
    });

    std::vector<RunFigures> runs;
    int exitCode = kExitFinished;
    for (int r = 0; r < options.repeat && !gInterrupted; ++r) {
        if (options.repeat > 1) err << "Run " << r + 1 << " of " << options.repeat << '\n';
        ClearResults(state);
        window.dirPath = dir;
        window.ResetForRun();
        stopDelivered = false;
        sequence.cmdNext_Click();
        runs.push_back(CollectFigures(state, window.Status(), window.ResultsText()));
        if (window.Status() == captions::kError) {
            for (const auto& line : runs.back().errorLines) err << line << '\n';
            exitCode = kExitError;
            break;
        }
        if (window.Status() != captions::kFinished) break;
    }
    SetPumpHook(previousHook);
    if (gInterrupted && exitCode == kExitFinished) exitCode = 128 + gInterrupted;
    if (textOnStderr)
        for (const auto& note : DistinctNotes(runs)) err << note << '\n';

    switch (options.format) {
        case OutputFormat::Text:
            WriteText(out, options, runs);
            break;
        case OutputFormat::Json:
            WriteJson(out, options, window.dirPath, runs);
            break;
        case OutputFormat::Csv:
            WriteCsv(out, runs);
            break;
    }
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
