// SPDX-License-Identifier: MIT
#include "core/test_sequence.h"

#include <cstdint>
#include <exception>
#include <filesystem>
#include <limits>
#include <utility>

#include "common/date_format.h"
#include "common/error.h"
#include "common/file_exists.h"
#include "common/pause.h"
#include "core/results_log.h"
#include "core/share_connection.h"
#include "core/test_files.h"
#include "platform/platform.h"

namespace wirepace {

namespace {

constexpr const char* kRunTests = "Run Tests";
constexpr const char* kStop = "Stop";
constexpr const char* kViewReports = "View Reports";
constexpr const char* kExit = "Exit";

// A file length as the 32-bit count it is measured with, times `count`; anything beyond 32 bits
// is an overflow, never a wrapped byte count.
double Bytes32(std::int64_t length, int count) {
    constexpr std::int64_t kMax = std::numeric_limits<std::int32_t>::max();
    if (length > kMax || length * count > kMax) throw RuntimeError(kErrOverflow);
    return static_cast<double>(length * count);
}

}  // namespace

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
    } catch (const RuntimeError& e) {
        HandleError(e.Number(), e.Description());
    } catch (const std::exception& e) {
        // Not a file error of ours (out of memory, a library failure): still end the run
        // cleanly instead of leaving drones and work files behind.
        HandleError(51, std::string("Internal error: ") + e.what());
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
    window_.SetNextCaption("Please Wait");
    window_.SetNextEnabled(false);
    ShowStatus("Interrupted by user", "Please wait...", false);
}

void TestSequence::RunTests() {
    running_ = true;
    window_.SetBusy(true);
    window_.SetNextCaption(kStop);
    window_.SetBackVisible(false);
    window_.ShowResultsPage();
    stopRequested_ = false;

    LogLine(state_, window_,
            "-- Starting " + window_.TestId() + " test at " + LongTime(DateTime::Now()) + " --");
    // A release or stop file left by an abandoned earlier run would release or stop this
    // run's drones.
    RemoveStaleHandshakeFiles(state_);
    // A mount (and its credentials) left by a killed run goes before anything else.
    RemoveStaleShareMapping(state_);

    std::string dir = window_.DirPath();
    if (platform::IsSharePath(dir)) {
        if (!platform::CanMapShares())
            throw RuntimeError(kErrPathNotFound,
                               "Share paths cannot be mapped on this system; mount the share and "
                               "give its folder as the target directory");
        if (!dir.empty() && dir.back() == '\\') {
            dir.pop_back();
            window_.SetDirPath(dir);
        }
        PumpEvents();
        ShowStatus("Establishing connection...", "Please Wait...", false);
        if (platform::SharesMapToDriveLetters()) {
            state_.ShareDrive = GetFreeDriveLetter();
            if (state_.ShareDrive.empty()) {
                ShowStatus("", "ERROR", false);
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

    ShowStatus("Testing Connection...", "Please Wait...", false);
    state_.SmallTestFile = CreateTestFile(state_, window_.SelectedSpeedIndex(), 0);
    const std::string dirNow = FilesDir(state_, window_.DirPath());
    platform::CopyFile(state_.AppDrive + state_.SmallTestFile, dirNow + state_.SmallTestFile);
    platform::DeleteFile(state_.AppDrive + state_.SmallTestFile);
    platform::DeleteFile(dirNow + state_.SmallTestFile);

    double elapsed = 0;
    double bytes = 0;
    for (int i = 0; i < kTestCount; ++i) {
        const auto index = static_cast<std::size_t>(i);
        ShowStatus(state_.TestNames[index], state_.TestIds[index], true);
        Pause(0.5);
        if (stopRequested_) {
            FinishRun("Interrupted by user");
            return;
        }
        RunTest(i, elapsed, bytes);
        RecordResult(state_, window_, i, elapsed, bytes);
        elapsed = 0;
        bytes = 0;
    }

    FinishRun("Finished");
    window_.SetNextCaption(kViewReports);
    window_.SetNextEnabled(true);
    window_.SetBackCaption("Back");
}

void TestSequence::RunTest(int index, double& elapsed, double& bytes) {
    const std::string dir = FilesDir(state_, window_.DirPath());
    const std::string& root = state_.AppDrive;
    auto localSmall = [&] { return root + state_.SmallTestFile; };
    auto remoteSmall = [&] { return dir + state_.SmallTestFile; };
    auto localLarge = [&] { return root + state_.LargeTestFile; };
    auto remoteLarge = [&] { return dir + state_.LargeTestFile; };
    auto workName = [&](int k) { return std::to_string(k) + state_.LargeTestFile; };
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
            break;
        case 1:
            start = TickMs();
            state_.LargeTestFile = CreateTestFile(state_, window_.SelectedSpeedIndex(), 1);
            end = TickMs();
            bytes = length(localLarge());
            break;
        case 2:
            start = TickMs();
            platform::CopyFile(localSmall(), remoteSmall());
            end = TickMs();
            bytes = length(localSmall());
            break;
        case 3:
            platform::DeleteFile(localSmall());
            start = TickMs();
            platform::CopyFile(remoteSmall(), localSmall());
            end = TickMs();
            bytes = length(localSmall());
            break;
        case 4:
            platform::DeleteFile(remoteSmall());
            platform::DeleteFile(localSmall());
            start = TickMs();
            platform::CopyFile(localLarge(), remoteLarge());
            end = TickMs();
            bytes = length(localLarge());
            break;
        case 5:
            platform::DeleteFile(localLarge());
            start = TickMs();
            platform::CopyFile(remoteLarge(), localLarge());
            end = TickMs();
            bytes = length(localLarge());
            break;
        case 6: {
            const int droneCount = 2;
            if (!FileExists(localCopy(2))) platform::RenameFile(localLarge(), localCopy(2));
            if (!FileExists(remoteCopy(1))) platform::RenameFile(remoteLarge(), remoteCopy(1));
            WriteDrone(state_, "Drone1.exe");
            WriteDrone(state_, "Drone2.exe");
            StartDrone(state_, fleet_, 1, DroneMode::From, dir, workName(1));
            StartDrone(state_, fleet_, 2, DroneMode::To, dir, workName(2));
            elapsed = CollectDroneTimes(state_, fleet_, droneCount, 6) / droneCount;
            bytes = Bytes32(platform::FileLength(localCopy(1)), droneCount);
            return;
        }
        case 7: {
            const int droneCount = 5;
            platform::DeleteFile(remoteCopy(1));
            platform::DeleteFile(remoteCopy(2));
            WriteDrone(state_, "Drone3.exe");
            WriteDrone(state_, "Drone4.exe");
            WriteDrone(state_, "Drone5.exe");
            for (int k = 3; k <= 5; ++k) platform::CopyFile(localCopy(1), localCopy(k));
            for (int k = 1; k <= 5; ++k)
                StartDrone(state_, fleet_, k, DroneMode::To, dir, workName(k));
            elapsed = CollectDroneTimes(state_, fleet_, droneCount, 7) / droneCount;
            bytes = Bytes32(platform::FileLength(localCopy(1)), droneCount);
            return;
        }
        case 8: {
            for (int k = 1; k <= 5; ++k) platform::DeleteFile(localCopy(k));
            const int droneCount = 5;
            for (int k = 1; k <= 5; ++k)
                StartDrone(state_, fleet_, k, DroneMode::From, dir, workName(k));
            elapsed = CollectDroneTimes(state_, fleet_, droneCount, 8) / droneCount;
            bytes = Bytes32(platform::FileLength(localCopy(1)), droneCount);
            return;
        }
        default:
            throw RuntimeError(kErrSubscriptOutOfRange);
    }
    elapsed = end - start;
}

void TestSequence::HandleError(int number, const std::string& description) {
    std::string message;
    if (number == kErrPathNotFound)
        message = "Please check target folder (spelling, permissions, etc.)";
    if (number == kErrFileNotFound) message = "Failed to establish a connection.";
    if (number != 0) {
        const std::string line =
            "-- Error: " + description + " [" + std::to_string(number) + "] --";
        try {
            LogLine(state_, window_, line);
        } catch (const RuntimeError&) {
            // The log itself failed (read-only folder, full disk): the box still shows it.
            window_.SetResultsText(line + "\r\n");
        }
    }
    if (!message.empty()) window_.SetResultsText(window_.ResultsText() + message + "\r\n");
    FinishRun("ERROR");
}

void TestSequence::RemoveBaseLargeFiles() {
    // A completed run has renamed both into work files; a stopped or failed one may leave the
    // large file (up to 100 MB) on either side.
    if (state_.LargeTestFile.empty()) return;
    const std::string dir = FilesDir(state_, window_.DirPath());
    try {
        for (const std::string& path : {state_.AppDrive + state_.LargeTestFile,
                                        dir.empty() ? std::string() : dir + state_.LargeTestFile})
            if (!path.empty() && FileExists(path)) platform::DeleteFile(path);
    } catch (const RuntimeError& e) {
        window_.ShowMessage(e.Description() + " [" + std::to_string(e.Number()) + "]");
    }
}

void TestSequence::FinishRun(const std::string& status) {
    TerminateDrones(state_, window_, fleet_);
    RemoveBaseLargeFiles();
    if (ShareConnected(state_)) {
        try {
            DisconnectShare(state_);
        } catch (const RuntimeError& e) {
            window_.SetResultsText(window_.ResultsText() + "Could not remove the mapping of " +
                                   window_.DirPath() + ": " + e.Description() + " [" +
                                   std::to_string(e.Number()) + "]\r\n");
        }
    }
    window_.SetBackCaption("Back");
    window_.SetNextEnabled(false);
    window_.SetNextCaption(kViewReports);
    window_.SetBackVisible(true);
    window_.SetBusy(false);
    stopRequested_ = false;
    running_ = false;
    ShowStatus(status, "", false);
}

}  // namespace wirepace
