// SPDX-License-Identifier: MIT
// Whole runs of the sequence with real drones, through a window without widgets.
#include "core/test_sequence.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <sstream>

#include "common/pause.h"
#include "core/connection_settings.h"
#include "core/share_connection.h"
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
    // The test whose status line shows now, or -1.
    int RunningTest() const {
        for (int i = 0; i < kTestCount; ++i)
            if (window.instruction ==
                "Running Test " + state.TestIds[static_cast<std::size_t>(i)] + ". Please wait...")
                return i;
        return -1;
    }

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

TEST_F(Sequence, StopDuringTheLastTestStillFinishes) {
    onPump = [&] {
        // While test 8's drones are being waited for.
        if (RunningTest() == 8 && std::filesystem::exists(root.Path() / "GO.txt") &&
            window.nextCaption == "Stop")
            sequence.cmdNext_Click();
    };
    sequence.cmdNext_Click();
    EXPECT_EQ(window.status, "Finished");
    EXPECT_TRUE(window.nextEnabled);
    EXPECT_EQ(LogLines().size(), 10u);
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
    EXPECT_NE(LogLines().back().find(", 7, "), std::string::npos);  // the current test ends
    EXPECT_TRUE(sequence.RequestClose());                           // nothing runs any more
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
