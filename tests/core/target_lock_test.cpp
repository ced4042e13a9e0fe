// SPDX-License-Identifier: MIT
// The claim of a run on its target folder, against lock files others left there.
#include "core/target_lock.h"

#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "common/error.h"
#include "platform/platform.h"

#include "support/error_number.h"
#include "support/temp_dir.h"

namespace wirepace {
namespace {

using namespace std::string_literals;
using testing::TempDir;

TEST(TargetLock, ForeignTextInAHeldLockReachesTheMessageDefused) {
    // A lock of another machine, fresh, whose holder is a terminal's escape sequences and a NUL.
    TempDir target;
    testing::WriteFile(target.Path() / kTargetLockFile,
                       "\x1B]0;owned\x07\x1B[2Jfar\0away\x9B 4711\r\n"s);
    const std::string text = testing::ErrorTextOf([&] { TargetLock::Take(target.Slash()); });
    EXPECT_NE(text.find("Another run is testing this folder"), std::string::npos) << text;
    EXPECT_NE(text.find("held by \\x1B]0;owned\\x07\\x1B[2Jfar\\x00away\\x9B (process 4711)"),
              std::string::npos)
        << text;
    for (const char c : text)
        EXPECT_TRUE(static_cast<unsigned char>(c) >= 0x20 && c != 0x7F)
            << "control byte " << static_cast<int>(static_cast<unsigned char>(c)) << " in " << text;
    // Refused, not taken over.
    EXPECT_EQ(testing::ReadFile(target.Path() / kTargetLockFile).substr(0, 4), "\x1B]0;");
}

// A process id that is surely not running: a child that has ended and been reaped.
int DeadProcessId() {
    const pid_t child = ::fork();
    if (child == 0) ::_exit(0);
    ::waitpid(child, nullptr, 0);
    return static_cast<int>(child);
}

TEST(TargetLock, OfTwoRunsThatFindTheSameStaleLockOnlyOneTakesIt) {
    TempDir target;
    const std::string stale = platform::HostName() + " " + std::to_string(DeadProcessId()) + "\r\n";
    for (int round = 0; round < 20; ++round) {
        testing::WriteFile(target.Path() / kTargetLockFile, stale);
        // Both judge the lock stale before either takes it over: the widest the race can be.
        std::mutex mutex;
        std::condition_variable bothDecided;
        int decided = 0;
        SetStaleLockHookForTests([&] {
            std::unique_lock<std::mutex> lock(mutex);
            ++decided;
            bothDecided.notify_all();
            bothDecided.wait_for(lock, std::chrono::seconds(5), [&] { return decided >= 2; });
        });
        std::unique_ptr<TargetLock> taken[2];
        std::string refused[2];
        {
            std::vector<std::jthread> takers;
            for (int i = 0; i < 2; ++i)
                takers.emplace_back([&, i] {
                    try {
                        taken[i] = TargetLock::Take(target.Slash());
                    } catch (const RuntimeError& e) {
                        refused[i] = e.Text();
                    }
                });
        }
        SetStaleLockHookForTests(nullptr);
        EXPECT_EQ(decided, 2) << "round " << round;
        ASSERT_EQ((taken[0] ? 1 : 0) + (taken[1] ? 1 : 0), 1)
            << "round " << round << ": " << refused[0] << " / " << refused[1];
        const int loser = taken[0] ? 1 : 0;
        EXPECT_NE(refused[loser].find("Another run is testing this folder"), std::string::npos)
            << refused[loser];
        // The winner's lock is in place, the stale one gone, nothing else left.
        EXPECT_EQ(testing::Entries(target.Path()), std::vector<std::string>{kTargetLockFile});
        EXPECT_NE(testing::ReadFile(target.Path() / kTargetLockFile), stale);
        taken[0].reset();
        taken[1].reset();
        EXPECT_TRUE(testing::Entries(target.Path()).empty());
    }

    // The stale lock was taken over by another run, which made its own, before this one could
    // move it: the lock moved aside is not the one judged, so it goes back and holds.
    testing::WriteFile(target.Path() / kTargetLockFile, stale);
    const std::string live =
        platform::HostName() + " " + std::to_string(platform::CurrentProcessId()) + "\r\n";
    SetStaleLockHookForTests([&] {
        std::filesystem::remove(target.Path() / kTargetLockFile);
        testing::WriteFile(target.Path() / kTargetLockFile, live);
    });
    const std::string text = testing::ErrorTextOf([&] { TargetLock::Take(target.Slash()); });
    SetStaleLockHookForTests(nullptr);
    EXPECT_NE(text.find("Another run is testing this folder"), std::string::npos) << text;
    EXPECT_EQ(testing::Entries(target.Path()), std::vector<std::string>{kTargetLockFile});
    EXPECT_EQ(testing::ReadFile(target.Path() / kTargetLockFile), live);
}

}  // namespace
}  // namespace wirepace
