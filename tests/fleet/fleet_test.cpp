// SPDX-License-Identifier: MIT
// Fleet control with real drones written from the embedded image into a temporary work root.
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "common/error.h"
#include "common/number_format.h"
#include "common/pause.h"
#include "core/drone_fleet.h"
#include "support/fake_window.h"
#include "support/temp_dir.h"
#include "support/unprivileged.h"

namespace wirepace::testing {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Names = std::vector<std::string>;

constexpr double kWaitLimitMs = 20000;

class FleetTest : public ::testing::Test {
  protected:
    void SetUp() override {
        state_.AppDrive = root_.Slash();
        state_.LargeTestFile = "Test64.jnk";
        state_.SmallTestFile = "Test8.jnk";
        // A blank in the target folder must reach the drones intact.
        target_ = remote_.Path() / "tar get";
        fs::create_directory(target_);
        window_.dirPath = target_.string() + "/";
        // Every wait of the fleet pumps events: a wait that runs too long fails the test
        // instead of hanging it.
        const double deadline = TickMs() + kWaitLimitMs;
        previousHook_ = SetPumpHook([this, deadline] {
            if (onPump_) onPump_();
            if (TickMs() > deadline) throw std::runtime_error("the wait for the drones timed out");
        });
    }
    void TearDown() override {
        SetPumpHook(previousHook_);
        for (auto& p : fleet_.processes) {
            if (p && !p->HasEnded()) {
                kill(p->Id(), SIGKILL);
                p->WaitForEnd(2000);
            }
            p.reset();
        }
    }

    std::string Numbered(int n) const { return std::to_string(n) + state_.LargeTestFile; }
    fs::path RootFile(const std::string& name) const { return root_.Path() / name; }
    fs::path TargetFile(const std::string& name) const { return target_ / name; }
    static std::string Content(int n) {
        return std::string((std::size_t{1} << 20) * static_cast<std::size_t>(n),
                           static_cast<char>('0' + n));
    }

    void WriteAndStart(int n, DroneMode mode) {
        WriteDrone(state_, "Drone" + std::to_string(n) + ".exe");
        StartDrone(state_, fleet_, n, mode, window_.dirPath, Numbered(n));
    }
    bool AllEnded(int count) {
        for (int n = 1; n <= count; ++n) {
            auto& p = fleet_.processes[static_cast<std::size_t>(n - 1)];
            if (!p || !p->HasEnded()) return false;
        }
        return true;
    }

    TempDir root_, remote_;
    fs::path target_;
    BenchmarkState state_;
    FakeWindow window_;
    DroneFleet fleet_;
    std::function<void()> onPump_;
    PumpHook previousHook_;
};

TEST_F(FleetTest, WrittenImageIsTheBuiltDroneAlsoAfterASecondWrite) {
    const std::string built = ReadFile(WIREPACE_FERRYLET_PATH);
    ASSERT_FALSE(built.empty());
    const DroneImage image = EmbeddedDroneImage();
    ASSERT_EQ(image.size, built.size());

    WriteDrone(state_, "Drone1.exe");
    EXPECT_EQ(ReadFile(RootFile("Drone1.exe")), built);
    WriteDrone(state_, "Drone1.exe");
    EXPECT_EQ(ReadFile(RootFile("Drone1.exe")), built);
    struct stat st {};
    ASSERT_EQ(stat(RootFile("Drone1.exe").c_str(), &st), 0);
    EXPECT_NE(st.st_mode & S_IXUSR, 0u);
}

TEST_F(FleetTest, ArgumentTextAndDroneNumbers) {
    EXPECT_EQ(DroneArgumentText(DroneMode::To, "/t/", "3Test64.jnk"), "-TO/t/?3Test64.jnk");
    EXPECT_EQ(DroneArgumentText(DroneMode::From, "/a b/", "1X"), "-FROM/a b/?1X");
    for (int n : {0, 6, -1}) {
        try {
            StartDrone(state_, fleet_, n, DroneMode::To, "/t/", "x");
            ADD_FAILURE() << "drone " << n << " started";
        } catch (const RuntimeError& e) {
            EXPECT_EQ(e.Number(), kErrSubscriptOutOfRange);
        }
    }
}

TEST_F(FleetTest, FiveDronesReleasedByOneFileAllCopyAndTheirLinesAreSummed) {
    for (int n = 1; n <= 5; ++n) {
        WriteFile(RootFile(Numbered(n)), Content(n));
        WriteAndStart(n, DroneMode::To);
    }
    // Started but not released: nothing is copied yet.
    std::this_thread::sleep_for(300ms);
    EXPECT_TRUE(Entries(target_).empty());
    EXPECT_FALSE(AllEnded(1));

    // The lines are read back here once every drone has ended, before the fleet deletes them.
    std::vector<std::string> lines;
    onPump_ = [&] {
        if (!lines.empty() || !AllEnded(5)) return;
        for (int n = 1; n <= 5; ++n) lines.push_back(ReadFile(RootFile("TXT" + Numbered(n))));
    };
    const double sum = CollectDroneTimes(state_, fleet_, 5, 7);
    ASSERT_EQ(lines.size(), 5u);
    double expected = 0;
    for (const auto& line : lines) {
        ASSERT_TRUE(line.size() > 2 && line.ends_with(" \r\n")) << line;
        const auto ms = TextToNumber(line.substr(0, line.size() - 2));
        ASSERT_TRUE(ms) << line;
        expected += *ms;
    }
    EXPECT_EQ(sum, expected);
    for (int n = 1; n <= 5; ++n) EXPECT_EQ(ReadFile(TargetFile(Numbered(n))), Content(n)) << n;
    // Release file and result files are gone; drones and local work files stay for the end.
    EXPECT_EQ(Entries(root_.Path()),
              (Names{"1Test64.jnk", "2Test64.jnk", "3Test64.jnk", "4Test64.jnk", "5Test64.jnk",
                     "Drone1.exe", "Drone2.exe", "Drone3.exe", "Drone4.exe", "Drone5.exe"}));

    TerminateDrones(state_, window_, fleet_);
    EXPECT_TRUE(window_.messages.empty());
    EXPECT_TRUE(Entries(root_.Path()).empty());
    EXPECT_TRUE(Entries(target_).empty());
}

TEST_F(FleetTest, TestSixAwaitsAndReadsOnlyDronesOneAndTwo) {
    WriteFile(TargetFile(Numbered(1)), Content(1));
    WriteFile(RootFile(Numbered(2)), Content(2));

    // No drones 3 to 5 exist: awaiting them would run into the time limit.
    WriteAndStart(1, DroneMode::From);
    WriteAndStart(2, DroneMode::To);
    const double first = CollectDroneTimes(state_, fleet_, 2, 6);
    EXPECT_GE(first, 0);
    EXPECT_EQ(ReadFile(RootFile(Numbered(1))), Content(1));
    EXPECT_EQ(ReadFile(TargetFile(Numbered(2))), Content(2));

    // Result files of drones 3 to 5 that are not numbers would fail the run if they were read.
    for (int n = 3; n <= 5; ++n) WriteFile(RootFile("TXT" + Numbered(n)), "not a number\r\n");
    WriteAndStart(1, DroneMode::From);
    WriteAndStart(2, DroneMode::To);
    EXPECT_NO_THROW(CollectDroneTimes(state_, fleet_, 2, 6));
    for (int n = 3; n <= 5; ++n)
        EXPECT_EQ(ReadFile(RootFile("TXT" + Numbered(n))), "not a number\r\n");
    EXPECT_FALSE(fs::exists(RootFile("TXT" + Numbered(1))));
    EXPECT_FALSE(fs::exists(RootFile("TXT" + Numbered(2))));
    EXPECT_FALSE(fs::exists(RootFile("GO.txt")));
}

TEST_F(FleetTest, DroneThatEndsWithoutResultEndsTheWaitWithAnError) {
    // Drone 1 has no source to upload: it reports its copy error and ends.
    WriteFile(RootFile(Numbered(2)), Content(2));
    WriteAndStart(1, DroneMode::To);
    WriteAndStart(2, DroneMode::To);
    const double started = TickMs();
    try {
        CollectDroneTimes(state_, fleet_, 2, 6);
        ADD_FAILURE() << "the wait ended normally";
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.Number(), kErrPathFileAccess);
        EXPECT_EQ(e.Description(), "Drone 1 ended without reporting a time");
    }
    EXPECT_LT(TickMs() - started, kWaitLimitMs);

    TerminateDrones(state_, window_, fleet_);
    EXPECT_TRUE(window_.messages.empty());
    EXPECT_TRUE(Entries(root_.Path()).empty());
    EXPECT_TRUE(Entries(target_).empty());
}

TEST_F(FleetTest, ResultLinesAreTrimmedNumbersReadThenDeleted) {
    WriteFile(RootFile("TXT" + Numbered(1)), " 1234 \r\n");
    WriteFile(RootFile("TXT" + Numbered(2)), " 0 \r\n");
    EXPECT_EQ(CollectDroneTimes(state_, fleet_, 2, 6), 1234);
    EXPECT_TRUE(Entries(root_.Path()).empty());

    WriteFile(RootFile("TXT" + Numbered(1)), " 12 \r\n");
    WriteFile(RootFile("TXT" + Numbered(2)), "twelve\r\n");
    try {
        CollectDroneTimes(state_, fleet_, 2, 6);
        ADD_FAILURE() << "a line that is not a number was added";
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.Number(), kErrTypeMismatch);
    }
}

TEST_F(FleetTest, TerminateOnAnEmptyRootLeavesItEmpty) {
    TerminateDrones(state_, window_, fleet_);
    EXPECT_TRUE(window_.messages.empty());
    EXPECT_TRUE(Entries(root_.Path()).empty());
    EXPECT_TRUE(Entries(target_).empty());

    // Before the file names of a run are known nothing but the handshake files is touched.
    state_.LargeTestFile.clear();
    state_.SmallTestFile.clear();
    window_.dirPath.clear();
    WriteFile(RootFile("1"), "not ours");
    WriteFile(RootFile("TXT1"), "not ours");
    TerminateDrones(state_, window_, fleet_);
    EXPECT_TRUE(window_.messages.empty());
    EXPECT_EQ(Entries(root_.Path()), (Names{"1", "TXT1"}));
}

TEST_F(FleetTest, TerminateRemovesEveryFileOfTheRunAndNothingElse) {
    for (int n = 1; n <= 5; ++n) {
        WriteFile(RootFile(Numbered(n)), "local");
        WriteFile(TargetFile(Numbered(n)), "remote");
        WriteDrone(state_, "Drone" + std::to_string(n) + ".exe");
        WriteFile(RootFile("TXT" + Numbered(n)), " 5 \r\n");
    }
    for (const fs::path& p : {RootFile("Test8.jnk"), TargetFile("Test8.jnk"), RootFile("GO.txt"),
                              RootFile("TERMDRONES.txt")})
        WriteFile(p, "x");
    // Not files of the run's list: the base large test file and a file of the user's.
    WriteFile(RootFile("Test64.jnk"), "base");
    WriteFile(TargetFile("keep.txt"), "user");

    TerminateDrones(state_, window_, fleet_);
    EXPECT_TRUE(window_.messages.empty());
    EXPECT_EQ(Entries(root_.Path()), (Names{"Test64.jnk"}));
    EXPECT_EQ(Entries(target_), (Names{"keep.txt"}));
}

TEST_F(FleetTest, WaitingDroneEndsWithoutCopyingWhenTerminated) {
    // The drone's file is not a work-file name, so what it would copy or report stays visible.
    WriteFile(RootFile("X.jnk"), "payload");
    WriteDrone(state_, "Drone1.exe");
    StartDrone(state_, fleet_, 1, DroneMode::To, window_.dirPath, "X.jnk");
    const int pid = fleet_.processes[0]->Id();
    std::this_thread::sleep_for(300ms);
    ASSERT_FALSE(fleet_.processes[0]->HasEnded());

    TerminateDrones(state_, window_, fleet_);
    // Ended (and reaped) within the bounded wait, so its file could be deleted.
    const bool stillRunning = kill(pid, 0) == 0;
    if (stillRunning) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
    EXPECT_FALSE(stillRunning);
    EXPECT_TRUE(window_.messages.empty());
    EXPECT_EQ(Entries(root_.Path()), (Names{"X.jnk"}));
    EXPECT_TRUE(Entries(target_).empty());
}

TEST_F(FleetTest, TerminateStopsAtTheFirstFailingStepAndShowsIt) {
    // The work root is writable for everyone, the target folder for nobody but its owner.
    fs::permissions(root_.Path(), fs::perms::all);
    fs::permissions(remote_.Path(), fs::perms::others_read | fs::perms::others_exec,
                    fs::perm_options::add);
    WriteFile(RootFile(Numbered(1)), "local");
    WriteFile(TargetFile(Numbered(1)), "remote");
    WriteDrone(state_, "Drone1.exe");
    WriteFile(RootFile("TXT" + Numbered(1)), " 5 \r\n");
    fs::permissions(target_, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                                 fs::perms::group_exec | fs::perms::others_read |
                                 fs::perms::others_exec);

    const int result = RunUnprivileged([this] {
        FakeWindow window;
        window.dirPath = window_.dirPath;
        DroneFleet fleet;
        TerminateDrones(state_, window, fleet);
        return window.messages == std::vector<std::string>{"Permission denied [70]"} ? 0 : 1;
    });
    fs::permissions(target_, fs::perms::owner_all, fs::perm_options::add);
    ASSERT_EQ(result, 0);
    // The local work file went before the failing step; everything after it stays.
    EXPECT_EQ(Entries(root_.Path()),
              (Names{"Drone1.exe", "GO.txt", "TERMDRONES.txt", "TXT1Test64.jnk"}));
    EXPECT_EQ(Entries(target_), (Names{"1Test64.jnk"}));
}

TEST_F(FleetTest, StaleHandshakeFilesAreRemovedBeforeARun) {
    EXPECT_NO_THROW(RemoveStaleHandshakeFiles(state_));
    WriteFile(RootFile("GO.txt"), "");
    WriteFile(RootFile("TERMDRONES.txt"), "");
    WriteFile(RootFile("Drone1.exe"), "x");
    RemoveStaleHandshakeFiles(state_);
    EXPECT_EQ(Entries(root_.Path()), (Names{"Drone1.exe"}));
}

}  // namespace
}  // namespace wirepace::testing
