// SPDX-License-Identifier: MIT
// Whole runs of the sequence with real drones, through a window without widgets.
#include "core/test_sequence.h"

#include <sys/mount.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <functional>
#include <sstream>

#include "common/number_format.h"
#include "common/pause.h"
#include "core/connection_settings.h"
#include "core/share_connection.h"
#include "platform/platform.h"
#include "support/child_process.h"
#include "support/fake_window.h"
#include "support/temp_dir.h"

namespace wirepace {
namespace {

using testing::FakeWindow;
using testing::TempDir;

class Sequence : public ::testing::Test {
  protected:
    void SetUp() override {
        InitCatalogue(state);
        state.AppDrive = root.Slash();
        state.LogPath = logs.Slash() + "TestResults.txt";
        ApplyConnectionType(state, kWanType);
        window.testId = "Seq";
        window.dirPath = target.Path().string();
        previousHook = SetPumpHook([this] {
            if (onPump) onPump();
        });
    }
    void TearDown() override { SetPumpHook(previousHook); }

    std::vector<std::string> LogLines() const {
        std::vector<std::string> lines;
        std::istringstream in(testing::ReadFile(state.LogPath));
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        return lines;
    }
    void ExpectNothingLeft() const {
        EXPECT_TRUE(testing::Entries(root.Path()).empty());
        EXPECT_TRUE(testing::Entries(target.Path()).empty());
        EXPECT_TRUE(testing::ProcessesRunningFrom(root.Slash()).empty());
    }
    // The test the run is at, or -1 before the first.
    int RunningTest() const { return window.currentTest; }

    TempDir root, target, logs;
    BenchmarkState state;
    FakeWindow window;
    TestSequence sequence{state, window};
    std::function<void()> onPump;
    PumpHook previousHook;
};

TEST_F(Sequence, CompleteRun) {
    sequence.cmdNext_Click();
    EXPECT_EQ(window.status, "Finished");
    EXPECT_EQ(window.instruction, "");
    EXPECT_EQ(window.nextCaption, "View Reports");
    EXPECT_TRUE(window.nextEnabled);
    EXPECT_EQ(window.backCaption, "Back");
    EXPECT_TRUE(window.backVisible);
    EXPECT_FALSE(window.busy);
    EXPECT_TRUE(window.resultsPage);
    EXPECT_EQ(window.dirPath, target.Slash());  // normalised and written back

    const auto lines = LogLines();
    ASSERT_EQ(lines.size(), 10u);
    EXPECT_EQ(lines[0].rfind("-- Starting Seq test at ", 0), 0u);
    for (int i = 0; i < kTestCount; ++i) {
        const auto& line = lines[static_cast<std::size_t>(i) + 1];
        EXPECT_EQ(line.rfind("\"Seq\", \"" + target.Slash() + "\", ", 0), 0u) << line;
        EXPECT_NE(line.find(", " + state.TestIds[static_cast<std::size_t>(i)] + ", "),
                  std::string::npos);
    }
    EXPECT_EQ(state.TestSizesMB[0], "0.016");
    EXPECT_EQ(state.TestSizesMB[1], "0.156");
    EXPECT_EQ(state.TestSizesMB[6], "0.312");  // 2 x 160 KB is 0.3125: the half goes to even
    EXPECT_EQ(state.TestSizesMB[7], "0.781");  // 5 x 160 KB
    EXPECT_EQ(state.TestBytes[8], 5 * 163840);
    for (const auto& ms : state.TestTimesMs) EXPECT_FALSE(ms.empty());
    EXPECT_EQ(state.LargeTestFile, "Test160.jnk");
    ExpectNothingLeft();

    EXPECT_EQ(window.startedTests, (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8}));
    // The statuses of the share-free road, in order.
    EXPECT_EQ(window.statusHistory.front(), "Testing Connection...");
    EXPECT_EQ(window.instructionHistory[1], "Running Test 1a. Please wait...");

    // View Reports, then Exit.
    sequence.cmdNext_Click();
    EXPECT_TRUE(window.reportsOpened);
    EXPECT_EQ(window.nextCaption, "Exit");
    sequence.cmdNext_Click();
    EXPECT_TRUE(window.closed);
}

TEST_F(Sequence, StopDuringATestIsSeenBeforeTheNextOne) {
    // Nothing is pumped while test 3 copies, so a click made then arrives at the first pump
    // after it: the pause before test 4, whose status is already shown.
    bool sawTest3 = false;
    onPump = [&] {
        if (RunningTest() == 3) sawTest3 = true;
        if (sawTest3 && RunningTest() == 4 && window.nextCaption == "Stop") {
            sequence.cmdNext_Click();
            EXPECT_EQ(window.nextCaption, "Please Wait");
            EXPECT_FALSE(window.nextEnabled);
            EXPECT_EQ(window.status, "Interrupted by user");
            EXPECT_EQ(window.instruction, "Please wait...");
        }
    };
    sequence.cmdNext_Click();
    EXPECT_EQ(window.status, "Interrupted by user");
    EXPECT_EQ(window.nextCaption, "View Reports");
    EXPECT_FALSE(window.nextEnabled);
    EXPECT_FALSE(sequence.StopRequested());
    const auto lines = LogLines();
    ASSERT_EQ(lines.size(), 1u + 4u);  // tests 1a, 1b, 2 and 3 recorded
    EXPECT_NE(lines.back().find(", 3, "), std::string::npos);
    EXPECT_NE(
        std::find(window.statusHistory.begin(), window.statusHistory.end(), state.TestNames[4]),
        window.statusHistory.end());
    ExpectNothingLeft();
}

TEST_F(Sequence, StopBeforeATestSkipsIt) {
    onPump = [&] {
        if (RunningTest() == 2 && window.nextCaption == "Stop") sequence.cmdNext_Click();
    };
    sequence.cmdNext_Click();
    EXPECT_EQ(window.status, "Interrupted by user");
    EXPECT_EQ(LogLines().size(), 1u + 2u);
    ExpectNothingLeft();
}

TEST_F(Sequence, StopDuringADroneWaitEndsTheRunWithoutThatTest) {
    bool clicked = false;
    onPump = [&] {
        // While test 8's drones are being waited for.
        if (RunningTest() == 8 && std::filesystem::exists(root.Path() / "GO.txt") &&
            window.nextCaption == "Stop") {
            sequence.cmdNext_Click();
            clicked = window.nextCaption == "Please Wait";
        }
    };
    sequence.cmdNext_Click();
    ASSERT_TRUE(clicked);
    EXPECT_EQ(window.status, "Interrupted by user");
    EXPECT_FALSE(window.nextEnabled);
    const auto lines = LogLines();
    ASSERT_EQ(lines.size(), 1u + 8u);  // tests 1a to 7; test 8 is not recorded
    EXPECT_NE(lines.back().find(", 7, "), std::string::npos);
    ExpectNothingLeft();
}

TEST_F(Sequence, MissingTargetFolderIsPathNotFound) {
    window.dirPath = target.Slash() + "missing";
    sequence.cmdNext_Click();
    EXPECT_EQ(window.status, "ERROR");
    EXPECT_FALSE(window.nextEnabled);
    const auto lines = LogLines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[1], "-- Error: Path not found [76] --\r");
    EXPECT_EQ(window.results,
              "-- Error: Path not found [76] --\r\n"
              "Please check target folder (spelling, permissions, etc.)\r\n");
    ExpectNothingLeft();
}

TEST_F(Sequence, FileVanishingMidRunIsFileNotFound) {
    onPump = [&] {
        if (RunningTest() == 3) std::filesystem::remove(target.Path() / state.SmallTestFile);
    };
    sequence.cmdNext_Click();
    EXPECT_EQ(window.status, "ERROR");
    EXPECT_EQ(LogLines().back(), "-- Error: File not found [53] --\r");
    EXPECT_NE(window.results.find("Failed to establish a connection.\r\n"), std::string::npos);
    ExpectNothingLeft();
}

TEST_F(Sequence, UnreachableShareAndRelativePathAreRefusedClearly) {
    // A share that cannot be mapped ends the run at the mapping, saying why: the server is
    // unknown, or (on a machine without them) smbnetfs or FUSE is missing. Nothing of the
    // mapping is left, and the next run starts normally.
    window.dirPath = "//nosuchhost.invalid/share";
    sequence.cmdNext_Click();
    EXPECT_EQ(window.status, "ERROR");
    const std::string line = LogLines().back();
    EXPECT_TRUE(line.find("nosuchhost.invalid is unknown [53] --") != std::string::npos ||
                line.find("smbnetfs") != std::string::npos ||
                line.find("FUSE") != std::string::npos)
        << line;
    EXPECT_TRUE(state.ShareDrive.empty());
    EXPECT_FALSE(ShareConnected(state));

    window.nextCaption = "Run Tests";
    window.dirPath = "relative/folder";
    sequence.cmdNext_Click();
    EXPECT_EQ(window.status, "ERROR");
    EXPECT_NE(LogLines().back().find("full path"), std::string::npos);
    ExpectNothingLeft();
}

TEST_F(Sequence, StaleHandshakeFilesDoNotStopTheDrones) {
    testing::WriteFile(root.Path() / "TERMDRONES.txt", "");
    testing::WriteFile(root.Path() / "GO.txt", "");
    sequence.cmdNext_Click();
    EXPECT_EQ(window.status, "Finished");
    ExpectNothingLeft();
}

TEST_F(Sequence, CloseDuringADroneTestCleansUpThenCloses) {
    bool asked = false;
    onPump = [&] {
        // While test 7's drones are being waited for.
        if (!asked && RunningTest() == 7 && testing::Entries(root.Path()).size() > 8) {
            asked = true;
            EXPECT_FALSE(sequence.RequestClose());
            EXPECT_EQ(window.nextCaption, "Please Wait");
            EXPECT_EQ(window.status, "Interrupted by user");
        }
    };
    sequence.cmdNext_Click();
    EXPECT_TRUE(asked);
    EXPECT_TRUE(window.closed);
    EXPECT_EQ(window.status, "Interrupted by user");
    // The wait ends at once; the interrupted test is not recorded.
    EXPECT_NE(LogLines().back().find(", 6, "), std::string::npos);
    EXPECT_TRUE(sequence.RequestClose());  // nothing runs any more
    ExpectNothingLeft();
}

TEST_F(Sequence, DroneTimesAreEachDronesOwnAndTheLongestIsTheTestsTime) {
    sequence.cmdNext_Click();
    ASSERT_EQ(window.status, "Finished");
    EXPECT_EQ(state.DroneTimesMs[6].size(), 2u);
    EXPECT_EQ(state.DroneTimesMs[7].size(), 5u);
    EXPECT_EQ(state.DroneTimesMs[8].size(), 5u);
    EXPECT_TRUE(state.DroneTimesMs[5].empty());
    for (int i = 6; i <= 8; ++i) {
        const auto& times = state.DroneTimesMs[static_cast<std::size_t>(i)];
        EXPECT_EQ(NumberToText(*std::max_element(times.begin(), times.end())),
                  state.TestTimesMs[static_cast<std::size_t>(i)]);
    }
}

TEST_F(Sequence, ALocalTargetGetsNoDiagnosisAndSaysWhyOnce) {
    sequence.cmdNext_Click();
    ASSERT_EQ(window.status, "Finished");
    EXPECT_FALSE(state.TargetIsRemote);
    for (const auto& comment : state.TestComments) EXPECT_EQ(comment, "");
    const std::string note = "target is a local disk: no network diagnosis\r\n";
    EXPECT_NE(window.results.find(note), std::string::npos) << window.results;
    EXPECT_EQ(window.results.find(note), window.results.rfind(note));
}

TEST_F(Sequence, ANetworkTargetWithTimingsTooShortToJudgeSaysSo) {
    sequence.SetNetworkProbe([](const std::string&) { return true; });
    sequence.cmdNext_Click();
    ASSERT_EQ(window.status, "Finished");
    EXPECT_TRUE(state.TargetIsRemote);
    // The tiny WAN files copy in well under 50 ms on one machine.
    for (const auto& comment : state.TestComments) EXPECT_EQ(comment, "");
    EXPECT_NE(state.DiagnosisNote.find("took under 50 ms: too short to judge"), std::string::npos)
        << state.DiagnosisNote;
}

TEST_F(Sequence, WhatAKilledRunLeftIsSweptAndNeverReadAsThisRunsResults) {
    // Result files that would give test 6 a time of 99999 ms, work files of other sizes, a
    // stop file that would stop the drones, and a half-written test file.
    for (int n = 1; n <= 5; ++n)
        testing::WriteFile(root.Path() / ("TXT" + std::to_string(n) + "Test160.jnk"),
                           " 99999 \r\n");
    testing::WriteFile(root.Path() / "3Test10240.jnk", "old");
    testing::WriteFile(root.Path() / "Drone4.exe", "old");
    testing::WriteFile(root.Path() / "TERMDRONES.txt", "");
    testing::WriteFile(root.Path() / "Test16.jnk", "half");
    testing::WriteFile(target.Path() / "2Test1600.jnk", "old");
    sequence.cmdNext_Click();
    EXPECT_EQ(window.status, "Finished");
    for (const auto& ms : state.TestTimesMs) EXPECT_NE(ms, "99999");
    ExpectNothingLeft();
}

TEST_F(Sequence, PlantedLinksAreNeverFollowed) {
    TempDir outside;
    const auto victim = outside.Path() / "victim";
    testing::WriteFile(victim, "precious");
    // In the work root, links under every name the run writes are removed, not followed.
    for (const char* name :
         {"Test16.jnk", "Test160.jnk", "1Test160.jnk", "5Test160.jnk", "TXT1Test160.jnk",
          "ERR2Test160.jnk", "Drone1.exe", "GO.txt", "TERMDRONES.txt"})
        std::filesystem::create_symlink(victim, root.Path() / name);
    sequence.cmdNext_Click();
    EXPECT_EQ(window.status, "Finished");
    EXPECT_EQ(testing::ReadFile(victim), "precious");
    ExpectNothingLeft();

    // In the target a link under a work-file name ends the run before anything is written.
    for (const char* name : {"Test16.jnk", "1Test160.jnk"}) {
        std::filesystem::create_symlink(victim, target.Path() / name);
        window.nextCaption = "Run Tests";
        sequence.cmdNext_Click();
        EXPECT_EQ(window.status, "ERROR");
        EXPECT_NE(LogLines().back().find(std::string(name) + " is a symbolic link"),
                  std::string::npos)
            << LogLines().back();
        EXPECT_EQ(testing::ReadFile(victim), "precious");
        EXPECT_EQ(testing::Entries(target.Path()), std::vector<std::string>{name});
        EXPECT_TRUE(window.messages.empty()) << "the refusal was reported twice";
        std::filesystem::remove(target.Path() / name);
    }
    EXPECT_EQ(testing::Entries(outside.Path()), std::vector<std::string>{"victim"});
}

TEST_F(Sequence, ASecondControllerOnTheSameTargetIsRefusedBeforeItTouchesAnything) {
    // A live run of this machine holds the target (process 1 always runs).
    const auto lock = target.Path() / "wirepace-run.lock";
    testing::WriteFile(lock, platform::HostName() + " 1\r\n");
    testing::WriteFile(target.Path() / "Test16.jnk", "the other run's");
    sequence.cmdNext_Click();
    EXPECT_EQ(window.status, "ERROR");
    EXPECT_NE(LogLines().back().find("Another run is testing this folder: " + lock.string()),
              std::string::npos)
        << LogLines().back();
    EXPECT_EQ(testing::ReadFile(target.Path() / "Test16.jnk"), "the other run's");
    EXPECT_TRUE(std::filesystem::exists(lock));

    // A lock left by a dead run is taken over, and released at the end.
    testing::WriteFile(lock, platform::HostName() + " 999999999\r\n");
    std::filesystem::remove(target.Path() / "Test16.jnk");
    window.nextCaption = "Run Tests";
    sequence.cmdNext_Click();
    EXPECT_EQ(window.status, "Finished");
    ExpectNothingLeft();
}

TEST_F(Sequence, ADronesOwnCauseReachesTheLog) {
    onPump = [&] {
        // Before test 8's drones start, drone 3's source on the target goes missing.
        if (RunningTest() == 8 && !std::filesystem::exists(root.Path() / "GO.txt"))
            std::filesystem::remove(target.Path() / "3Test160.jnk");
    };
    sequence.cmdNext_Click();
    EXPECT_EQ(window.status, "ERROR");
    EXPECT_EQ(LogLines().back(), "-- Error: Drone 3: File not found reading " + target.Slash() +
                                     "3Test160.jnk [53] --\r");
    ExpectNothingLeft();
}

TEST_F(Sequence, InputThatWouldBreakTheLogIsRefusedBeforeAnythingRuns) {
    // A name with CR LF once forged a complete result line of its own.
    const std::string forged =
        "x\r\n\"Fake\", \"/srv/\", 2020/01/01, 00:00:00.120, 4, 1, 99999, \"\"";
    const std::vector<std::array<std::string, 3>> cases = {
        {forged, target.Path().string(), ""},
        {"Seq", target.Slash() + "a\nb", ""},
        {"Seq", target.Slash() + "why?", ""},
        {"Seq", target.Path().string(), "jo\t"},
    };
    for (const auto& [name, dir, account] : cases) {
        window.testId = name;
        window.dirPath = dir;
        window.userName = account;
        window.messages.clear();
        sequence.cmdNext_Click();
        ASSERT_EQ(window.messages.size(), 1u) << dir;
        EXPECT_NE(window.messages[0].find("must not contain"), std::string::npos);
        EXPECT_EQ(window.nextCaption, "Run Tests");
        EXPECT_FALSE(window.busy);
        EXPECT_FALSE(window.resultsPage);
        EXPECT_TRUE(window.statusHistory.empty());
        EXPECT_EQ(window.dirPath, dir);
        EXPECT_FALSE(sequence.Running());
    }
    EXPECT_FALSE(std::filesystem::exists(state.LogPath));
    ExpectNothingLeft();
}

// A small file system in memory over `folder` for the life of the object (root only).
class SmallDisk {
  public:
    SmallDisk(const std::filesystem::path& folder, const char* options, unsigned long flags = 0)
        : folder_(folder) {
        mounted_ = ::mount("wirepace-test", folder.c_str(), "tmpfs", flags, options) == 0;
    }
    ~SmallDisk() {
        if (mounted_) ::umount2(folder_.c_str(), MNT_DETACH);
    }
    SmallDisk(const SmallDisk&) = delete;
    SmallDisk& operator=(const SmallDisk&) = delete;
    bool Mounted() const { return mounted_; }

  private:
    std::filesystem::path folder_;
    bool mounted_ = false;
};

TEST_F(Sequence, ADronesFullDiskReachesTheLogWithItsFile) {
    // Room for the controller's own copies, not for test 7's five drones at once.
    SmallDisk disk(target.Path(), "size=600k");
    if (!disk.Mounted()) GTEST_SKIP() << "mounting a small disk needs root";
    sequence.cmdNext_Click();
    EXPECT_EQ(window.status, "ERROR");
    const std::string last = LogLines().back();
    EXPECT_EQ(last.rfind("-- Error: Drone ", 0), 0u) << last;
    EXPECT_NE(last.find(": Disk full writing " + target.Slash()), std::string::npos) << last;
    EXPECT_NE(last.find("Test160.jnk [61] --"), std::string::npos) << last;
    ExpectNothingLeft();
}

TEST_F(Sequence, AWorkRootWhereProgramsCannotRunSaysSo) {
    SmallDisk disk(root.Path(), "size=64m", MS_NOEXEC);
    if (!disk.Mounted()) GTEST_SKIP() << "mounting a small disk needs root";
    sequence.cmdNext_Click();
    EXPECT_EQ(window.status, "ERROR");
    EXPECT_NE(LogLines().back().find("Programs cannot be started from " + root.Path().string() +
                                     ": its file system is mounted noexec"),
              std::string::npos)
        << LogLines().back();
    ExpectNothingLeft();
}

TEST_F(Sequence, OtherCaptionsDoNothing) {
    window.nextCaption = "Please Wait";
    sequence.cmdNext_Click();
    EXPECT_FALSE(std::filesystem::exists(state.LogPath));
    EXPECT_TRUE(window.statusHistory.empty());
}

}  // namespace
}  // namespace wirepace
