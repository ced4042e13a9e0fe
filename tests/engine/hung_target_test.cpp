// SPDX-License-Identifier: MIT
// Whole runs against a target that stops answering or answers slowly: a FUSE file system
// that holds every request on demand, or passes reads and writes at a set rate, stands in for
// a file server that is stopped or far away, where Samba cannot be.
#include <fcntl.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <iostream>
#include <string>
#include <thread>

#include "common/error.h"
#include "core/connection_settings.h"
#include "core/run_engine.h"
#include "core/target_calls.h"
#include "core/target_lock.h"
#include "platform/platform.h"
#include "platform/share_mount_detail.h"
#include "support/child_process.h"
#include "support/recording_observer.h"
#include "support/temp_dir.h"

namespace wirepace {
namespace {

namespace fs = std::filesystem;
using testing::ChildProcess;
using testing::RecordingObserver;
using testing::TempDir;

// Lets the test act when a test of the run starts, and when the connection test starts (-1).
class Observer : public RecordingObserver {
  public:
    std::function<void(int)> onTestStarted;
    void Status(const std::string& line1, const std::string& line2, bool isTest) override {
        RecordingObserver::Status(line1, line2, isTest);
        if (onTestStarted && line1 == "Testing Connection...") onTestStarted(-1);
    }
    void TestStarted(int index, const std::string& id, const std::string& name,
                     double bytes) override {
        RecordingObserver::TestStarted(index, id, name, bytes);
        if (onTestStarted) onTestStarted(index);
    }
};

bool Mounted(const fs::path& dir) {
    std::ifstream table("/proc/self/mountinfo");
    for (std::string line; std::getline(table, line);)
        if (line.find(" " + dir.string() + " ") != std::string::npos) return true;
    return false;
}

// Waits for `done` a generous while: long enough for any run to end, so a false result means
// something hangs.
bool Eventually(const std::function<bool()>& done, int seconds = 60) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (!done()) {
        if (std::chrono::steady_clock::now() > until) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

bool Contains(const std::vector<std::string>& lines, const std::string& text) {
    for (const auto& line : lines)
        if (line.find(text) != std::string::npos) return true;
    return false;
}

class HungTarget : public ::testing::Test {
  protected:
    void SetUp() override {
        if (std::string(WIREPACE_STALLING_FS).empty())
            GTEST_SKIP() << "the test file system was not built (libfuse3-dev missing)";
        if (::geteuid() != 0) GTEST_SKIP() << "mounting the test file system needs root";
        const int fuse = ::open("/dev/fuse", O_RDWR | O_CLOEXEC);
        if (fuse < 0) GTEST_SKIP() << "/dev/fuse cannot be opened: no FUSE here";
        ::close(fuse);
        settings_ = *SettingsFor(kLanType, "10mb");
        settings_.testName = "Hung";
        settings_.target = mount_.Path().string();
        settings_.stallTimeoutSeconds = 3;
        environment_.workRoot = root_.Slash();
        environment_.logPath = logs_.Slash() + "TestResults.txt";
        environment_.pauseBeforeTestSeconds = 0;
    }
    void TearDown() override {
        Release();
        if (server_) {
            if (Mounted(mounted_)) ::umount2(mounted_.c_str(), MNT_DETACH);
            server_->Wait(10);
        }
    }

    // Mounts the test file system on `mount`, started as `program`.
    void Mount(const std::string& program, const fs::path& mount) {
        server_ = std::make_unique<ChildProcess>(
            std::vector<std::string>{program, mount.string(), folder_.Path().string(),
                                     control_.Path().string()},
            std::map<std::string, std::string>{});
        ASSERT_TRUE(Eventually([&] { return Mounted(mount); }, 10))
            << "the test file system did not mount: " << server_->Err();
        mounted_ = mount;
    }

    void Hold() { testing::WriteFile(control_.Path() / "hold", ""); }
    void SlowTo(int bytesPerSecond) {
        testing::WriteFile(control_.Path() / "rate", std::to_string(bytesPerSecond));
    }
    void HoldOnFirstWrite() { testing::WriteFile(control_.Path() / "hold-on-write", ""); }
    bool Held() const { return fs::exists(control_.Path() / "hold"); }
    void Release() {
        std::error_code ec;
        fs::remove(control_.Path() / "hold-on-write", ec);
        fs::remove(control_.Path() / "hold", ec);
    }

    // Runs the engine on a thread of its own, as a front end does, so that a run that hangs
    // fails the test instead of holding it.
    RunResult Run(std::function<void(int)> onTestStarted) {
        observer_ = Observer{};
        observer_.onTestStarted = std::move(onTestStarted);
        const auto started = std::chrono::steady_clock::now();
        auto run = std::async(std::launch::async, [&] {
            return RunBenchmark(settings_, environment_, observer_, stop_);
        });
        if (run.wait_for(std::chrono::seconds(60)) != std::future_status::ready) {
            ADD_FAILURE() << "the run did not end with its target held";
            Release();  // lets the run's thread go
        }
        RunResult result = run.get();
        // For the reader of the log: how long the run took to give up (not a goal of its own).
        std::cout
            << "run ended after "
            << std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count()
            << " s: " << result.errorDescription << "\n";
        for (const auto& line : result.errorLines) std::cout << "  " << line << "\n";
        return result;
    }

    // After the release, every call the run gave up on comes back and every drone ends.
    void ExpectLeftoversGoAfterRelease() {
        Release();
        EXPECT_TRUE(Eventually([] { return OutstandingTargetCalls() == 0; }))
            << "a call on the target never came back";
        EXPECT_TRUE(Eventually([&] {
            return testing::ProcessesRunningFrom(root_.Slash()).empty();
        })) << "a drone stayed";
    }

    TempDir folder_, mount_, control_, root_, logs_;
    std::unique_ptr<ChildProcess> server_;
    fs::path mounted_;
    RunSettings settings_;
    RunEnvironment environment_;
    Observer observer_;
    StopToken stop_;
};

TEST_F(HungTarget, ARunEndsSayingTheTargetStoppedAnsweringAndTheNextRunCleansUp) {
    ASSERT_NO_FATAL_FAILURE(Mount(WIREPACE_STALLING_FS, mount_.Path()));
    // The target stops answering in the connection test, a copy of the controller's own that
    // is not timed.
    const RunResult connecting = Run([&](int index) {
        if (index == -1) HoldOnFirstWrite();
    });
    EXPECT_TRUE(Held());
    EXPECT_EQ(connecting.outcome, RunOutcome::Error);
    EXPECT_EQ(connecting.errorDescription.rfind("The target stopped answering: copying to ", 0), 0u)
        << connecting.errorDescription;
    EXPECT_TRUE(connecting.tests.empty());
    ExpectLeftoversGoAfterRelease();

    // The target stops answering between two tests: the controller's own call on it (the
    // lock's refresh) is what hangs.
    const RunResult beforeATest = Run([&](int index) {
        if (index == 4) Hold();
    });
    EXPECT_EQ(beforeATest.outcome, RunOutcome::Error);
    EXPECT_EQ(beforeATest.errorNumber, kErrPathFileAccess);
    EXPECT_EQ(beforeATest.errorDescription.rfind("The target stopped answering: ", 0), 0u)
        << beforeATest.errorDescription;
    EXPECT_EQ(beforeATest.tests.size(), 4u);
    ExpectLeftoversGoAfterRelease();

    // The target stops answering in the middle of the drones' copies: the drones report no
    // progress, the wait for them ends, and the drones, which no signal can end while their
    // request is held, are named.
    const RunResult midCopy = Run([&](int index) {
        if (index == 7) HoldOnFirstWrite();
    });
    EXPECT_TRUE(Held()) << "the drones' copies were not caught";
    EXPECT_EQ(midCopy.outcome, RunOutcome::Error);
    EXPECT_NE(midCopy.errorDescription.find("made no progress for 3 s"), std::string::npos)
        << midCopy.errorDescription;
    EXPECT_NE(midCopy.errorDescription.find("the target stopped answering"), std::string::npos);
    EXPECT_TRUE(
        Contains(midCopy.errorLines, "could not be ended: stuck in a request to the target"))
        << ::testing::PrintToString(midCopy.errorLines);
    EXPECT_TRUE(Contains(midCopy.errorLines, "The target stopped answering: removing this run's"))
        << ::testing::PrintToString(midCopy.errorLines);
    // Work files stayed in the target, and the lock until the target answered again.
    EXPECT_FALSE(testing::Entries(folder_.Path()).empty());
    ExpectLeftoversGoAfterRelease();

    // The next run finds the target answering again: it removes what was left and runs.
    const RunResult next = Run({});
    EXPECT_EQ(next.outcome, RunOutcome::Finished) << next.errorDescription;
    EXPECT_EQ(next.tests.size(), 9u);
    EXPECT_TRUE(testing::Entries(folder_.Path()).empty());
    EXPECT_TRUE(testing::Entries(root_.Path()).empty());
}

TEST_F(HungTarget, AStopOnASlowLinkEndsTheRunWithinASecondWithNothingLeft) {
    ASSERT_NO_FATAL_FAILURE(Mount(WIREPACE_STALLING_FS, mount_.Path()));
    // 384 KiB/s from the connection test on: two whole chunks in flight would take 5 s to
    // drain there, and test 2 moves 2 MiB.
    settings_.smallKB = 2048;
    using Clock = std::chrono::steady_clock;
    Clock::time_point stopped;
    std::thread stopper;
    const RunResult result = Run([&](int index) {
        if (index == -1) SlowTo(384 << 10);
        // Stopped in the middle of test 2's copy.
        if (index == 2)
            stopper = std::thread([&] {
                std::this_thread::sleep_for(std::chrono::milliseconds(1500));
                stopped = Clock::now();
                stop_.Request();
            });
    });
    const double seconds = std::chrono::duration<double>(Clock::now() - stopped).count();
    if (stopper.joinable()) stopper.join();
    std::cout << "the run ended " << seconds << " s after the stop\n";
    EXPECT_EQ(result.outcome, RunOutcome::Interrupted) << result.errorDescription;
    EXPECT_EQ(result.tests.size(), 2u);
    // A second and what removing the work files costs; whole chunks would take seconds more.
    EXPECT_LT(seconds, 2.0) << "from the stop to the end of the run";
    EXPECT_TRUE(testing::Entries(folder_.Path()).empty());
    EXPECT_TRUE(testing::Entries(root_.Path()).empty());
}

TEST_F(HungTarget, CtrlCStopsTheCommandLinesCopyOnASlowLinkWithinASecond) {
    ASSERT_NO_FATAL_FAILURE(Mount(WIREPACE_STALLING_FS, mount_.Path()));
    SlowTo(256 << 10);  // test 2's 1 MiB takes 4 s
    TempDir home;
    ChildProcess cli(
        {WIREPACE_CLI_PATH, "--name", "Slow", "--speed", "10mb", "--dir", mount_.Path().string()},
        {{"XDG_CACHE_HOME", home.Slash() + "cache"},
         {"XDG_DATA_HOME", home.Slash() + "data"},
         {"LC_ALL", "C"},
         {"WIREPACE_TEST_PAUSE_BEFORE_TEST_S", "0"}});
    ASSERT_TRUE(cli.WaitForError("Test 3/9 (2)", 60)) << cli.Err();
    std::this_thread::sleep_for(std::chrono::seconds(1));
    const auto stopped = std::chrono::steady_clock::now();
    cli.Signal(SIGINT);
    EXPECT_EQ(cli.Wait(60), 128 + SIGINT) << cli.Err();
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - stopped).count();
    std::cout << "wirepace-cli ended " << seconds << " s after Ctrl-C\n";
    // Not at the end of the copy, 3 s later: nothing pumps while a copy runs.
    EXPECT_LT(seconds, 2.0);
    EXPECT_NE(cli.Err().find("Interrupted by user"), std::string::npos) << cli.Err();
    EXPECT_EQ(cli.Err().find("Test 4/9"), std::string::npos) << cli.Err();
    EXPECT_TRUE(testing::Entries(folder_.Path()).empty());
}

TEST_F(HungTarget, PiecesShrinkOnASlowLinkButNotWhereTheRoundTripLimitsTheCopy) {
    ASSERT_NO_FATAL_FAILURE(Mount(WIREPACE_STALLING_FS, mount_.Path()));
    const std::string from = root_.Slash() + "Test1536.jnk";
    testing::WriteFile(from, std::string(1536 << 10, 'x'));
    SlowTo(768 << 10);
    // Whole pieces would take 1.3 s to drain at this rate: they shrink.
    platform::CopyPace pace;
    platform::CopyUncached(from, mount_.Slash() + "1Test1536.jnk", {}, &pace);
    EXPECT_GT(pace.piece, 0u);
    EXPECT_LT(pace.piece, std::size_t{1} << 20);
    // With a round trip of 0.4 s, opening the files alone takes longer than the drain time:
    // what is in flight takes a round trip to drain whatever its size, and fewer bytes in
    // flight would only slow the copy.
    testing::WriteFile(control_.Path() / "round-trip", "400");
    pace = {};
    platform::CopyUncached(from, mount_.Slash() + "2Test1536.jnk", {}, &pace);
    EXPECT_EQ(pace.piece, std::size_t{1} << 20);
}

TEST_F(HungTarget, PiecesShrinkOverAClientThatTakesOneRequestAtATimeWhateverTheRoundTrip) {
    // Started as smbnetfs, the file system is mounted as one: a client whose round trips come
    // one after another, so what is in flight drains no faster for a long round trip.
    TempDir bin;
    fs::create_symlink(WIREPACE_STALLING_FS, bin.Path() / "smbnetfs");
    ASSERT_NO_FATAL_FAILURE(Mount((bin.Path() / "smbnetfs").string(), mount_.Path()));
    const std::string from = root_.Slash() + "Test1536.jnk";
    testing::WriteFile(from, std::string(1536 << 10, 'x'));
    SlowTo(768 << 10);
    testing::WriteFile(control_.Path() / "round-trip", "400");
    platform::CopyPace pace;
    platform::CopyUncached(from, mount_.Slash() + "1Test1536.jnk", {}, &pace);
    EXPECT_GT(pace.piece, 0u);
    EXPECT_LT(pace.piece, std::size_t{1} << 20);
}

TEST_F(HungTarget, AShareMountLeftOnAServerThatStoppedAnsweringGoesWithTheNextRun) {
    // What a run killed on a stopped server leaves: its mount (the test file system, started
    // as smbnetfs), held, with the credentials beside it and a drone asleep in a request.
    const auto layout = platform::smbnetfs::LayoutFor(root_.Slash());
    for (const auto& dir : {layout.folder, layout.home, layout.configDir, layout.mount})
        fs::create_directory(dir);
    testing::WriteFile(layout.config, "auth \"srv/bench\" \"jo\" \"secret\"\n");
    TempDir bin;
    fs::create_symlink(WIREPACE_STALLING_FS, bin.Path() / "smbnetfs");
    const fs::path mount = fs::path(layout.mount).parent_path();
    ASSERT_NO_FATAL_FAILURE(Mount((bin.Path() / "smbnetfs").string(), mount));
    Hold();
    const pid_t asleep = fork();
    if (asleep == 0) {
        struct stat st {};
        _exit(::stat((mount / "1Test160.jnk").c_str(), &st) == 0 ? 0 : 1);
    }
    ASSERT_GT(asleep, 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ASSERT_EQ(waitpid(asleep, nullptr, WNOHANG), 0) << "the request was not held";

    // The next run's start removes it: the credentials, the mount and its daemon, and with the
    // daemon the request the drone slept in.
    auto cleanup =
        std::async(std::launch::async, [&] { platform::RemoveStaleShareMapping(root_.Slash()); });
    ASSERT_EQ(cleanup.wait_for(std::chrono::seconds(60)), std::future_status::ready)
        << "the cleanup hung on the held mount";
    EXPECT_NO_THROW(cleanup.get());
    EXPECT_FALSE(fs::exists(layout.config));
    EXPECT_FALSE(Mounted(mount));
    EXPECT_FALSE(fs::exists(layout.folder));
    EXPECT_NE(server_->Wait(10), -1) << "the daemon of the left mount is still there";
    EXPECT_TRUE(Eventually([&] { return waitpid(asleep, nullptr, WNOHANG) == asleep; }))
        << "the process asleep on the left mount is still there";
}

}  // namespace
}  // namespace wirepace
