// SPDX-License-Identifier: MIT
// What a run leaves when it does not end as it should: nothing running, and nothing the next
// run would take for its own.
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "support/child_process.h"
#include "support/temp_dir.h"

namespace wirepace {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using testing::ChildProcess;
using testing::TempDir;

class AbnormalEnd : public ::testing::Test {
  protected:
    std::map<std::string, std::string> Env() const {
        // Without the half second before each test, which nothing here looks at.
        return {{"XDG_CACHE_HOME", home.Slash() + "cache"},
                {"XDG_DATA_HOME", home.Slash() + "data"},
                {"LC_ALL", "C"},
                {"WIREPACE_TEST_PAUSE_BEFORE_TEST_S", "0"}};
    }
    std::string WorkRoot() const { return home.Slash() + "cache/wirepace/"; }
    std::string LogPath() const { return home.Slash() + "data/wirepace/TestResults.txt"; }
    // The command line with `redirection` applied by a shell, as a user's would.
    static std::vector<std::string> Redirected(const std::string& redirection,
                                               std::vector<std::string> args) {
        args.insert(args.begin(),
                    {"/bin/sh", "-c", "exec \"$0\" \"$@\" " + redirection, WIREPACE_CLI_PATH});
        return args;
    }
    std::size_t LogLineCount() const {
        const std::string log = testing::ReadFile(LogPath());
        return static_cast<std::size_t>(std::count(log.begin(), log.end(), '\n'));
    }

    TempDir home, target;
};

TEST_F(AbnormalEnd, AKilledControllerTakesItsDronesWithItAndTheNextRunIsClean) {
    // The largest WAN sizes keep the drones busy long enough to be caught at work.
    ChildProcess first(
        {WIREPACE_CLI_PATH, "--type", "wan", "--speed", ">T1", "--dir", target.Path().string()},
        Env());
    const auto until = std::chrono::steady_clock::now() + 120s;
    while (testing::ProcessesRunningFrom(WorkRoot()).empty()) {
        ASSERT_LT(std::chrono::steady_clock::now(), until) << "no drone ever started";
        ASSERT_EQ(first.Wait(0.005), -1) << "the run ended before its drones started";
    }
    first.Signal(SIGKILL);
    EXPECT_EQ(first.Wait(10), 128 + SIGKILL);

    const auto killed = std::chrono::steady_clock::now();
    while (!testing::ProcessesRunningFrom(WorkRoot()).empty() &&
           std::chrono::steady_clock::now() - killed < 3s)
        std::this_thread::sleep_for(20ms);
    EXPECT_TRUE(testing::ProcessesRunningFrom(WorkRoot()).empty())
        << "a drone outlived its controller";

    // The next run finds the killed run's files, sweeps them and measures for itself.
    ChildProcess second(
        {WIREPACE_CLI_PATH, "--type", "wan", "--dir", target.Path().string(), "--format", "csv"},
        Env());
    ASSERT_EQ(second.Wait(120), 0) << second.Err();
    EXPECT_EQ(std::count(second.Out().begin(), second.Out().end(), '\n'), 1 + 9) << second.Out();
    for (const auto& name : testing::Entries(WorkRoot()))
        EXPECT_TRUE(name == "wirepace.lock" || name == "target") << name << " left behind";
    EXPECT_TRUE(testing::Entries(target.Path()).empty());
}

TEST_F(AbnormalEnd, ADroneWhoseControllerIsGoneEndsWithoutWaiting) {
    // Told that its controller is another process than its parent, as after the controller
    // died and the drone was handed on: it must not wait for a release that never comes.
    fs::copy_file(WIREPACE_FERRYLET_PATH, home.Slash() + "Drone1.exe");
    testing::WriteFile(home.Path() / "1Test16.jnk", "payload");
    ChildProcess drone({home.Slash() + "Drone1.exe", "-TO" + target.Slash() + "?1Test16.jnk"},
                       {{"WIREPACE_CONTROLLER_PID", std::to_string(getpid() + 1000000)}});
    EXPECT_EQ(drone.Wait(10), 0);
    EXPECT_TRUE(testing::Entries(target.Path()).empty());
    EXPECT_FALSE(fs::exists(home.Path() / "TXT1Test16.jnk"));
}

TEST_F(AbnormalEnd, ClosedStandardDescriptorsLoseOnlyWhatWasWrittenToThem) {
    // `wirepace-cli >&-`: the report has nowhere to go, which is said and ends with 1; the lock
    // file, the first file the program opens, must not get it.
    ChildProcess closedOut(
        Redirected(">&-", {"--type", "wan", "--dir", target.Path().string(), "--format", "csv"}),
        Env());
    EXPECT_EQ(closedOut.Wait(120), 1) << closedOut.Err();
    EXPECT_NE(closedOut.Err().find("cannot write the results to standard output"),
              std::string::npos)
        << closedOut.Err();
    EXPECT_EQ(fs::file_size(WorkRoot() + "wirepace.lock"), 0u)
        << testing::ReadFile(WorkRoot() + "wirepace.lock");
    EXPECT_EQ(LogLineCount(), 10u);
    for (const auto& name : testing::Entries(WorkRoot()))
        EXPECT_TRUE(name == "wirepace.lock") << name << " left behind";
    EXPECT_TRUE(testing::Entries(target.Path()).empty());

    ChildProcess help(Redirected(">&-", {"--help"}), Env());
    EXPECT_EQ(help.Wait(10), 1);
    EXPECT_NE(help.Err().find("cannot write to standard output"), std::string::npos) << help.Err();

    // Standard error and input closed: the progress is lost, the run and its report are not.
    fs::remove(WorkRoot() + "wirepace.lock");
    ChildProcess closedErr(Redirected("2>&- <&-", {"--type", "wan", "--dir", target.Path().string(),
                                                   "--format", "csv"}),
                           Env());
    EXPECT_EQ(closedErr.Wait(120), 0);
    EXPECT_EQ(std::count(closedErr.Out().begin(), closedErr.Out().end(), '\n'), 1 + 9)
        << closedErr.Out();
    EXPECT_EQ(fs::file_size(WorkRoot() + "wirepace.lock"), 0u)
        << testing::ReadFile(WorkRoot() + "wirepace.lock");
    EXPECT_EQ(LogLineCount(), 20u);
    EXPECT_TRUE(testing::Entries(target.Path()).empty());
}

TEST_F(AbnormalEnd, AResultsLogThatIsNoPlainFileEndsTheRunWithoutWaiting) {
    // A named pipe nobody reads under the log's name: opening it to write would wait for ever.
    fs::create_directories(home.Path() / "data/wirepace");
    fs::permissions(home.Path() / "data/wirepace", fs::perms::owner_all);
    ASSERT_EQ(::mkfifo(LogPath().c_str(), 0600), 0);
    ChildProcess cli({WIREPACE_CLI_PATH, "--type", "wan", "--dir", target.Path().string()}, Env());
    ASSERT_EQ(cli.Wait(60), 1) << "still waiting: " << cli.Err();
    EXPECT_NE(cli.Err().find("\"" + LogPath() + "\": it is a named pipe (FIFO), not a plain file"),
              std::string::npos)
        << cli.Err();
    for (const auto& name : testing::Entries(WorkRoot()))
        EXPECT_TRUE(name == "wirepace.lock") << name << " left behind";
    EXPECT_TRUE(testing::Entries(target.Path()).empty());
}

TEST_F(AbnormalEnd, AHangUpStopsTheRunAndAQuitCleansUpBeforeTheSystemEndsIt) {
    // Nothing of a run may stay: only the instance lock, no drone running.
    const auto expectNothingLeft = [&](const char* after) {
        for (const auto& name : testing::Entries(WorkRoot()))
            EXPECT_EQ(name, "wirepace.lock") << name << " left behind after " << after;
        EXPECT_TRUE(testing::Entries(target.Path()).empty()) << "after " << after;
        EXPECT_TRUE(testing::ProcessesRunningFrom(WorkRoot()).empty()) << "after " << after;
    };
    // A quit dumps core: not into the test's folder.
    rlimit noCore{0, 0}, previous{};
    ::getrlimit(RLIMIT_CORE, &previous);
    ::setrlimit(RLIMIT_CORE, &noCore);
    for (const int signal : {SIGHUP, SIGQUIT}) {
        // The largest WAN sizes, caught inside test 7's wait for its five drones.
        ChildProcess cli(
            {WIREPACE_CLI_PATH, "--type", "wan", "--speed", ">T1", "--dir", target.Path().string()},
            Env());
        ASSERT_TRUE(cli.WaitForError("Test 8/9 (7)", 120)) << cli.Err();
        std::this_thread::sleep_for(700ms);
        cli.Signal(signal);
        if (signal == SIGHUP) {
            // A closed terminal: the run stops as after SIGTERM and says so.
            EXPECT_EQ(cli.Wait(60), 128 + SIGHUP) << cli.Err();
            EXPECT_NE(cli.Err().find("Interrupted by user"), std::string::npos) << cli.Err();
            expectNothingLeft("SIGHUP");
        } else {
            // Ended by the signal itself, as the user asked, but not before the cleanup.
            EXPECT_EQ(cli.Wait(10), 128 + SIGQUIT) << cli.Err();
            expectNothingLeft("SIGQUIT");
        }
    }
    ::setrlimit(RLIMIT_CORE, &previous);
}

}  // namespace
}  // namespace wirepace
