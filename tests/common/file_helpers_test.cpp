// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <filesystem>

#include "common/file_exists.h"
#include "common/pause.h"
#include "support/temp_dir.h"
#include "support/unprivileged.h"

namespace wirepace {
namespace {

using testing::TempDir;

TEST(FileExists, MissingEmptyDirectoryAndUnreadablePlaces) {
    TempDir dir;
    EXPECT_FALSE(FileExists(dir.Slash() + "missing.jnk"));
    EXPECT_FALSE(FileExists(""));
    EXPECT_FALSE(FileExists(dir.Slash()));  // a folder has no length of its own
    testing::WriteFile(dir.Path() / "empty.txt", "");
    EXPECT_TRUE(FileExists(dir.Slash() + "empty.txt"));
    testing::WriteFile(dir.Path() / "data.txt", "abc");
    EXPECT_TRUE(FileExists(dir.Slash() + "data.txt"));

    // A file behind a folder the user may not enter cannot be read, so it does not exist.
    std::filesystem::create_directory(dir.Path() / "closed");
    testing::WriteFile(dir.Path() / "closed" / "inside.txt", "x");
    std::filesystem::permissions(dir.Path() / "closed", std::filesystem::perms::owner_all);
    std::filesystem::permissions(dir.Path(), std::filesystem::perms::all);
    const std::string inside = dir.Slash() + "closed/inside.txt";
    const int seen = testing::RunUnprivileged([&] { return FileExists(inside) ? 1 : 0; });
    EXPECT_EQ(seen, 0);
}

TEST(Pause, WaitsAtLeastTheTimeAndPumpsEvents) {
    int pumps = 0;
    const PumpHook previous = SetPumpHook([&] { ++pumps; });
    const double start = TickMs();
    Pause(0.05);
    const double elapsed = TickMs() - start;
    SetPumpHook(previous);
    EXPECT_GE(elapsed, 50.0);
    EXPECT_GT(pumps, 1);
}

TEST(Pause, ZeroSecondsStillLetsEventsThroughOnce) {
    int pumps = 0;
    const PumpHook previous = SetPumpHook([&] { ++pumps; });
    Pause(0);
    SetPumpHook(previous);
    EXPECT_EQ(pumps, 1);
}

TEST(Pause, GivesTheProcessorAwayBetweenLooks) {
    // Each look at the clock is followed by a yield of about a millisecond, so a wait looks
    // about once per millisecond it lasts; a spinning wait looks millions of times.
    int pumps = 0;
    const PumpHook previous = SetPumpHook([&] { ++pumps; });
    const double start = TickMs();
    Pause(0.2);
    const double elapsed = TickMs() - start;
    SetPumpHook(previous);
    EXPECT_LE(pumps, 2 * elapsed + 2) << pumps << " looks in " << elapsed << " ms";
}

}  // namespace
}  // namespace wirepace
