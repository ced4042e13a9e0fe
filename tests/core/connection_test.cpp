// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <string>

#include "common/error.h"
#include "core/connection_settings.h"
#include "core/free_space.h"
#include "core/run_settings.h"
#include "core/share_connection.h"
#include "support/error_number.h"

namespace wirepace {
namespace {

using namespace std::string_literals;

TEST(ConnectionType, TablesFollowTheTypeText) {
    auto sizes = [](const std::string& type) {
        std::vector<std::pair<int, int>> kb;
        for (const SpeedRow& row : SpeedRowsFor(type)) kb.emplace_back(row.smallKB, row.largeKB);
        return kb;
    };
    EXPECT_EQ(SpeedEntriesFor(kLanType),
              (std::vector<std::string>{"10mb", "100mb", "1gb", "10gb"}));
    // Each entry ten times the one before: 100 MB / 1 GB and 1 GB / 10 GB after "100mb".
    EXPECT_EQ(sizes(kLanType),
              (std::vector<std::pair<int, int>>{
                  {1024, 10240}, {10240, 102400}, {102400, 1048576}, {1048576, 10485760}}));

    const std::vector<std::string> wan = {"<256", "256-512", "512-768", "768-T1", "T1", ">T1"};
    EXPECT_EQ(SpeedEntriesFor(kWanType), wan);
    EXPECT_EQ(sizes(kWanType),
              (std::vector<std::pair<int, int>>{
                  {16, 160}, {28, 280}, {50, 500}, {80, 800}, {160, 1600}, {350, 3500}}));
    // Anything but the exact LAN text is WAN.
    EXPECT_EQ(SpeedEntriesFor("local area network (lan)"), wan);
    EXPECT_EQ(SpeedEntriesFor(""), wan);

    // Settings take the sizes of their entry; an entry of the other type is none.
    const auto settings = SettingsFor(kLanType, "100mb");
    ASSERT_TRUE(settings);
    EXPECT_EQ(settings->smallKB, 10240);
    EXPECT_EQ(settings->largeKB, 102400);
    EXPECT_FALSE(SettingsFor(kWanType, "100mb"));
}

TEST(FreeSpace, WhatTheLargestEntriesNeedAndHowItReads) {
    // Test 7 holds five copies of the large file in the target, and five beside the five
    // drones in the work root.
    const SpaceNeeded gigabit = SpaceNeededFor(*SettingsFor(kLanType, "1gb"), 300000);
    EXPECT_EQ(gigabit.targetBytes, 5LL << 30);
    EXPECT_EQ(gigabit.workRootBytes, (5LL << 30) + 5 * 300000);
    const SpaceNeeded tenGigabit = SpaceNeededFor(*SettingsFor(kLanType, "10gb"), 0);
    EXPECT_EQ(tenGigabit.targetBytes, 50LL << 30);
    EXPECT_EQ(MegabytesText(tenGigabit.targetBytes, true), "51200.0 MB");

    // Needs round up, free space rounds down: a refusal never reads as if there were room.
    EXPECT_EQ(MegabytesText((1 << 20) + 1, true), "1.1 MB");
    EXPECT_EQ(MegabytesText((2 << 20) - 1, false), "1.9 MB");
    EXPECT_EQ(MegabytesText(0, true), "0.0 MB");

    // A folder whose space cannot be read is said, not refused; a full one raises 61.
    const DiskSpaceReader reader =
        [](const std::string& dir) -> std::optional<platform::DiskSpace> {
        if (dir == "/unknown/") return std::nullopt;
        return platform::DiskSpace{100, dir};
    };
    EXPECT_EQ(CheckFreeSpace({{"/unknown/", "//srv/share/", 1 << 30}, {"/a/", "/a/", 100}}, reader),
              std::vector<std::string>{
                  "The free space in //srv/share/ cannot be read: not checked before the run."});
    EXPECT_EQ(testing::ErrorNumberOf([&] {
                  CheckFreeSpace({{"/a/", "/a/", 101}}, reader);
              }),
              kErrDiskFull);
}

TEST(FreeDriveLetter, FirstLetterNotInUse) {
    EXPECT_EQ(FreeDriveLetterIn("A:\\\0C:\\\0D:\\\0"s), "B:");
    EXPECT_EQ(FreeDriveLetterIn("C:\\\0D:\\\0"s), "A:");
    EXPECT_EQ(FreeDriveLetterIn("a:\\\0b:\\\0c:\\\0"s), "D:");  // compared upper-cased
    EXPECT_EQ(FreeDriveLetterIn(""s), "A:");
    std::string all;
    for (char c = 'A'; c <= 'Z'; ++c) all += std::string(1, c) + ":\\" + '\0';
    EXPECT_EQ(FreeDriveLetterIn(all), "");
    EXPECT_EQ(FreeDriveLetterIn(std::nullopt), "");
}

TEST(SharePath, ServerAndShareWithEitherSeparator) {
    auto parsed = [](const std::string& dir) {
        const auto t = ParseSharePath(dir);
        return t.server + "|" + t.share;
    };
    EXPECT_EQ(parsed("//srv/bench"), "srv|bench");
    EXPECT_EQ(parsed("\\\\10.0.0.2\\bench\\sub dir\\"), "10.0.0.2|bench");
    EXPECT_EQ(parsed("//srv/bench share/a/b/"), "srv|bench share");
    EXPECT_EQ(parsed("//srv\\C$/x"), "srv|C$");
    // Not a server and a share, or a way out of the share: refused as a bad path.
    for (const std::string bad : {"//srv", "//srv/", "///bench", "//srv//bench", "/srv/bench",
                                  "//srv/bench/../../etc", "//srv/./bench", "//srv/bench/.."}) {
        try {
            ParseSharePath(bad);
            ADD_FAILURE() << bad << " was accepted";
        } catch (const RuntimeError& e) {
            EXPECT_EQ(e.Number(), kErrPathNotFound) << bad;
            EXPECT_NE(e.Description().find(bad), std::string::npos) << e.Description();
        }
    }
}

TEST(SharePath, FilesOfAnUnmappedShareGoNowhereLocal) {
    RunContext state;
    EXPECT_EQ(FilesDir(state, "/data/target/"), "/data/target/");
    // Without a mapping a share path is never turned into a look-alike local folder.
    EXPECT_EQ(FilesDir(state, "//srv/bench/"),
              platform::SharesMapToDriveLetters() ? "//srv/bench/" : "");
    EXPECT_FALSE(ShareConnected(state));
    DisconnectShare(state);  // nothing mapped: nothing to do
}

}  // namespace
}  // namespace wirepace
