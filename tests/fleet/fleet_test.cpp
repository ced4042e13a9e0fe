// SPDX-License-Identifier: MIT
// Fleet control with real drones written from the embedded image into a temporary work root.
#include <signal.h>
#include <sys/resource.h>
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
#include "core/work_files.h"
#include "support/error_number.h"
#include "support/temp_dir.h"
#include "support/unprivileged.h"

namespace wirepace::testing {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Names = std::vector<std::string>;
using testing::ErrorNumberOf;
using testing::ErrorTextOf;

constexpr double kWaitLimitMs = 20000;

class FleetTest : public ::testing::Test {
  protected:
    void SetUp() override {
        state_.AppDrive = root_.Slash();
        // Names with sizes of the size tables: the target sweep takes only those for ours.
        state_.LargeTestFile = "Test160.jnk";
        state_.SmallTestFile = "Test16.jnk";
        // A blank in the target folder must reach the drones intact.
        target_ = remote_.Path() / "tar get";
        fs::create_directory(target_);
        dir_ = target_.string() + "/";
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
        for (auto& slot : fleet_.drones) {
            auto& p = slot.process;
            if (p && !p->HasEnded()) {
                kill(p->Id(), SIGCONT);
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

    void WriteAndStart(int n, DroneDirection mode) {
        WriteDrone(state_, "Drone" + std::to_string(n) + ".exe");
        StartDrone(state_, fleet_, n, mode, dir_, Numbered(n));
    }
    bool AllEnded(int count) {
        for (int n = 1; n <= count; ++n) {
            auto& p = fleet_.drones[static_cast<std::size_t>(n - 1)].process;
            if (!p || !p->HasEnded()) return false;
        }
        return true;
    }

    std::vector<double> Collect(int count, int testIndex) {
        return CollectDroneTimes(state_, fleet_, count, testIndex, wait_);
    }
    void Terminate() {
        if (auto failure = TerminateDrones(state_, fleet_, dir_))
            messages_.push_back(failure->Text());
    }

    TempDir root_, remote_;
    DroneWait wait_;
    fs::path target_;
    RunContext state_;
    std::string dir_;
    std::vector<std::string> messages_;  // what the cleanup said went wrong
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
    EXPECT_EQ(DroneArgumentText(DroneDirection::To, "/t/", "3Test64.jnk"), "-TO/t/?3Test64.jnk");
    EXPECT_EQ(DroneArgumentText(DroneDirection::From, "/a b/", "1X"), "-FROM/a b/?1X");
    for (int n : {0, 6, -1}) {
        EXPECT_EQ(
            ErrorNumberOf([&] { StartDrone(state_, fleet_, n, DroneDirection::To, "/t/", "x"); }),
            kErrSubscriptOutOfRange)
            << n;
    }
}

TEST_F(FleetTest, FiveDronesReleasedByOneFileAllCopyAndTheirLinesAreSummed) {
    for (int n = 1; n <= 5; ++n) {
        WriteFile(RootFile(Numbered(n)), Content(n));
        WriteAndStart(n, DroneDirection::To);
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
    const std::vector<double> times = Collect(5, 7);
    ASSERT_EQ(lines.size(), 5u);
    std::vector<double> expected;
    for (const auto& line : lines) {
        ASSERT_TRUE(line.size() > 2 && line.ends_with(" \r\n")) << line;
        const auto ms = TextToNumber(line.substr(0, line.size() - 2));
        ASSERT_TRUE(ms) << line;
        expected.push_back(*ms);
    }
    // Each drone's own time, in drone order.
    EXPECT_EQ(times, expected);
    for (int n = 1; n <= 5; ++n) EXPECT_EQ(ReadFile(TargetFile(Numbered(n))), Content(n)) << n;
    // Release file and result files are gone; drones and local work files stay for the end.
    EXPECT_EQ(Entries(root_.Path()),
              (Names{"1Test160.jnk", "2Test160.jnk", "3Test160.jnk", "4Test160.jnk", "5Test160.jnk",
                     "Drone1.exe", "Drone2.exe", "Drone3.exe", "Drone4.exe", "Drone5.exe"}));

    Terminate();
    EXPECT_TRUE(messages_.empty());
    EXPECT_TRUE(Entries(root_.Path()).empty());
    EXPECT_TRUE(Entries(target_).empty());
}

TEST_F(FleetTest, TestSixAwaitsAndReadsOnlyDronesOneAndTwo) {
    WriteFile(TargetFile(Numbered(1)), Content(1));
    WriteFile(RootFile(Numbered(2)), Content(2));

    // No drones 3 to 5 exist: awaiting them would run into the time limit.
    WriteAndStart(1, DroneDirection::From);
    WriteAndStart(2, DroneDirection::To);
    EXPECT_EQ(Collect(2, 6).size(), 2u);
    EXPECT_EQ(ReadFile(RootFile(Numbered(1))), Content(1));
    EXPECT_EQ(ReadFile(TargetFile(Numbered(2))), Content(2));

    // Result files of drones 3 to 5 that are not numbers would fail the run if they were read.
    for (int n = 3; n <= 5; ++n) WriteFile(RootFile("TXT" + Numbered(n)), "not a number\r\n");
    WriteAndStart(1, DroneDirection::From);
    WriteAndStart(2, DroneDirection::To);
    EXPECT_NO_THROW(Collect(2, 6));
    for (int n = 3; n <= 5; ++n)
        EXPECT_EQ(ReadFile(RootFile("TXT" + Numbered(n))), "not a number\r\n");
    EXPECT_FALSE(fs::exists(RootFile("TXT" + Numbered(1))));
    EXPECT_FALSE(fs::exists(RootFile("TXT" + Numbered(2))));
    EXPECT_FALSE(fs::exists(RootFile("GO.txt")));
}

TEST_F(FleetTest, DroneThatEndsWithoutResultEndsTheWaitWithAnError) {
    // Drone 1 has no source to upload: it reports its copy error and ends.
    WriteFile(RootFile(Numbered(2)), Content(2));
    WriteAndStart(1, DroneDirection::To);
    WriteAndStart(2, DroneDirection::To);
    // The drone's own cause, read from the file it left (a wait that never ended would fail
    // at the pump's limit with another text).
    EXPECT_EQ(ErrorTextOf([&] { Collect(2, 6); }),
              "Drone 1: File not found reading " + RootFile(Numbered(1)).string() + " [53]");

    Terminate();
    EXPECT_TRUE(messages_.empty());
    EXPECT_TRUE(Entries(root_.Path()).empty());
    EXPECT_TRUE(Entries(target_).empty());
}

TEST_F(FleetTest, ResultLinesAreTrimmedNumbersReadThenDeleted) {
    WriteFile(RootFile("TXT" + Numbered(1)), " 1234 \r\n");
    WriteFile(RootFile("TXT" + Numbered(2)), " 0 \r\n");
    EXPECT_EQ(Collect(2, 6), (std::vector<double>{1234, 0}));
    EXPECT_TRUE(Entries(root_.Path()).empty());

    WriteFile(RootFile("TXT" + Numbered(1)), " 12 \r\n");
    WriteFile(RootFile("TXT" + Numbered(2)), "twelve\r\n");
    EXPECT_EQ(ErrorNumberOf([&] { Collect(2, 6); }), kErrTypeMismatch);
}

TEST_F(FleetTest, TerminateOnAnEmptyRootLeavesItEmpty) {
    Terminate();
    EXPECT_TRUE(messages_.empty());
    EXPECT_TRUE(Entries(root_.Path()).empty());
    EXPECT_TRUE(Entries(target_).empty());

    // Before the file names of a run are known nothing but this program's names is touched.
    state_.LargeTestFile.clear();
    state_.SmallTestFile.clear();
    dir_.clear();
    WriteFile(RootFile("1"), "not ours");
    WriteFile(RootFile("TXT1"), "not ours");
    Terminate();
    EXPECT_TRUE(messages_.empty());
    EXPECT_EQ(Entries(root_.Path()), (Names{"1", "TXT1"}));
}

TEST_F(FleetTest, TerminateRemovesEveryFileOfTheRunAndNothingElse) {
    for (int n = 1; n <= 5; ++n) {
        WriteFile(RootFile(Numbered(n)), "local");
        WriteFile(TargetFile(Numbered(n)), "remote");
        WriteDrone(state_, "Drone" + std::to_string(n) + ".exe");
        WriteFile(RootFile("TXT" + Numbered(n)), " 5 \r\n");
    }
    for (const fs::path& p : {RootFile("Test16.jnk"), TargetFile("Test16.jnk"), RootFile("GO.txt"),
                              RootFile("TERMDRONES.txt")})
        WriteFile(p, "x");
    // Work files of other sizes (a killed run's) go too, in the target those of the size tables
    // only; a file of the user's stays.
    WriteFile(RootFile("Test160.jnk"), "base");
    WriteFile(RootFile("3Test999.jnk"), "older run");
    WriteFile(TargetFile("2Test10240.jnk"), "older run");
    WriteFile(TargetFile("Test999.jnk"), "user");
    WriteFile(TargetFile("keep.txt"), "user");
    WriteFile(RootFile("notes.txt"), "user");

    Terminate();
    EXPECT_TRUE(messages_.empty());
    EXPECT_EQ(Entries(root_.Path()), (Names{"notes.txt"}));
    EXPECT_EQ(Entries(target_), (Names{"Test999.jnk", "keep.txt"}));
}

TEST_F(FleetTest, WaitingDroneEndsWithoutCopyingWhenTerminated) {
    // The drone's file is not a work-file name, so what it would copy or report stays visible.
    WriteFile(RootFile("X.jnk"), "payload");
    WriteDrone(state_, "Drone1.exe");
    StartDrone(state_, fleet_, 1, DroneDirection::To, dir_, "X.jnk");
    const int pid = fleet_.drones[0].process->Id();
    std::this_thread::sleep_for(300ms);
    ASSERT_FALSE(fleet_.drones[0].process->HasEnded());

    Terminate();
    // Ended (and reaped) within the bounded wait, so its file could be deleted.
    const bool stillRunning = kill(pid, 0) == 0;
    if (stillRunning) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
    EXPECT_FALSE(stillRunning);
    EXPECT_TRUE(messages_.empty());
    EXPECT_EQ(Entries(root_.Path()), (Names{"X.jnk"}));
    EXPECT_TRUE(Entries(target_).empty());
}

TEST_F(FleetTest, TerminateRemovesWhatItCanAndShowsTheFirstFailure) {
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
        DroneFleet fleet;
        const auto failure = TerminateDrones(state_, fleet, dir_);
        const std::string expected =
            "Cannot remove " + dir_ + "1Test160.jnk: Permission denied [70]";
        return failure && failure->Text() == expected ? 0 : 1;
    });
    fs::permissions(target_, fs::perms::owner_all, fs::perm_options::add);
    ASSERT_EQ(result, 0);
    // The work root was swept before the target refused.
    EXPECT_TRUE(Entries(root_.Path()).empty());
    EXPECT_EQ(Entries(target_), (Names{"1Test160.jnk"}));
}

TEST_F(FleetTest, StaleResultFilesAreNeverReadAsThisRunsTimes) {
    // A killed run left result files: the drones of this run must be the ones reporting.
    for (int n = 1; n <= 2; ++n) WriteFile(RootFile("TXT" + Numbered(n)), " 99999 \r\n");
    WriteFile(TargetFile(Numbered(1)), Content(1));
    WriteFile(RootFile(Numbered(2)), Content(2));
    WriteAndStart(1, DroneDirection::From);
    WriteAndStart(2, DroneDirection::To);
    for (double ms : Collect(2, 6)) EXPECT_LT(ms, 99999);
}

TEST_F(FleetTest, DroneCauseOfFailureReachesTheController) {
    // The drone may write no more than 512 KiB per file: its 1 MiB copy ends as a full disk.
    WriteFile(TargetFile(Numbered(1)), Content(1));
    WriteFile(RootFile(Numbered(2)), Content(2));
    signal(SIGXFSZ, SIG_IGN);
    WriteDrone(state_, "Drone1.exe");
    {
        // Only the drone started meanwhile inherits the limit.
        rlimit previous{};
        getrlimit(RLIMIT_FSIZE, &previous);
        rlimit small = previous;
        small.rlim_cur = 512 * 1024;
        setrlimit(RLIMIT_FSIZE, &small);
        StartDrone(state_, fleet_, 1, DroneDirection::From, dir_, Numbered(1));
        setrlimit(RLIMIT_FSIZE, &previous);
    }
    WriteAndStart(2, DroneDirection::To);
    EXPECT_EQ(ErrorTextOf([&] { Collect(2, 6); }),
              "Drone 1: Disk full writing " + RootFile(Numbered(1)).string() + " [61]");
    Terminate();
    EXPECT_TRUE(Entries(root_.Path()).empty());
    EXPECT_TRUE(Entries(target_).empty());
}

TEST_F(FleetTest, StopEndsTheWaitAndStalledDronesAreEnded) {
    WriteFile(TargetFile(Numbered(1)), Content(1));
    WriteFile(RootFile(Numbered(2)), Content(2));
    WriteAndStart(1, DroneDirection::From);
    WriteAndStart(2, DroneDirection::To);
    // A drone that neither reports nor ends: a stopped process, as on a stalled share.
    const int stalled = fleet_.drones[0].process->Id();
    kill(stalled, SIGSTOP);
    bool stop = false;
    const double started = TickMs();
    wait_.stopRequested = [&] { return stop; };
    onPump_ = [&] { stop = TickMs() - started > 500; };
    EXPECT_THROW(Collect(2, 6), RunInterrupted);

    Terminate();
    EXPECT_TRUE(fleet_.drones[0].process == nullptr);
    EXPECT_NE(kill(stalled, 0), 0) << "the stalled drone is still there";
    EXPECT_TRUE(messages_.empty());
    EXPECT_TRUE(Entries(root_.Path()).empty());
    EXPECT_TRUE(Entries(target_).empty());
}

TEST_F(FleetTest, ACopyThatMakesNoProgressEndsTheTestNamingDroneAndFile) {
    WriteFile(TargetFile(Numbered(1)), Content(1));
    WriteFile(RootFile(Numbered(2)), Content(2));
    WriteAndStart(1, DroneDirection::From);
    WriteAndStart(2, DroneDirection::To);
    kill(fleet_.drones[0].process->Id(), SIGSTOP);
    wait_.stallLimitMs = 700;
    // Drone 2 goes on and reports: a stall of one copy is not taken for the others'.
    EXPECT_EQ(ErrorTextOf([&] { Collect(2, 6); }),
              "Drone 1 made no progress for 0.7 s copying to " + RootFile(Numbered(1)).string() +
                  ": the target stopped answering [75]");
    Terminate();
    EXPECT_TRUE(Entries(root_.Path()).empty());
}

TEST_F(FleetTest, SweepsRemoveOnlyThisProgramsNamesAndNeverFollowLinks) {
    TempDir outside;
    const fs::path victim = outside.Path() / "victim";
    WriteFile(victim, "precious");
    for (const char* name : {"GO.txt", "TERMDRONES.txt", "Drone1.exe", "Test16.jnk", "2Test160.jnk",
                             "TXT1Test160.jnk", "ERR4Test160.jnk"})
        WriteFile(RootFile(name), "x");
    fs::create_symlink(victim, RootFile("1Test160.jnk"));
    WriteFile(RootFile("mine.txt"), "user");
    SweepWorkRoot(root_.Slash());
    // The link itself went; what it points to did not change.
    EXPECT_EQ(Entries(root_.Path()), (Names{"mine.txt"}));
    EXPECT_EQ(ReadFile(victim), "precious");

    // In the target, the user's folder, only the sizes of the size tables are this program's:
    // a user's Test2024.jnk is not.
    for (const char* name : {"Test16.jnk", "3Test3500.jnk", "Test102400.jnk", "5Test10240.jnk"})
        WriteFile(TargetFile(name), "x");
    for (const char* name : {"Test2024.jnk", "1Test2024.jnk", "Test64.jnk", "notes.txt"})
        WriteFile(TargetFile(name), "user");
    SweepTarget(dir_);
    EXPECT_EQ(Entries(target_),
              (Names{"1Test2024.jnk", "Test2024.jnk", "Test64.jnk", "notes.txt"}));
    for (const auto& name : Entries(target_)) fs::remove(TargetFile(name));

    // In the target a link under a work-file name is refused, not removed or followed.
    WriteFile(TargetFile("Test16.jnk"), "x");
    fs::create_symlink(victim, TargetFile("3Test160.jnk"));
    const std::string refusal = ErrorTextOf([&] { SweepTarget(dir_); });
    EXPECT_NE(refusal.find("3Test160.jnk is a symbolic link"), std::string::npos) << refusal;
    EXPECT_EQ(ReadFile(victim), "precious");
    EXPECT_TRUE(fs::is_symlink(TargetFile("3Test160.jnk")));
}

}  // namespace
}  // namespace wirepace::testing
