// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>

#include "common/error.h"
#include "common/regional.h"
#include "platform/platform.h"
#include "support/error_number.h"
#include "support/temp_dir.h"

namespace wirepace {
namespace {

using testing::ErrorNumberOf;
using testing::TempDir;
namespace p = platform;

TEST(Files, CopyReplacesAndErrorsCarryTheirNumbers) {
    TempDir dir;
    const std::string a = dir.Slash() + "a.jnk", b = dir.Slash() + "b.jnk";
    testing::WriteFile(a, "new");
    testing::WriteFile(b, "a much longer old content");
    p::CopyFile(a, b);
    EXPECT_EQ(testing::ReadFile(b), "new");
    EXPECT_EQ(p::FileLength(b), 3);

    EXPECT_EQ(ErrorNumberOf([&] { p::CopyFile(dir.Slash() + "none", b); }), kErrFileNotFound);
    EXPECT_EQ(ErrorNumberOf([&] { p::CopyFile(a, dir.Slash() + "no/such/dir/x"); }),
              kErrPathNotFound);
    EXPECT_EQ(ErrorNumberOf([&] { p::DeleteFile(dir.Slash() + "none"); }), kErrFileNotFound);
    EXPECT_EQ(ErrorNumberOf([&] { p::DeleteFile(dir.Slash() + "no/none"); }), kErrPathNotFound);
    EXPECT_EQ(ErrorNumberOf([&] { p::FileLength(dir.Slash() + "none"); }), kErrFileNotFound);
    EXPECT_EQ(ErrorNumberOf([&] { p::CopyFile(a, "/dev/full"); }), kErrDiskFull);

    p::RenameFile(a, dir.Slash() + "c.jnk");
    EXPECT_FALSE(std::filesystem::exists(a));
    // Renaming never replaces a file silently.
    EXPECT_NE(ErrorNumberOf([&] { p::RenameFile(dir.Slash() + "c.jnk", b); }), 0);
    EXPECT_EQ(testing::ReadFile(b), "new");
    p::DeleteFile(b);
    EXPECT_EQ(testing::Entries(dir.Path()), std::vector<std::string>{"c.jnk"});
}

TEST(Files, TextLinesAndProgramImages) {
    TempDir dir;
    const std::string log = dir.Slash() + "log.txt";
    p::AppendLine(log, "one");
    p::AppendLine(log, "two");
    EXPECT_EQ(testing::ReadFile(log), "one\r\ntwo\r\n");
    EXPECT_EQ(p::ReadFirstLine(log), "one");
    p::WriteTextFile(log, " 12 \r\n");
    EXPECT_EQ(p::ReadFirstLine(log), " 12 ");
    p::CreateEmptyFile(log);
    EXPECT_EQ(p::FileLength(log), 0);

    const std::string image = dir.Slash() + "Drone1.exe";
    const unsigned char bytes[] = {1, 2, 3};
    testing::WriteFile(image, "abcdef");
    p::WriteProgramImage(image, bytes, sizeof bytes);  // written over, not truncated
    EXPECT_EQ(testing::ReadFile(image), std::string("\x01\x02\x03"
                                                    "def"));
    EXPECT_NE(std::filesystem::status(image).permissions() & std::filesystem::perms::owner_exec,
              std::filesystem::perms::none);
}

TEST(Processes, ArgumentTextTravelsAsOneArgument) {
    TempDir dir;
    const std::string target = dir.Slash() + "a folder with blanks & more";
    auto process = p::StartProgram("/usr/bin/touch", target, p::WindowStyle::NormalFocus);
    ASSERT_TRUE(process->WaitForEnd(10000));
    EXPECT_TRUE(std::filesystem::exists(target));

    EXPECT_NE(ErrorNumberOf([&] {
                  p::StartProgram(dir.Slash() + "missing.exe", "x", p::WindowStyle::Hidden);
              }),
              0);

    char a0[] = "Drone1.exe", a1[] = "  -TO/tmp/x?1Test.jnk";
    char* argv[] = {a0, a1, nullptr};
    EXPECT_EQ(p::ArgumentText(2, argv), "-TO/tmp/x?1Test.jnk");
}

TEST(Locations, WorkRootAndLogFolderFollowTheEnvironment) {
    TempDir dir;
    setenv("XDG_CACHE_HOME", (dir.Slash() + "cache").c_str(), 1);
    setenv("XDG_DATA_HOME", (dir.Slash() + "data").c_str(), 1);
    EXPECT_EQ(p::ControllerAppDrive(), dir.Slash() + "cache/wirepace/");
    EXPECT_EQ(p::LogFolder(), dir.Slash() + "data/wirepace/");
    EXPECT_TRUE(std::filesystem::is_directory(dir.Path() / "cache" / "wirepace"));

    auto first = p::AcquireSingleInstance();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(p::AcquireSingleInstance(), nullptr);
    first.reset();
    EXPECT_NE(p::AcquireSingleInstance(), nullptr);
    unsetenv("XDG_CACHE_HOME");
    unsetenv("XDG_DATA_HOME");

    const std::string folder = p::ProgramFolder();
    EXPECT_EQ(folder.back(), '/');
    EXPECT_EQ(p::DroneAppDrive(), folder);
}

TEST(Conventions, SharesSeparatorsAndRegionalSettings) {
    EXPECT_TRUE(p::IsSharePath("//server/share"));
    EXPECT_TRUE(p::IsSharePath("\\\\server\\share"));
    EXPECT_FALSE(p::IsSharePath("/mnt/share"));
    EXPECT_FALSE(p::IsSharePath("/"));
    EXPECT_TRUE(p::CanMapShares());  // with smbnetfs
    EXPECT_EQ(p::NormaliseSeparators("\\mnt\\x/y"), "/mnt/x/y");

    setenv("LC_ALL", "C", 1);
    p::LoadRegionalSettings();
    EXPECT_EQ(Regional().decimalSeparator, ".");
    EXPECT_EQ(Regional().longTimePattern, "hh:nn:ss");
    EXPECT_EQ(Regional().shortDatePattern, "yyyy/mm/dd");
    unsetenv("LC_ALL");
}

}  // namespace
}  // namespace wirepace
