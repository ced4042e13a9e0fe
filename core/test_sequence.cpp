// SPDX-License-Identifier: MIT
#include "core/test_sequence.h"

#include <algorithm>
#include <cstdint>
#include <exception>
#include <filesystem>
#include <limits>
#include <utility>

#include "common/date_format.h"
#include "common/error.h"
#include "common/file_exists.h"
#include "common/pause.h"
#include "core/captions.h"
#include "core/results_log.h"
#include "core/run_input.h"
#include "core/share_connection.h"
#include "core/test_files.h"
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

}  // namespace

TestSequence::TestSequence(BenchmarkState& state, MainWindowIO& window)
    : state_(state), window_(window), isNetworkFolder_(platform::IsNetworkFolder) {}

// The target directory as the run's files use it. The run reads the directory box again at every
// step instead of keeping a copy: the text the user sees, normalised by the run and written
// back, is the one source of truth for where the files go. A share path mapped on a system
// without drive letters is reached through its mount folder.
std::string TestSequence::TargetDir() const {
    return FilesDir(state_, window_.DirPath());
}

void TestSequence::cmdNext_Click() {
    const std::string caption = window_.NextCaption();
    try {
        if (caption == kRunTests) {
            RunTests();
        } else if (caption == kStop) {
            Stop();
        } else if (caption == kViewReports) {
            window_.OpenReports();
            window_.SetNextCaption(kExit);
        } else if (caption == kExit) {
            window_.CloseWindow();
        }
    } catch (const RunInterrupted&) {
        // The user stopped a wait for drones: that test is not recorded.
        FinishRun(kInterrupted);
    } catch (const RuntimeError& e) {
        HandleError(e.Number(), e.Description());
    } catch (const std::exception& e) {
        // Not a file error of ours (out of memory, a library failure): still end the run
        // cleanly instead of leaving drones and work files behind.
        HandleError(kErrInternal, std::string("Internal error: ") + e.what());
    }
    // Only the outermost click ends a close that arrived during the run.
    if (caption == kRunTests && closeRequested_ && !running_) {
        closeRequested_ = false;
        window_.CloseWindow();
    }
}

void TestSequence::ShowStatus(const std::string& line1, const std::string& line2, bool isTest) {
    window_.SetStatusLine(line1);
    window_.SetInstructionLine(isTest ? "Running Test " + line2 + ". Please wait..." : line2);
}

bool TestSequence::RequestClose() {
    if (!running_) return true;
    // The run sees this before its next test, cleans up and closes the window itself; the
    // window shows it is stopping, as after a click on "Stop".
    closeRequested_ = true;
    if (window_.NextCaption() == kStop) Stop();
    stopRequested_ = true;
    return false;
}

void TestSequence::Stop() {
    stopRequested_ = true;
    window_.SetNextCaption(kPleaseWaitButton);
    window_.SetNextEnabled(false);
    ShowStatus(kInterrupted, kPleaseWaitStopping, false);
}

void TestSequence::RunTests() {
    // Refused before anything shows or is logged: the window stays ready for a corrected entry.
    if (const auto problem =
            CheckRunInput(window_.TestId(), window_.DirPath(), window_.UserName())) {
        window_.ShowMessage(*problem);
        return;
    }
    running_ = true;
    workRootSwept_ = false;
    targetSwept_ = false;
    window_.SetBusy(true);
    window_.SetNextCaption(kStop);
    window_.SetBackVisible(false);
    window_.ShowResultsPage();
    stopRequested_ = false;
    state_.DiagnosisNote.clear();
    state_.TargetIsRemote = false;
    for (auto& times : state_.DroneTimesMs) times.clear();

    LogLine(state_, window_,
            "-- Starting " + window_.TestId() + " test at " + LongTime(DateTime::Now()) + " --");
    // A mount (and its credentials) left by a killed run goes before anything else.
    RemoveStaleShareMapping(state_);
    // Whatever an abnormally ended run left (work files of any size, drones, result files, a
    // release or stop file) would be read or released as this run's.
    SweepWorkRoot(state_.AppDrive);
    workRootSwept_ = true;

    std::string dir = window_.DirPath();
    if (platform::IsSharePath(dir)) {
        if (!dir.empty() && dir.back() == '\\') {
            dir.pop_back();
            window_.SetDirPath(dir);
        }
        PumpEvents();
        ShowStatus("Establishing connection...", "Please Wait...", false);
        if (platform::SharesMapToDriveLetters()) {
            state_.ShareDrive = GetFreeDriveLetter();
            if (state_.ShareDrive.empty()) {
                ShowStatus("", kError, false);
                LogLine(state_, window_, "-- Unable to retrieve drive list --");
                HandleError(0, "");
                return;
            }
        }
        // Raises at once, saying why, when the mapping fails: no pause, no guess.
        ConnectShare(state_, window_.DirPath(), window_.Password(), window_.UserName());
        ShowStatus("Initializing tests...", "Connection Established...", false);
    } else if (!std::filesystem::path(PathFromUtf8(dir)).is_absolute()) {
        throw RuntimeError(kErrPathNotFound,
                           "The target directory must be a full path: \"" + dir + "\"");
    }

    dir = platform::NormaliseSeparators(window_.DirPath());
    if (dir.empty() || dir.back() != platform::Separator()) dir += platform::Separator();
    window_.SetDirPath(dir);

    // Nothing in the target is touched before this run holds it.
    if (TargetDir().empty()) throw RuntimeError(kErrPathNotFound);
    targetLock_ = TargetLock::Take(TargetDir());
    SweepTarget(TargetDir());
    targetSwept_ = true;
    state_.TargetIsRemote = isNetworkFolder_(TargetDir());
    platform::SetEmergencyFiles([&] {
        auto paths = RunFilePaths(state_, window_.SelectedSpeedIndex(), TargetDir());
        paths.push_back(targetLock_->Path());
        return paths;
    }());

    ShowStatus("Testing Connection...", "Please Wait...", false);
    state_.SmallTestFile = CreateTestFile(state_, window_.SelectedSpeedIndex(), 0);
    platform::FlushFile(state_.AppDrive + state_.SmallTestFile);
    const std::string dirNow = TargetDir();
    platform::CopyUncached(state_.AppDrive + state_.SmallTestFile, dirNow + state_.SmallTestFile);
    platform::RemoveFile(state_.AppDrive + state_.SmallTestFile);
    platform::RemoveFile(dirNow + state_.SmallTestFile);

    double elapsed = 0;
    double bytes = 0;
    for (int i = 0; i < kTestCount; ++i) {
        const auto index = static_cast<std::size_t>(i);
        window_.TestStarted(i, state_.TestIds[index], state_.TestNames[index]);
        ShowStatus(state_.TestNames[index], state_.TestIds[index], true);
        Pause(0.5);
        if (stopRequested_) {
            FinishRun(kInterrupted);
            return;
        }
        targetLock_->Refresh();
        RunTest(i, elapsed, bytes);
        RecordResult(state_, window_, i, elapsed, bytes);
        elapsed = 0;
        bytes = 0;
    }

    FinishRun(kFinished);
    window_.SetNextCaption(kViewReports);
    window_.SetNextEnabled(true);
    window_.SetBackCaption(kBack);
}

void TestSequence::RunTest(int index, double& elapsed, double& bytes) {
    const std::string dir = TargetDir();
    const std::string& root = state_.AppDrive;
    auto localSmall = [&] { return root + state_.SmallTestFile; };
    auto remoteSmall = [&] { return dir + state_.SmallTestFile; };
    auto localLarge = [&] { return root + state_.LargeTestFile; };
    auto remoteLarge = [&] { return dir + state_.LargeTestFile; };
    auto workName = [&](int k) { return WorkFileName(k, state_.LargeTestFile); };
    auto localCopy = [&](int k) { return root + workName(k); };
    auto remoteCopy = [&](int k) { return dir + workName(k); };
    auto length = [](const std::string& path) { return Bytes32(platform::FileLength(path), 1); };

    double start = 0;
    double end = 0;
    switch (index) {
        case 0:
            start = TickMs();
            state_.SmallTestFile = CreateTestFile(state_, window_.SelectedSpeedIndex(), 0);
            end = TickMs();
            bytes = length(localSmall());
            // Written out now, untimed: the later unbuffered reads of it must not pay for it.
            platform::FlushFile(localSmall());
            break;
        case 1:
            start = TickMs();
            state_.LargeTestFile = CreateTestFile(state_, window_.SelectedSpeedIndex(), 1);
            end = TickMs();
            bytes = length(localLarge());
            platform::FlushFile(localLarge());
            break;
        case 2:
            start = TickMs();
            platform::CopyUncached(localSmall(), remoteSmall());
            end = TickMs();
            bytes = length(localSmall());
            break;
        case 3:
            platform::RemoveFile(localSmall());
            start = TickMs();
            platform::CopyUncached(remoteSmall(), localSmall());
            end = TickMs();
            bytes = length(localSmall());
            break;
        case 4:
            platform::RemoveFile(remoteSmall());
            platform::RemoveFile(localSmall());
            start = TickMs();
            platform::CopyUncached(localLarge(), remoteLarge());
            end = TickMs();
            bytes = length(localLarge());
            break;
        case 5:
            platform::RemoveFile(localLarge());
            start = TickMs();
            platform::CopyUncached(remoteLarge(), localLarge());
            end = TickMs();
            bytes = length(localLarge());
            break;
        case 6: {
            const int droneCount = 2;
            if (!FileExists(localCopy(2))) platform::RenameFile(localLarge(), localCopy(2));
            if (!FileExists(remoteCopy(1))) platform::RenameFile(remoteLarge(), remoteCopy(1));
            WriteDrone(state_, DroneFileName(1));
            WriteDrone(state_, DroneFileName(2));
            StartDrone(state_, fleet_, 1, DroneDirection::From, dir, workName(1));
            StartDrone(state_, fleet_, 2, DroneDirection::To, dir, workName(2));
            CollectDrones(index, droneCount, elapsed);
            bytes = Bytes32(platform::FileLength(localCopy(1)), droneCount);
            return;
        }
        case 7: {
            const int droneCount = 5;
            platform::RemoveFile(remoteCopy(1));
            platform::RemoveFile(remoteCopy(2));
            for (int k = 3; k <= 5; ++k) WriteDrone(state_, DroneFileName(k));
            for (int k = 3; k <= 5; ++k) platform::CopyUncached(localCopy(1), localCopy(k));
            for (int k = 1; k <= 5; ++k)
                StartDrone(state_, fleet_, k, DroneDirection::To, dir, workName(k));
            CollectDrones(index, droneCount, elapsed);
            bytes = Bytes32(platform::FileLength(localCopy(1)), droneCount);
            return;
        }
        case 8: {
            for (int k = 1; k <= 5; ++k) platform::RemoveFile(localCopy(k));
            const int droneCount = 5;
            for (int k = 1; k <= 5; ++k)
                StartDrone(state_, fleet_, k, DroneDirection::From, dir, workName(k));
            CollectDrones(index, droneCount, elapsed);
            bytes = Bytes32(platform::FileLength(localCopy(1)), droneCount);
            return;
        }
        default:
            throw RuntimeError(kErrSubscriptOutOfRange);
    }
    elapsed = end - start;
}

void TestSequence::CollectDrones(int index, int droneCount, double& elapsed) {
    DroneWait wait;
    wait.stopRequested = [this] { return stopRequested_; };
    wait.stallLimitMs = stallTimeoutSeconds_ * 1000.0;
    auto times = CollectDroneTimes(state_, fleet_, droneCount, index, wait);
    elapsed = Longest(times);
    state_.DroneTimesMs[static_cast<std::size_t>(index)] = std::move(times);
}

void TestSequence::HandleError(int number, const std::string& description) {
    std::string message;
    if (number == kErrPathNotFound)
        message = "Please check target folder (spelling, permissions, etc.)";
    if (number == kErrFileNotFound) message = "Failed to establish a connection.";
    if (number != 0) {
        const std::string line = "-- Error: " + ErrorText(number, description) + " --";
        try {
            LogLine(state_, window_, line);
        } catch (const RuntimeError&) {
            // The log itself failed (read-only folder, full disk): the box still shows it.
            window_.SetResultsText(line + "\r\n");
        }
    }
    if (!message.empty()) window_.SetResultsText(window_.ResultsText() + message + "\r\n");
    FinishRun(kError);
}

void TestSequence::FinishRun(const std::string& status) {
    // A folder is cleaned at the end only where the run's first sweep went through: the target
    // only when this run holds it (another controller may be testing it), and neither when its
    // sweep already failed, which would only report the same failure a second time.
    if (workRootSwept_)
        TerminateDrones(state_, window_, fleet_,
                        targetLock_ && targetSwept_ ? TargetDir() : std::string());
    targetLock_.reset();
    platform::ClearEmergency();
    if (ShareConnected(state_)) {
        try {
            DisconnectShare(state_);
        } catch (const RuntimeError& e) {
            window_.SetResultsText(window_.ResultsText() + "Could not remove the mapping of " +
                                   window_.DirPath() + ": " + e.Text() + "\r\n");
        }
    }
    window_.SetBackCaption(kBack);
    window_.SetNextEnabled(false);
    window_.SetNextCaption(kViewReports);
    window_.SetBackVisible(true);
    window_.SetBusy(false);
    stopRequested_ = false;
    running_ = false;
    ShowStatus(status, "", false);
}

}  // namespace wirepace
