// SPDX-License-Identifier: MIT
#include "core/run_engine.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <exception>
#include <filesystem>
#include <limits>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "common/date_format.h"
#include "common/drone_protocol.h"
#include "common/error.h"
#include "common/file_exists.h"
#include "common/number_format.h"
#include "common/pause.h"
#include "core/captions.h"
#include "core/catalogue.h"
#include "core/drone_fleet.h"
#include "core/free_space.h"
#include "core/payload_files.h"
#include "core/progress_meter.h"
#include "core/results_log.h"
#include "core/run_context.h"
#include "core/share_connection.h"
#include "core/target_calls.h"
#include "core/target_lock.h"
#include "core/work_files.h"
#include "platform/platform.h"

namespace wirepace {

namespace {

using namespace captions;

// After the drones' copies stalled, the cleanup gives the target this long per call: it has had
// the whole stall bound to answer already.
constexpr double kAfterStallMs = 2000;

// A file length times `count`, as the byte count a speed is worked out from: beyond what a
// double holds exactly is an overflow, never a rounded count. (Sizes of 10 GB and five copies
// of them lie far below.)
double Bytes(std::int64_t length, int count) {
    constexpr std::int64_t kMax = std::int64_t{1} << 53;
    if (length < 0 || count < 1 || length > kMax / count) throw RuntimeError(kErrOverflow);
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
        : settings_(settings),
          observer_(observer),
          stop_(stop),
          shownDir_(settings.target),
          target_(settings.stallTimeoutSeconds * 1000.0, [&stop] { return stop.Requested(); }) {
        context_.AppDrive = environment.workRoot;
        context_.LogPath = environment.logPath;
        context_.Fill = settings.fill;
        isNetworkFolder_ =
            environment.isNetworkFolder ? environment.isNetworkFolder : platform::IsNetworkFolder;
        msPerMiB_ = environment.slowLinkMsPerMiB;
        pauseBeforeTest_ = environment.pauseBeforeTestSeconds;
        diskSpace_ = environment.diskSpace ? environment.diskSpace : platform::DiskSpaceOf;
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
            HandleError(e);
        } catch (const std::exception& e) {
            // Not a file error of ours (out of memory, a library failure): still end the run
            // cleanly instead of leaving drones and work files behind.
            HandleError(RuntimeError(kErrInternal, std::string("Internal error: ") + e.what()));
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
        return [this, &meter, link = SlowLinkPause(msPerMiB_)](std::int64_t copied,
                                                               std::int64_t) mutable {
            link.Moved(copied);
            meter.Update(static_cast<double>(copied));
            return !stop_.Requested();
        };
    }
    // Abandons an untimed copy when the user stops the run.
    platform::CopyProgress StopOnly() {
        return [this](std::int64_t, std::int64_t) { return !stop_.Requested(); };
    }
    // Removes a file from the target through the folder the run opened, within the bound of
    // the target's calls.
    void RemoveOnTarget(const std::string& name) {
        target_.Call("removing " + TargetDir() + name,
                     [folder = context_.TargetFolder, name] { folder->Remove(name); });
    }
    void ReleaseTargetLock();
    void FinishRun(RunOutcome outcome);
    void HandleError(const RuntimeError& e);
    // True when the error is the target's: a file there, or a drone's copy to or from it.
    bool ConcernsTarget(const RuntimeError& e) const;
    // The error as the user knows the target: a share's mount folder is shown as the share path.
    RuntimeError AsShown(const RuntimeError& e) const;
    // Raises, naming it, when the work root's or the target's path no longer leads to the
    // folder the run opened: nothing the run writes by path may land elsewhere.
    void CheckFolders();
    std::optional<RuntimeError> MovedFolder();
    const platform::FolderHandle& WorkRoot() const { return *context_.WorkRootFolder; }
    const platform::FolderHandle& Target() const { return *context_.TargetFolder; }

    RunSettings settings_;
    RunObserver& observer_;
    const StopToken& stop_;
    std::function<bool(const std::string&)> isNetworkFolder_;
    double msPerMiB_ = 0;
    double pauseBeforeTest_ = 0.5;
    DiskSpaceReader diskSpace_;
    RunContext context_;
    RunResult result_;
    std::string shownDir_;
    DroneFleet fleet_;
    // Every file operation of the controller on the target outside the timed copies goes
    // through here: a target that stops answering must not hold the run.
    TargetCalls target_;
    std::shared_ptr<TargetLock> targetLock_;  // shared with a call on it still under way
    std::int64_t largeBytes_ = -1;            // the large test file's length, once written
    bool dronesStalled_ = false;
    bool workRootSwept_ = false;
    bool targetSwept_ = false;
    bool errorStarted_ = false;
    bool connectionFailed_ = false;  // the share could not be mapped
    std::vector<double> droneTimes_;
    // The pieces the copies over the target learnt, handed from each to the next and, shared
    // out, to the drones.
    platform::CopyPace targetPace_;
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
    context_.WorkRootFolder = std::make_shared<platform::FolderHandle>(context_.AppDrive);
    // Whatever an abnormally ended run left (work files of any size, drones, result files, a
    // release or stop file) would be read or released as this run's.
    SweepWorkRoot(WorkRoot());
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
        try {
            ConnectShare(context_, shownDir_, settings_.password, settings_.account);
        } catch (const RuntimeError&) {
            connectionFailed_ = true;
            throw;
        }
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
    const std::string targetDir = TargetDir();
    if (targetDir.empty()) throw RuntimeError(kErrPathNotFound);
    // The share's mount folder too: it is the target as the files reach it.
    context_.TargetFolder = target_.Call("opening " + targetDir, [targetDir] {
        return std::make_shared<platform::FolderHandle>(targetDir);
    });
    targetLock_ = target_.Call(
        "taking the lock in " + targetDir, [targetDir, folder = context_.TargetFolder] {
            return std::shared_ptr<TargetLock>(TargetLock::Take(targetDir, folder));
        });
    target_.Call("removing an earlier run's files from " + targetDir,
                 [folder = context_.TargetFolder] { SweepTarget(*folder); });
    targetSwept_ = true;
    const auto [isRemote, fileSystem] =
        target_.Call("looking at " + targetDir, [targetDir, isNetworkFolder = isNetworkFolder_] {
            return std::make_pair(isNetworkFolder(targetDir), platform::FileSystemType(targetDir));
        });
    context_.TargetIsRemote = isRemote;
    result_.targetIsRemote = isRemote;
    result_.targetFileSystem = fileSystem;
    // Both folders are swept now: what is free is what this run may fill. The look at the
    // target's free space is a call on the target like the others.
    const SpaceNeeded need =
        SpaceNeededFor(settings_, static_cast<std::int64_t>(EmbeddedDroneImage().size));
    const std::vector<SpaceFolder> folders = {
        {context_.AppDrive, context_.AppDrive, need.workRootBytes},
        {targetDir, shownDir_, need.targetBytes}};
    const auto spaceLines = target_.Call(
        "looking at the free space in " + targetDir,
        [folders, diskSpace = diskSpace_] { return CheckFreeSpace(folders, diskSpace); });
    for (const std::string& line : spaceLines) observer_.Message(line);
    platform::SetEmergencyFiles([&] {
        auto paths = RunFilePaths(context_, settings_.smallKB, settings_.largeKB, TargetDir());
        paths.push_back(targetLock_->Path());
        return paths;
    }());

    ShowStatus("Testing Connection...", "Please Wait...");
    context_.SmallTestFile = CreateTestFile(context_, settings_.smallKB);
    platform::FlushFile(context_.AppDrive + context_.SmallTestFile);
    const std::string dirNow = TargetDir();
    // Untimed, so it waits for the target like the other calls, as long as the copy moves.
    // Its pace is the first the run learns of the link; shared, as a call given up on runs on.
    auto pace = std::make_shared<platform::CopyPace>();
    target_.CallInSteps("copying to " + dirNow, [from = context_.AppDrive + context_.SmallTestFile,
                                                 to = dirNow + context_.SmallTestFile,
                                                 pace](const TargetCalls::Step& step) {
        platform::CopyUncached(
            from, to, [&step](std::int64_t, std::int64_t) { return step(); }, pace.get());
    });
    targetPace_ = *pace;
    WorkRoot().Remove(context_.SmallTestFile);
    RemoveOnTarget(context_.SmallTestFile);

    for (int i = 0; i < kTestCount; ++i) {
        observer_.TestStarted(i, TestId(i), TestName(i), BytesToMove(settings_, i));
        ShowStatus(TestName(i), TestId(i), true);
        Pause(pauseBeforeTest_);
        if (stop_.Requested()) throw RunInterrupted();
        CheckFolders();
        target_.Call("refreshing the lock " + targetLock_->Path(),
                     [lock = targetLock_] { lock->Refresh(); });
        double elapsed = 0;
        double bytes = 0;
        droneTimes_.clear();
        ProgressMeter meter(observer_, i, BytesToMove(settings_, i), DronesOf(i));
        RunTest(i, meter, elapsed, bytes);
        // A test whose folder changed under it measured somewhere else: not recorded.
        CheckFolders();
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
    auto length = [](const std::string& path) { return Bytes(platform::FileLength(path), 1); };

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
            largeBytes_ = static_cast<std::int64_t>(bytes);
            platform::FlushFile(localLarge());
            break;
        case 2:
            meter.Start();
            start = TickMs();
            platform::CopyUncached(localSmall(), remoteSmall(), Follow(meter), &targetPace_);
            end = TickMs();
            bytes = length(localSmall());
            break;
        case 3:
            WorkRoot().Remove(context_.SmallTestFile);
            meter.Start();
            start = TickMs();
            platform::CopyUncached(remoteSmall(), localSmall(), Follow(meter), &targetPace_);
            end = TickMs();
            bytes = length(localSmall());
            break;
        case 4:
            RemoveOnTarget(context_.SmallTestFile);
            WorkRoot().Remove(context_.SmallTestFile);
            meter.Start();
            start = TickMs();
            platform::CopyUncached(localLarge(), remoteLarge(), Follow(meter), &targetPace_);
            end = TickMs();
            bytes = length(localLarge());
            break;
        case 5:
            WorkRoot().Remove(context_.LargeTestFile);
            meter.Start();
            start = TickMs();
            platform::CopyUncached(remoteLarge(), localLarge(), Follow(meter), &targetPace_);
            end = TickMs();
            bytes = length(localLarge());
            break;
        case 6: {
            const int droneCount = 2;
            if (!FileExists(localCopy(2))) platform::RenameFile(localLarge(), localCopy(2));
            target_.Call("renaming " + remoteLarge(), [from = remoteLarge(), to = remoteCopy(1)] {
                if (!FileExists(to)) platform::RenameFile(from, to);
            });
            WriteDrone(context_, DroneFileName(1));
            WriteDrone(context_, DroneFileName(2));
            StartDrone(context_, fleet_, 1, DroneDirection::From, dir, workName(1), largeBytes_);
            StartDrone(context_, fleet_, 2, DroneDirection::To, dir, workName(2), largeBytes_);
            CollectDrones(index, droneCount, meter, elapsed);
            bytes = Bytes(platform::FileLength(localCopy(1)), droneCount);
            meter.Finish(bytes, true);
            return;
        }
        case 7: {
            const int droneCount = 5;
            RemoveOnTarget(workName(1));
            RemoveOnTarget(workName(2));
            for (int k = 3; k <= 5; ++k) WriteDrone(context_, DroneFileName(k));
            for (int k = 3; k <= 5; ++k)
                platform::CopyUncached(localCopy(1), localCopy(k), StopOnly());
            for (int k = 1; k <= 5; ++k)
                StartDrone(context_, fleet_, k, DroneDirection::To, dir, workName(k), largeBytes_);
            CollectDrones(index, droneCount, meter, elapsed);
            bytes = Bytes(platform::FileLength(localCopy(1)), droneCount);
            meter.Finish(bytes, true);
            return;
        }
        case 8: {
            for (int k = 1; k <= 5; ++k) WorkRoot().Remove(workName(k));
            const int droneCount = 5;
            for (int k = 1; k <= 5; ++k)
                StartDrone(context_, fleet_, k, DroneDirection::From, dir, workName(k),
                           largeBytes_);
            CollectDrones(index, droneCount, meter, elapsed);
            bytes = Bytes(platform::FileLength(localCopy(1)), droneCount);
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
    // The drones reach the folders by path: checked again just before they are released, after
    // the copies that prepared them.
    CheckFolders();
    DroneWait wait;
    wait.stopRequested = [this] { return stop_.Requested(); };
    wait.stallLimitMs = settings_.stallTimeoutSeconds * 1000.0;
    wait.onProgress = [&meter](const std::vector<std::int64_t>& bytes) {
        meter.UpdateDrones(bytes);
    };
    // The drones time themselves from their release; the test's clock starts with it.
    wait.onRelease = [&meter] { meter.Start(); };
    wait.onStall = [this] { dronesStalled_ = true; };
    if (targetPace_.piece > 0)
        wait.firstPieceBytes =
            std::max<std::int64_t>(1, static_cast<std::int64_t>(targetPace_.piece) / droneCount);
    droneTimes_ = CollectDroneTimes(context_, fleet_, droneCount, index, wait);
    elapsed = Longest(droneTimes_);
}

void Run::CheckFolders() {
    if (const auto moved = MovedFolder()) throw *moved;
}

std::optional<RuntimeError> Run::MovedFolder() {
    try {
        if (context_.WorkRootFolder) context_.WorkRootFolder->CheckStillAtItsPath();
        // A look at the target's path, which a target that stopped answering may not return.
        if (context_.TargetFolder)
            target_.Call("looking at " + context_.TargetFolder->Path(),
                         [folder = context_.TargetFolder] { folder->CheckStillAtItsPath(); });
    } catch (const RuntimeError& e) {
        return e;
    }
    return std::nullopt;
}

bool Run::ConcernsTarget(const RuntimeError& e) const {
    const std::string dir = TargetDir();
    if (dir.empty()) return false;
    return e.Path().rfind(dir, 0) == 0 || e.Description().find(dir) != std::string::npos;
}

RuntimeError Run::AsShown(const RuntimeError& e) const {
    const std::string files = TargetDir();
    if (files.empty() || files == shownDir_) return e;
    auto shown = [&](std::string text) {
        for (auto at = text.find(files); at != std::string::npos;
             at = text.find(files, at + shownDir_.size()))
            text.replace(at, files.size(), shownDir_);
        return text;
    };
    return RuntimeError(e.Number(), shown(e.Description())).WithPath(shown(e.Path()));
}

void Run::HandleError(const RuntimeError& e) {
    const int number = e.Number();
    errorStarted_ = true;
    result_.errorNumber = number;
    result_.errorDescription = AsShown(e).Description();
    if (number != 0) {
        // The path the error concerns goes into the line ("Path not found [76]: /srv/bench/x"),
        // which keeps its "-- Error: ... --" shape for the log's readers.
        const std::string line = "-- Error: " + AsShown(e).Text() + " --";
        result_.errorLines = {line};
        observer_.LogLine(line);
        try {
            LogLine(context_, line);
        } catch (const RuntimeError&) {
            // The log itself failed (read-only folder, full disk): the user still sees it.
        }
    }
    if (number == kErrPathNotFound) Say("Please check target folder (spelling, permissions, etc.)");
    // A file missing here (a drone, a test file of the work root) is no connection's fault; a
    // share that could not be mapped is, whatever number its system gave the reason.
    if (connectionFailed_ || (number == kErrFileNotFound && ConcernsTarget(e)))
        Say("Failed to establish a connection.");
    FinishRun(RunOutcome::Error);
}

void Run::ReleaseTargetLock() {
    if (!targetLock_) return;
    auto release = [lock = std::exchange(targetLock_, nullptr)]() mutable { lock.reset(); };
    if (!target_.Unanswered().empty()) {
        // Waiting again would only cost the bound again; it goes once the target answers.
        TargetCalls::Leave(std::move(release));
        return;
    }
    try {
        target_.Call("removing the lock in " + TargetDir(), std::move(release));
    } catch (const RuntimeError& e) {
        // The lock is not the user's file; a lock left behind is taken over by the next run.
        observer_.Alert(e.Text());
    }
}

void Run::FinishRun(RunOutcome outcome) {
    // A folder is cleaned at the end only where the run's first sweep went through: the target
    // only when this run holds it (another controller may be testing it), and neither when its
    // sweep already failed, which would only report the same failure a second time.
    if (workRootSwept_) {
        std::vector<RuntimeError> failures;
        if (auto failure = TerminateDrones(context_, fleet_, std::string()))
            failures.push_back(*failure);
        if (targetLock_ && targetSwept_) {
            if (dronesStalled_) target_.SetLimit(std::min(target_.LimitMs(), kAfterStallMs));
            const std::string dir = TargetDir();
            try {
                // Through the folder the run opened, where it opened it.
                target_.Call("removing this run's files from " + dir,
                             [dir, folder = context_.TargetFolder] {
                                 if (folder)
                                     SweepTarget(*folder);
                                 else
                                     SweepTarget(dir);
                             });
            } catch (const RuntimeError& e) {
                failures.push_back(e);
            }
        }
        // A folder swapped away after the last test: its cleanup went through the handle, but
        // the run did not end where it began (an error already ended it otherwise).
        if (failures.empty() && outcome != RunOutcome::Error) {
            if (auto moved = MovedFolder()) failures.push_back(*moved);
        }
        // What a target that stopped answering left (drones that cannot be ended, files that
        // could not be removed) is named with the run's error, not only shown.
        const bool hung = dronesStalled_ || !target_.Unanswered().empty();
        for (const RuntimeError& left : failures) {
            const RuntimeError failure = AsShown(left);
            observer_.Alert(failure.Text());
            if (outcome == RunOutcome::Error) {
                if (hung) Say(failure.Text());
                continue;
            }
            // Files left behind are a failure of the run, whatever its tests showed: it never
            // ends "Finished" with the target or the work root still holding them.
            outcome = RunOutcome::Error;
            result_.errorNumber = failure.Number();
            result_.errorDescription = failure.Description();
            errorStarted_ = true;
            const std::string line = "-- Error: " + failure.Text() + " --";
            result_.errorLines.push_back(line);
            observer_.Message(line);
            try {
                LogLine(context_, line);
            } catch (const RuntimeError&) {
                // The log failed too: the window and the report still say it.
            }
        }
    }
    ReleaseTargetLock();
    context_.TargetFolder.reset();
    context_.WorkRootFolder.reset();
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
    if (const auto delay = platform::GetEnv(kSlowLinkVariable))
        environment.slowLinkMsPerMiB = TextToNumber(*delay).value_or(0);
    if (const auto pause = platform::GetEnv("WIREPACE_TEST_PAUSE_BEFORE_TEST_S"))
        environment.pauseBeforeTestSeconds =
            std::clamp(TextToNumber(*pause).value_or(0.5), 0.0, 0.5);
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
