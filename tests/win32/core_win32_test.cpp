// SPDX-License-Identifier: MIT
// The controller core on Windows (Wine in CI): the drone image from the program resource, the
// drive list of the system, the mapping command as started, real drones, and whole runs of the
// nine tests followed through the engine's events.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "common/error.h"
#include "common/pause.h"
#include "core/catalogue.h"
#include "core/connection_settings.h"
#include "core/drone_fleet.h"
#include "core/history.h"
#include "core/run_engine.h"
#include "core/share_connection.h"
#include "platform/platform.h"
#include "platform/platform_win32_detail.h"
#include "platform/share_mount_detail.h"
#include "platform/text_win32.h"
#include "support/recording_observer.h"
#include "support/start_program_args_win32.h"
#include "win_temp_dir.h"

namespace wirepace {
namespace {

namespace win32 = platform::win32;
using testing::ReadBytes;
using testing::RecordingObserver;
using testing::WinTempDir;

std::vector<std::string> EntriesOf(const std::filesystem::path& dir) {
    std::vector<std::string> names;
    for (const auto& name : testing::FolderEntries(dir)) names.push_back(win32::Narrow(name));
    return names;
}

TEST(DroneImage, TheResourceIsTheBuiltDrone) {
    const DroneImage image = EmbeddedDroneImage();
    const std::string built = ReadBytes(platform::ProgramFolder() + "ferrylet.exe");
    ASSERT_GT(built.size(), 1000u);
    ASSERT_EQ(image.size, built.size());
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(image.bytes), image.size), built);
    // A Windows program, marked windowless (GUI subsystem), so no console opens for a drone.
    ASSERT_EQ(built.substr(0, 2), "MZ");
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(image.bytes);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(image.bytes + dos->e_lfanew);
    EXPECT_EQ(nt->OptionalHeader.Subsystem, IMAGE_SUBSYSTEM_WINDOWS_GUI);
}

TEST(DroneImage, WriteDroneWritesARunnableCopy) {
    WinTempDir root;
    RunContext state;
    state.AppDrive = root.Slash();
    WriteDrone(state, "Drone3.exe");
    EXPECT_EQ(ReadBytes(root.Slash() + "Drone3.exe"),
              ReadBytes(platform::ProgramFolder() + "ferrylet.exe"));
}

TEST(DriveList, FreeLetterFromTheRealDriveList) {
    const auto list = platform::LogicalDriveStrings();
    ASSERT_TRUE(list);
    const DWORD mask = ::GetLogicalDrives();
    std::string firstFree;
    for (int i = 0; i < 26 && firstFree.empty(); ++i)
        if (!(mask & (1u << i))) firstFree = std::string(1, static_cast<char>('A' + i)) + ":";
    EXPECT_EQ(FreeDriveLetterIn(list), firstFree);
    EXPECT_EQ(GetFreeDriveLetter(), firstFree);
    // The drive this test runs from is in use, so it is never the answer.
    EXPECT_NE(GetFreeDriveLetter().substr(0, 1), platform::ControllerAppDrive().substr(0, 1));
}

// The networking calls replaced by a recorder: the real ones cannot reach a server here.
class NetworkSeam : public ::testing::Test {
  protected:
    void SetUp() override {
        saved = platform::winnet::Network();
        auto text = [](const wchar_t* w) { return w ? win32::Narrow(w) : std::string("<null>"); };
        platform::winnet::Network().add = [this, text](const wchar_t* local, const wchar_t* remote,
                                                       const wchar_t* user,
                                                       const wchar_t* password) {
            calls.push_back("add " + text(local) + "|" + text(remote) + "|" + text(user) + "|" +
                            text(password));
            return addResult;
        };
        platform::winnet::Network().cancel = [this, text](const wchar_t* local, bool force) {
            calls.push_back("cancel " + text(local) + (force ? " forced" : ""));
            return cancelResult;
        };
    }
    void TearDown() override { platform::winnet::Network() = saved; }

    platform::winnet::Calls saved;
    std::vector<std::string> calls;
    unsigned long addResult = NO_ERROR;
    unsigned long cancelResult = NO_ERROR;
};

TEST_F(NetworkSeam, AccountAndPasswordReachTheCallAsTyped) {
    RunContext state;
    state.ShareDrive = "E:";
    ConnectShare(state, "\\\\bench server\\share\\sub", "pa ss\"word & del", "DOMAIN\\my user");
    ASSERT_EQ(calls, (std::vector<std::string>{
                         "add E:|\\\\bench server\\share|DOMAIN\\my user|pa ss\"word & del"}));
    // The tests keep addressing the share by its path.
    EXPECT_EQ(FilesDir(state, "\\\\bench server\\share\\sub\\"), "\\\\bench server\\share\\sub\\");
    DisconnectShare(state);
    EXPECT_EQ(calls.back(), "cancel E: forced");
    EXPECT_TRUE(state.ShareDrive.empty());
    EXPECT_FALSE(ShareConnected(state));
    DisconnectShare(state);  // once only
    EXPECT_EQ(calls.size(), 2u);

    // No account: the user's own logon, no password either.
    calls.clear();
    state.ShareDrive = "F:";
    ConnectShare(state, "//srv/bench", "", "");
    EXPECT_EQ(calls, (std::vector<std::string>{"add F:|\\\\srv\\bench|<null>|<null>"}));
    cancelResult = ERROR_NOT_CONNECTED;  // gone already: nothing to report
    DisconnectShare(state);
}

TEST_F(NetworkSeam, ARefusedMappingEndsTheRunAtOnceWithTheSystemsMessage) {
    testing::TempDrive root;
    WinTempDir logs;
    RunSettings settings = *SettingsFor(kWanType, "<256");
    settings.testName = "Refused";
    settings.target = "\\\\SERVER\\SHARE\\";
    settings.account = "bench";
    settings.password = "wrong";
    const RunEnvironment environment{root.Root(), logs.Slash() + "TestResults.txt", {}};
    addResult = ERROR_INVALID_PASSWORD;

    RecordingObserver observer;
    StopToken stop;
    const RunResult result = RunBenchmark(settings, environment, observer, stop);
    EXPECT_EQ(result.outcome, RunOutcome::Error);
    EXPECT_EQ(result.errorNumber, 86);
    // The system's own text (Windows: that the network password is not correct).
    const std::string message = platform::winnet::SystemMessage(ERROR_INVALID_PASSWORD);
    EXPECT_FALSE(message.empty());
    EXPECT_EQ(message.find("Network error"), std::string::npos) << message;
    std::istringstream log(ReadBytes(environment.logPath));
    std::string line, last;
    while (std::getline(log, line)) last = line;
    EXPECT_EQ(last, "-- Error: " + message + " [86] --\r");
    // The box gives the system's reason and says that the connection failed.
    EXPECT_EQ(result.errorLines, (std::vector<std::string>{"-- Error: " + message + " [86] --",
                                                           "Failed to establish a connection."}));
    // The run ends at the mapping: no connection test, nothing after it.
    EXPECT_EQ(observer.statuses.back(), "Establishing connection...");
    // The letter was free and nothing was connected: nothing to cancel.
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].rfind("add ", 0), 0u);
    EXPECT_TRUE(EntriesOf(root.Folder()).empty());
}

TEST_F(NetworkSeam, TheMappingEndsWithTheRunHoweverItEnds) {
    testing::TempDrive root;
    WinTempDir logs;
    RunSettings settings = *SettingsFor(kWanType, "<256");
    settings.testName = "Mapped";
    // Connected, but the share's folder is not there: the connection test fails.
    settings.target = "\\\\NOSERVER\\NOSHARE";
    RecordingObserver observer;
    StopToken stop;
    const RunResult result =
        RunBenchmark(settings, {root.Root(), logs.Slash() + "TestResults.txt", {}}, observer, stop);
    EXPECT_EQ(result.outcome, RunOutcome::Error);
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].rfind("add ", 0), 0u);
    EXPECT_EQ(calls[1].rfind("cancel ", 0), 0u);
    EXPECT_EQ(calls[1].substr(7, 2), calls[0].substr(4, 2));  // the letter it mapped
    EXPECT_NE(
        std::find(observer.statuses.begin(), observer.statuses.end(), "Initializing tests..."),
        observer.statuses.end());
}

// A whole run through a mapped share path. WIREPACE_TEST_SHARE names an empty share the
// system reaches by its path (scripts/test-windows links \\\\SERVER\\SHARE to a folder in the
// Wine prefix); the networking calls stay replaced, since no server is there to log on to.
TEST_F(NetworkSeam, AWholeRunGoesThroughTheSharePathAndUnmapsAtTheEnd) {
    const auto shareText = platform::GetEnv("WIREPACE_TEST_SHARE");
    if (!shareText) GTEST_SKIP() << "WIREPACE_TEST_SHARE names no share to run against";
    testing::TempDrive root;
    WinTempDir logs;
    RunSettings settings = *SettingsFor(kWanType, "<256");
    settings.testName = "Share";
    settings.target = *shareText;  // as typed, without a trailing separator
    settings.account = "CORP\\jo o'brien";
    settings.password = "pa ss\"w & del";
    const RunEnvironment environment{root.Root(), logs.Slash() + "TestResults.txt", {}};
    RecordingObserver observer;
    StopToken stop;
    const RunResult result = RunBenchmark(settings, environment, observer, stop);
    EXPECT_EQ(result.outcome, RunOutcome::Finished);
    EXPECT_EQ(result.target, *shareText + "\\");
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].substr(5), ":|" + *shareText + "|CORP\\jo o'brien|pa ss\"w & del");
    EXPECT_EQ(calls[1], "cancel " + calls[0].substr(4, 2) + " forced");
    std::istringstream log(ReadBytes(environment.logPath));
    int resultLines = 0;
    for (std::string line; std::getline(log, line);)
        if (line.rfind("\"Share\", \"" + *shareText + "\\\", ", 0) == 0) ++resultLines;
    EXPECT_EQ(resultLines, kTestCount);
    EXPECT_TRUE(EntriesOf(root.Folder()).empty());
    EXPECT_TRUE(EntriesOf(std::filesystem::path(win32::Widen(*shareText))).empty());
}

TEST(Drones, ReleasedDronesCopyAndReportTheirTimes) {
    testing::TempDrive root;
    WinTempDir target(" with blank");
    RunContext state;
    state.AppDrive = root.Root();
    // A size of the size tables: the target sweep takes no other name for ours.
    state.LargeTestFile = "Test160.jnk";
    DroneFleet fleet;
    for (int n = 1; n <= kMaxDrones; ++n) {
        testing::WriteBytes(root.Root() + std::to_string(n) + state.LargeTestFile,
                            std::string(65536, '\0'));
        WriteDrone(state, "Drone" + std::to_string(n) + ".exe");
        StartDrone(state, fleet, n, DroneDirection::To, target.Slash(),
                   std::to_string(n) + state.LargeTestFile);
    }
    // Waiting for the release: none has copied or ended yet.
    Pause(0.5);
    for (int n = 1; n <= kMaxDrones; ++n) {
        EXPECT_FALSE(fleet.drones[static_cast<std::size_t>(n - 1)].process->HasEnded());
        EXPECT_FALSE(
            std::filesystem::exists(target.Path() / (std::to_string(n) + state.LargeTestFile)));
    }
    const std::vector<double> times = CollectDroneTimes(state, fleet, kMaxDrones, 7, DroneWait{});
    ASSERT_EQ(times.size(), static_cast<std::size_t>(kMaxDrones));
    for (double ms : times) EXPECT_LT(ms, 60000);
    for (int n = 1; n <= kMaxDrones; ++n)
        EXPECT_EQ(platform::FileLength(target.Slash() + std::to_string(n) + state.LargeTestFile),
                  65536);
    EXPECT_FALSE(TerminateDrones(state, fleet, target.Slash()).has_value());
    EXPECT_TRUE(EntriesOf(root.Folder()).empty());
    EXPECT_TRUE(EntriesOf(target.Path()).empty());
}

TEST(Drones, EndWithTheirController) {
    testing::TempDrive root;
    // A controller that starts a drone waiting for its release, writes the drone's process id
    // and ends without cleaning up, as a killed one would.
    const std::string parent = platform::ProgramFolder() + "win32_drone_parent.exe";
    const std::string pidFile = root.Root() + "pid.txt";
    auto process =
        testing::StartProgramArgs(parent, {root.Root(), pidFile}, platform::WindowStyle::Hidden);
    ASSERT_TRUE(process);
    ASSERT_TRUE(process->WaitForEnd(30000));
    const int drone = std::stoi(platform::ReadFirstLine(pidFile));
    ASSERT_GT(drone, 0);
    const double started = TickMs();
    while (platform::ProcessAlive(drone) && TickMs() - started < 3000) Pause(0.05);
    EXPECT_FALSE(platform::ProcessAlive(drone)) << "the drone outlived its controller";
}

class WholeRun : public ::testing::Test {
  protected:
    void SetUp() override {
        settings = *SettingsFor(kWanType, "<256");
        settings.testName = "Wine";
        environment = {root.Root(), logs.Slash() + "TestResults.txt", {}};
        // Without the half second before each test, which nothing here looks at.
        environment.pauseBeforeTestSeconds = 0;
    }
    RunResult Run() {
        StopToken stop;
        return RunBenchmark(settings, environment, observer, stop);
    }
    std::vector<std::string> LogLines() const {
        std::vector<std::string> lines;
        std::string bytes = ReadBytes(environment.logPath);
        // A new log begins with the byte-order mark of UTF-8.
        EXPECT_EQ(bytes.rfind("\xEF\xBB\xBF", 0), 0u);
        std::istringstream in(bytes.substr(3));
        for (std::string line; std::getline(in, line);) {
            EXPECT_FALSE(line.empty());
            EXPECT_EQ(line.back(), '\r');  // CR LF line ends
            lines.push_back(line.substr(0, line.size() - 1));
        }
        return lines;
    }

    testing::TempDrive root;
    WinTempDir target, logs;
    RunSettings settings;
    RunEnvironment environment;
    RecordingObserver observer;
};

TEST_F(WholeRun, NineTestsWithFiveDronesAndNothingLeft) {
    // Forward slashes as a user may type them: the run turns them into backslashes.
    std::string typed = target.Slash();
    typed.pop_back();
    for (auto& c : typed)
        if (c == '\\') c = '/';
    settings.target = typed;
    const RunResult result = Run();
    EXPECT_EQ(result.outcome, RunOutcome::Finished);
    EXPECT_EQ(result.target, target.Slash());
    EXPECT_EQ(observer.shownDir, target.Slash());
    EXPECT_EQ(result.tests.size(), 9u);

    const auto lines = LogLines();
    ASSERT_EQ(lines.size(), 10u);
    EXPECT_EQ(lines[0].rfind("-- Starting Wine test at ", 0), 0u);
    for (int i = 0; i < kTestCount; ++i) {
        const auto& line = lines[static_cast<std::size_t>(i) + 1];
        EXPECT_EQ(line.rfind("\"Wine\", \"" + target.Slash() + "\", ", 0), 0u) << line;
        EXPECT_NE(line.find(", " + TestId(i) + ", "), std::string::npos) << line;
    }
    EXPECT_TRUE(EntriesOf(root.Folder()).empty());
    EXPECT_TRUE(EntriesOf(target.Path()).empty());
}

// Nothing typed is altered in the log: a new log is UTF-8 behind a byte-order mark and keeps
// any name; an older log in the ANSI code page keeps its code page, and a name it cannot
// store is refused before the run, naming the character, with the log untouched.
TEST_F(WholeRun, TheLogStoresNamesExactlyOrRefusesThemFirst) {
    const std::string japan = "\xE6\x97\xA5\xE6\x9C\xAC";  // "日本"
    settings.target = target.Slash();
    settings.testName = japan + " Z\xC3\xBCrich";  // "日本 Zürich"
    ASSERT_EQ(Run().outcome, RunOutcome::Finished);
    const std::string bytes = ReadBytes(environment.logPath);
    EXPECT_EQ(bytes.rfind("\xEF\xBB\xBF-- Starting " + settings.testName + " test at ", 0), 0u);
    EXPECT_EQ(bytes.find("\xEF\xBB\xBF", 3), std::string::npos) << "one mark, at the start";
    EXPECT_NE(bytes.find("\"" + settings.testName + "\", \"" + target.Slash() + "\", "),
              std::string::npos);
    // The history reads it back as written: one run, nine tests, nothing skipped.
    LogHistory history = ReadResultsLog(environment.logPath);
    ASSERT_EQ(history.runs.size(), 1u);
    EXPECT_EQ(history.runs[0].name, settings.testName);
    EXPECT_EQ(history.runs[0].tests.size(), 9u);
    EXPECT_EQ(history.skippedLines, 0);
    // A second run goes on in UTF-8, whatever the code page.
    ASSERT_EQ(Run().outcome, RunOutcome::Finished);
    history = ReadResultsLog(environment.logPath);
    ASSERT_EQ(history.runs.size(), 2u);
    EXPECT_EQ(history.runs[1].name, settings.testName);

    // An older log in the ANSI code page.
    if (!platform::win32::FirstCharacterNotIn(japan, CP_ACP))
        GTEST_SKIP() << "the ANSI code page " << ::GetACP() << " stores every name tried";
    const std::string old = "-- Starting " +
                            platform::win32::Utf8ToCodePage("caf\xC3\xA9", CP_ACP) +
                            " test at x --\r\n";
    testing::WriteBytes(environment.logPath, old);
    settings.testName = japan;
    const std::size_t statuses = observer.statuses.size();
    try {
        Run();
        ADD_FAILURE() << "a name the log cannot store was taken";
    } catch (const SettingsError& e) {
        const std::string message = e.what();
        EXPECT_NE(message.find("\"\xE6\x97\xA5\" (U+65E5)"), std::string::npos) << message;
        EXPECT_NE(message.find(environment.logPath), std::string::npos) << message;
    }
    settings.testName = "Z\xC3\xBCrich";
    settings.target = target.Slash() + japan;
    EXPECT_THROW(Run(), SettingsError);
    EXPECT_EQ(ReadBytes(environment.logPath), old) << "the refused run touched the log";
    EXPECT_EQ(observer.statuses.size(), statuses) << "the refused run showed a status";
    // What the code page stores goes on in it, never UTF-8 inside the same file.
    settings.target = target.Slash();
    ASSERT_EQ(Run().outcome, RunOutcome::Finished);
    const std::string appended = ReadBytes(environment.logPath);
    EXPECT_EQ(appended.rfind(old, 0), 0u);
    EXPECT_NE(
        appended.find("\"" + platform::win32::Utf8ToCodePage(settings.testName, CP_ACP) + "\", "),
        std::string::npos);
    history = ReadResultsLog(environment.logPath);
    ASSERT_FALSE(history.runs.empty());
    EXPECT_EQ(history.runs.back().name, settings.testName);
    EXPECT_EQ(history.runs.back().tests.size(), 9u);
    EXPECT_EQ(history.skippedLines, 0);
}

TEST_F(WholeRun, AMissingTargetEndsInTheErrorWithNothingLeft) {
    settings.target = target.Slash() + "missing\\deeper";
    EXPECT_EQ(Run().outcome, RunOutcome::Error);
    const auto lines = LogLines();
    ASSERT_GE(lines.size(), 2u);
    // The folder that does not exist is named.
    EXPECT_EQ(lines.back(),
              "-- Error: Path not found [76]: " + target.Slash() + "missing\\deeper\\ --");
    EXPECT_TRUE(EntriesOf(root.Folder()).empty());
}

// Tries to move the target away when a test starts and to put a decoy folder with files named
// like the run's own in its place.
class MoveTargetAway : public RecordingObserver {
  public:
    MoveTargetAway(std::filesystem::path target, std::filesystem::path aside, int test)
        : target_(std::move(target)), aside_(std::move(aside)), test_(test) {}
    void TestStarted(int index, const std::string& id, const std::string& name,
                     double bytes) override {
        RecordingObserver::TestStarted(index, id, name, bytes);
        if (index != test_) return;
        std::error_code ec;
        std::filesystem::rename(target_, aside_, ec);
        moved = !ec;
        if (!moved) return;
        std::filesystem::create_directory(target_);
        for (const char* name : {"Test160.jnk", "1Test160.jnk", "wirepace-run.lock"})
            std::ofstream(target_ / name) << "kept";
    }
    bool moved = false;

  private:
    std::filesystem::path target_, aside_;
    int test_;
};

TEST_F(WholeRun, TheTargetIsHeldSoItCannotBeMovedAwayMidRun) {
    WinTempDir base;
    const auto folder = base.Path() / "target";
    std::filesystem::create_directory(folder);
    settings.target = folder.string();
    MoveTargetAway moving(folder, base.Path() / "aside", 7);
    StopToken stop;
    const RunResult result = RunBenchmark(settings, environment, moving, stop);
    // Held without delete sharing: the rename is refused, and the run goes on where it began.
    EXPECT_FALSE(moving.moved);
    EXPECT_EQ(result.outcome, RunOutcome::Finished);
    EXPECT_TRUE(EntriesOf(folder).empty());
    EXPECT_TRUE(EntriesOf(root.Folder()).empty());
}

TEST_F(WholeRun, ARelativeTargetIsRefusedNotMapped) {
    settings.target = "server\\share";
    EXPECT_EQ(Run().outcome, RunOutcome::Error);
    EXPECT_EQ(
        std::find(observer.statuses.begin(), observer.statuses.end(), "Establishing connection..."),
        observer.statuses.end());
    EXPECT_TRUE(EntriesOf(root.Folder()).empty());
}

}  // namespace
}  // namespace wirepace
