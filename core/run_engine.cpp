// SPDX-License-Identifier: MIT
#include "core/run_engine.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <exception>
#include <filesystem>
#include <limits>
#include <memory>
#include <utility>

#include "common/date_format.h"
#include "common/drone_protocol.h"
#include "common/error.h"
#include "common/file_exists.h"
#include "common/number_format.h"
#include "common/pause.h"
#include "core/captions.h"
#include "core/catalogue.h"
#include "core/drone_fleet.h"
#include "core/payload_files.h"
#include "core/progress_meter.h"
#include "core/results_log.h"
#include "core/run_context.h"
#include "core/share_connection.h"
#include "core/target_lock.h"
#include "core/work_files.h"
#include "platform/platform.h"

namespace wirepace {

namespace {

using namespace captions;

// A file length as the 32-bit count it is measured with, times `count`; anything beyond 32 bits
// is an overflow, never a wrapped byte count.
double Bytes32(std::int64_t length, int count) {
    constexpr std::int64_t kMax = std::numeric_limits<std::int32_t>::max();
    if (length > kMax || length * count > kMax) throw RuntimeError(kErrOverflow);
    return static_cast<double>(length * count);
}

// The longest of the drones' times: the time the link needed to move all their bytes. The mean
// would credit the link with bytes the slowest copies were still moving.
double Longest(const std::vector<double>& times) {
    double longest = 0;
    for (double ms : times) longest = std::max(longest, ms);
    return longest;
}

// One run from its first log line to its cleanup.
class Run {
  public:
    Run(const RunSettings& settings, const RunEnvironment& environment, RunObserver& observer,
        const StopToken& stop)
        : settings_(settings), observer_(observer), stop_(stop), shownDir_(settings.target) {
        context_.AppDrive = environment.workRoot;
        context_.LogPath = environment.logPath;
        context_.Fill = settings.fill;
        isNetworkFolder_ =
            environment.isNetworkFolder ? environment.isNetworkFolder : platform::IsNetworkFolder;
        pieceDelayMs_ = environment.pieceDelayMs;
        result_.settings = settings;
        result_.settings.password.clear();  // a result is kept and reported; the password not
    }

    RunResult Execute() {
        try {
            RunTests();
            FinishRun(RunOutcome::Finished);
        } catch (const RunInterrupted&) {
            // The user stopped a wait for drones: that test is not recorded.
            FinishRun(RunOutcome::Interrupted);
        } catch (const RuntimeError& e) {
            HandleError(e.Number(), e.Description());
        } catch (const std::exception& e) {
            // Not a file error of ours (out of memory, a library failure): still end the run
            // cleanly instead of leaving drones and work files behind.
            HandleError(kErrInternal, std::string("Internal error: ") + e.what());
        }
        return std::move(result_);
    }

  private:
    void ShowStatus(const std::string& line1, const std::string& line2, bool isTest = false) {
        observer_.Status(line1, line2, isTest);
    }

    void ShowTarget(const std::string& dir) {
        shownDir_ = dir;
        observer_.TargetShown(dir);
    }

    void Say(const std::string& text) {
        if (errorStarted_) result_.errorLines.push_back(text);
        observer_.Message(text);
    }

    // The target directory as the run's files use it: the shown text, or the mount folder of
    // a share mapped on a system without drive letters.
    std::string TargetDir() const { return FilesDir(context_, shownDir_); }

    void RunTests();
    void RunTest(int index, ProgressMeter& meter, double& elapsed, double& bytes);
    void CollectDrones(int index, int droneCount, ProgressMeter& meter, double& elapsed);
    // Follows a copy or a write into `meter` and abandons it when the user stops the run.
    platform::CopyProgress Follow(ProgressMeter& meter) {
        return [this, &meter](std::int64_t copied, std::int64_t) {
            if (pieceDelayMs_ > 0) Pause(pieceDelayMs_ / 1000);
            meter.Update(static_cast<double>(copied));
            return !stop_.Requested();
        };
    }
    // Abandons an untimed copy when the user stops the run.
    platform::CopyProgress StopOnly() {
        return [this](std::int64_t, std::int64_t) { return !stop_.Requested(); };
    }
    void FinishRun(RunOutcome outcome);
    void HandleError(int number, const std::string& description);

    RunSettings settings_;
    RunObserver& observer_;
    const StopToken& stop_;
    std::function<bool(const std::string&)> isNetworkFolder_;
    double pieceDelayMs_ = 0;
    RunContext context_;
    RunResult result_;
    std::string shownDir_;
    DroneFleet fleet_;
    std::unique_ptr<TargetLock> targetLock_;
    bool workRootSwept_ = false;
    bool targetSwept_ = false;
    bool errorStarted_ = false;
    std::vector<double> droneTimes_;
};

void Run::RunTests() {
    result_.startedAt =
        std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
    observer_.RunStarted(result_.settings);
    const std::string banner =
        "-- Starting " + settings_.testName + " test at " + LongTime(DateTime::Now()) + " --";
    observer_.LogLine(banner);
    LogLine(context_, banner);
    // A mount (and its credentials) left by a killed run goes before anything else.
    RemoveStaleShareMapping(context_);
    // Whatever an abnormally ended run left (work files of any size, drones, result files, a
    // release or stop file) would be read or released as this run's.
    SweepWorkRoot(context_.AppDrive);
    workRootSwept_ = true;

    std::string dir = shownDir_;
    if (platform::IsSharePath(dir)) {
        if (!dir.empty() && dir.back() == '\\') {
            dir.pop_back();
            ShowTarget(dir);
        }
        PumpEvents();
        ShowStatus("Establishing connection...", "Please Wait...");
        if (platform::SharesMapToDriveLetters()) {
            context_.ShareDrive = GetFreeDriveLetter();
            if (context_.ShareDrive.empty()) {
                ShowStatus("", kError);
                const std::string line = "-- Unable to retrieve drive list --";
                errorStarted_ = true;
                result_.errorLines.push_back(line);
                observer_.LogLine(line);
                LogLine(context_, line);
                throw RuntimeError(0, "");
            }
        }
        // Raises at once, saying why, when the mapping fails: no pause, no guess.
        ConnectShare(context_, shownDir_, settings_.password, settings_.account);
        ShowStatus("Initializing tests...", "Connection Established...");
    } else if (!std::filesystem::path(PathFromUtf8(dir)).is_absolute()) {
        throw RuntimeError(kErrPathNotFound,
                           "The target directory must be a full path: \"" + dir + "\"");
    }

    dir = platform::NormaliseSeparators(shownDir_);
    if (dir.empty() || dir.back() != platform::Separator()) dir += platform::Separator();
    ShowTarget(dir);
    result_.target = dir;

    // Nothing in the target is touched before this run holds it.
    if (TargetDir().empty()) throw RuntimeError(kErrPathNotFound);
    targetLock_ = TargetLock::Take(TargetDir());
    SweepTarget(TargetDir());
    targetSwept_ = true;
    context_.TargetIsRemote = isNetworkFolder_(TargetDir());
    result_.targetIsRemote = context_.TargetIsRemote;
    result_.targetFileSystem = platform::FileSystemType(TargetDir());
    platform::SetEmergencyFiles([&] {
        auto paths = RunFilePaths(context_, settings_.smallKB, settings_.largeKB, TargetDir());
        paths.push_back(targetLock_->Path());
        return paths;
    }());

    ShowStatus("Testing Connection...", "Please Wait...");
    context_.SmallTestFile = CreateTestFile(context_, settings_.smallKB);
    platform::FlushFile(context_.AppDrive + context_.SmallTestFile);
    const std::string dirNow = TargetDir();
    platform::CopyUncached(context_.AppDrive + context_.SmallTestFile,
                           dirNow + context_.SmallTestFile);
    platform::RemoveFile(context_.AppDrive + context_.SmallTestFile);
    platform::RemoveFile(dirNow + context_.SmallTestFile);

    for (int i = 0; i < kTestCount; ++i) {
        observer_.TestStarted(i, TestId(i), TestName(i), BytesToMove(settings_, i));
        ShowStatus(TestName(i), TestId(i), true);
        Pause(0.5);
        if (stop_.Requested()) throw RunInterrupted();
        targetLock_->Refresh();
        double elapsed = 0;
        double bytes = 0;
        droneTimes_.clear();
        ProgressMeter meter(observer_, i, BytesToMove(settings_, i), DronesOf(i));
        RunTest(i, meter, elapsed, bytes);
        std::string note;
        TestResult recorded = RecordResult(context_, settings_.testName, shownDir_, i, elapsed,
                                           bytes, DateTime::Now(), note);
        recorded.droneMs = droneTimes_;
        meter.FillSamples(recorded);
        result_.tests.push_back(recorded);
        observer_.ResultRecorded(recorded);
        if (!note.empty()) {
            result_.note = note;
            observer_.Note(note);
        }
    }
}

void Run::RunTest(int index, ProgressMeter& meter, double& elapsed, double& bytes) {
    const std::string dir = TargetDir();
    const std::string& root = context_.AppDrive;
    auto localSmall = [&] { return root + context_.SmallTestFile; };
    auto remoteSmall = [&] { return dir + context_.SmallTestFile; };
    auto localLarge = [&] { return root + context_.LargeTestFile; };
    auto remoteLarge = [&] { return dir + context_.LargeTestFile; };
    auto workName = [&](int k) { return WorkFileName(k, context_.LargeTestFile); };
    auto localCopy = [&](int k) { return root + workName(k); };
    auto remoteCopy = [&](int k) { return dir + workName(k); };
    auto length = [](const std::string& path) { return Bytes32(platform::FileLength(path), 1); };

    double start = 0;
    double end = 0;
    switch (index) {
        case 0:
            meter.Start();
            start = TickMs();
            context_.SmallTestFile = CreateTestFile(context_, settings_.smallKB, Follow(meter));
            end = TickMs();
            bytes = length(localSmall());
            // Written out now, untimed: the later unbuffered reads of it must not pay for it.
            platform::FlushFile(localSmall());
            break;
        case 1:
            meter.Start();
            start = TickMs();
            context_.LargeTestFile = CreateTestFile(context_, settings_.largeKB, Follow(meter));
            end = TickMs();
            bytes = length(localLarge());
            platform::FlushFile(localLarge());
            break;
        case 2:
            meter.Start();
            start = TickMs();
            platform::CopyUncached(localSmall(), remoteSmall(), Follow(meter));
            end = TickMs();
            bytes = length(localSmall());
            break;
        case 3:
            platform::RemoveFile(localSmall());
            meter.Start();
            start = TickMs();
            platform::CopyUncached(remoteSmall(), localSmall(), Follow(meter));
            end = TickMs();
            bytes = length(localSmall());
            break;
        case 4:
            platform::RemoveFile(remoteSmall());
            platform::RemoveFile(localSmall());
            meter.Start();
            start = TickMs();
            platform::CopyUncached(localLarge(), remoteLarge(), Follow(meter));
            end = TickMs();
            bytes = length(localLarge());
            break;
        case 5:
            platform::RemoveFile(localLarge());
            meter.Start();
            start = TickMs();
            platform::CopyUncached(remoteLarge(), localLarge(), Follow(meter));
            end = TickMs();
            bytes = length(localLarge());
            break;
        case 6: {
            const int droneCount = 2;
            if (!FileExists(localCopy(2))) platform::RenameFile(localLarge(), localCopy(2));
            if (!FileExists(remoteCopy(1))) platform::RenameFile(remoteLarge(), remoteCopy(1));
            WriteDrone(context_, DroneFileName(1));
            WriteDrone(context_, DroneFileName(2));
            StartDrone(context_, fleet_, 1, DroneDirection::From, dir, workName(1));
            StartDrone(context_, fleet_, 2, DroneDirection::To, dir, workName(2));
            CollectDrones(index, droneCount, meter, elapsed);
            bytes = Bytes32(platform::FileLength(localCopy(1)), droneCount);
            meter.Finish(bytes, true);
            return;
        }
        case 7: {
            const int droneCount = 5;
            platform::RemoveFile(remoteCopy(1));
            platform::RemoveFile(remoteCopy(2));
            for (int k = 3; k <= 5; ++k) WriteDrone(context_, DroneFileName(k));
            for (int k = 3; k <= 5; ++k)
                platform::CopyUncached(localCopy(1), localCopy(k), StopOnly());
            for (int k = 1; k <= 5; ++k)
                StartDrone(context_, fleet_, k, DroneDirection::To, dir, workName(k));
            CollectDrones(index, droneCount, meter, elapsed);
            bytes = Bytes32(platform::FileLength(localCopy(1)), droneCount);
            meter.Finish(bytes, true);
            return;
        }
        case 8: {
            for (int k = 1; k <= 5; ++k) platform::RemoveFile(localCopy(k));
            const int droneCount = 5;
            for (int k = 1; k <= 5; ++k)
                StartDrone(context_, fleet_, k, DroneDirection::From, dir, workName(k));
            CollectDrones(index, droneCount, meter, elapsed);
            bytes = Bytes32(platform::FileLength(localCopy(1)), droneCount);
            meter.Finish(bytes, true);
            return;
        }
        default:
            throw RuntimeError(kErrSubscriptOutOfRange);
    }
    elapsed = end - start;
    meter.Finish(bytes);
}

void Run::CollectDrones(int index, int droneCount, ProgressMeter& meter, double& elapsed) {
    DroneWait wait;
    wait.stopRequested = [this] { return stop_.Requested(); };
    wait.stallLimitMs = settings_.stallTimeoutSeconds * 1000.0;
    wait.onProgress = [&meter](const std::vector<std::int64_t>& bytes) {
        meter.UpdateDrones(bytes);
    };
    // The drones time themselves from their release; the test's clock starts with it.
    wait.onRelease = [&meter] { meter.Start(); };
    droneTimes_ = CollectDroneTimes(context_, fleet_, droneCount, index, wait);
    elapsed = Longest(droneTimes_);
}

void Run::HandleError(int number, const std::string& description) {
    errorStarted_ = true;
    result_.errorNumber = number;
    result_.errorDescription = description;
    if (number != 0) {
        const std::string line = "-- Error: " + ErrorText(number, description) + " --";
        result_.errorLines = {line};
        observer_.LogLine(line);
        try {
            LogLine(context_, line);
        } catch (const RuntimeError&) {
            // The log itself failed (read-only folder, full disk): the user still sees it.
        }
    }
    if (number == kErrPathNotFound) Say("Please check target folder (spelling, permissions, etc.)");
    if (number == kErrFileNotFound) Say("Failed to establish a connection.");
    FinishRun(RunOutcome::Error);
}

void Run::FinishRun(RunOutcome outcome) {
    // A folder is cleaned at the end only where the run's first sweep went through: the target
    // only when this run holds it (another controller may be testing it), and neither when its
    // sweep already failed, which would only report the same failure a second time.
    if (workRootSwept_) {
        if (const auto failure = TerminateDrones(
                context_, fleet_, targetLock_ && targetSwept_ ? TargetDir() : std::string())) {
            observer_.Alert(failure->Text());
            // Files left behind are a failure of the run, whatever its tests showed: it never
            // ends "Finished" with the target or the work root still holding them.
            if (outcome != RunOutcome::Error) {
                outcome = RunOutcome::Error;
                result_.errorNumber = failure->Number();
                result_.errorDescription = failure->Description();
                errorStarted_ = true;
                const std::string line = "-- Error: " + failure->Text() + " --";
                result_.errorLines.push_back(line);
                observer_.Message(line);
                try {
                    LogLine(context_, line);
                } catch (const RuntimeError&) {
                    // The log failed too: the window and the report still say it.
                }
            }
        }
    }
    targetLock_.reset();
    platform::ClearEmergency();
    if (ShareConnected(context_)) {
        try {
            DisconnectShare(context_);
        } catch (const RuntimeError& e) {
            Say("Could not remove the mapping of " + shownDir_ + ": " + e.Text());
        }
    }
    if (result_.target.empty()) result_.target = shownDir_;
    result_.outcome = outcome;
    observer_.RunFinished(result_);
}

}  // namespace

const char* OutcomeText(RunOutcome outcome) {
    switch (outcome) {
        case RunOutcome::Finished:
            return kFinished;
        case RunOutcome::Interrupted:
            return kInterrupted;
        case RunOutcome::Error:
            break;
    }
    return kError;
}

RunEnvironment ControllerEnvironment() {
    RunEnvironment environment;
    environment.workRoot = platform::ControllerAppDrive();
    environment.logPath = platform::LogFolder() + "TestResults.txt";
    if (const auto delay = platform::GetEnv(kPieceDelayVariable))
        environment.pieceDelayMs = TextToNumber(*delay).value_or(0);
    return environment;
}

int DronesOf(int index) {
    return index == 6 ? 2 : index >= 7 ? 5 : 0;
}

double BytesToMove(const RunSettings& settings, int index) {
    const double small = settings.smallKB * 1024.0;
    const double large = settings.largeKB * 1024.0;
    switch (index) {
        case 0:
        case 2:
        case 3:
            return small;
        case 6:
            return 2 * large;
        case 7:
        case 8:
            return 5 * large;
        default:
            return large;
    }
}

RunResult RunBenchmark(const RunSettings& settings, const RunEnvironment& environment,
                       RunObserver& observer, const StopToken& stop) {
    if (const auto problem = CheckSettings(settings)) throw SettingsError(*problem);
    if (const auto problem = CheckLogCanStore(settings, environment.logPath))
        throw SettingsError(*problem);
    return Run(settings, environment, observer, stop).Execute();
}

}  // namespace wirepace
