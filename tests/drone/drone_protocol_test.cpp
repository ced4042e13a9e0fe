// SPDX-License-Identifier: MIT
#include "common/drone_protocol.h"

#include <gtest/gtest.h>

namespace wirepace {
namespace {

TEST(DroneArguments, ModeKeywordIsExactAndCaseSensitive) {
    EXPECT_EQ(ParseDroneArguments("-TO/t/?1A.jnk")->direction, DroneDirection::To);
    EXPECT_EQ(ParseDroneArguments("-FROM/t/?1A.jnk")->direction, DroneDirection::From);
    for (const char* text :
         {"-to/t/?1A.jnk", "-From/t/?1A.jnk", "-T", "-FRO", "TO/t/?1", " -TO/t/?1", "", "?"}) {
        EXPECT_FALSE(ParseDroneArguments(text).has_value()) << text;
    }
    // "-TO" is tested first and is all that counts: whatever follows belongs to the directory.
    const auto upload = ParseDroneArguments("-TO-FROM?x");
    ASSERT_TRUE(upload);
    EXPECT_EQ(upload->direction, DroneDirection::To);
    EXPECT_EQ(upload->dir, "-FROM");
    const auto download = ParseDroneArguments("-FROMTO?x");
    ASSERT_TRUE(download);
    EXPECT_EQ(download->direction, DroneDirection::From);
    EXPECT_EQ(download->dir, "TO");
}

TEST(DroneArguments, FieldsAreCutAtQuestionMarks) {
    auto r = ParseDroneArguments("-TO/mnt/tar get/?3Test1600.jnk");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->dir, "/mnt/tar get/");
    EXPECT_EQ(r->file, "3Test1600.jnk");

    r = ParseDroneArguments("-FROM/d/?1A.jnk?2B.jnk?junk");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->dir, "/d/");
    EXPECT_EQ(r->file, "1A.jnk");  // everything from the second "?" on is ignored

    r = ParseDroneArguments("-TO/d/");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->dir, "/d/");
    EXPECT_FALSE(r->file.has_value());

    // Empty fields are kept as empty texts.
    r = ParseDroneArguments("-TO??x");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->dir, "");
    EXPECT_EQ(r->file, "");
    r = ParseDroneArguments("-FROM");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->dir, "");
    EXPECT_FALSE(r->file.has_value());
}

TEST(DroneArguments, CopyDirectionAndFileNames) {
    auto p = CopyPathsFor("/w/", DroneDirection::To, "/t/", "2A.jnk");
    EXPECT_EQ(p.source, "/w/2A.jnk");
    EXPECT_EQ(p.target, "/t/2A.jnk");
    p = CopyPathsFor("/w/", DroneDirection::From, "/t/", "2A.jnk");
    EXPECT_EQ(p.source, "/t/2A.jnk");
    EXPECT_EQ(p.target, "/w/2A.jnk");
    // A directory without its separator is still a plain prefix.
    p = CopyPathsFor("/w/", DroneDirection::To, "/t/pre", "2A.jnk");
    EXPECT_EQ(p.target, "/t/pre2A.jnk");

    EXPECT_EQ(ResultFileName("3Test1600.jnk"), "TXT3Test1600.jnk");
    EXPECT_EQ(ErrorFileName("3Test1600.jnk"), "ERR3Test1600.jnk");
    EXPECT_EQ(DroneFileName(4), "Drone4.exe");
    EXPECT_EQ(WorkFileName(3, "Test1600.jnk"), "3Test1600.jnk");
    // What the controller builds is what the drone reads back.
    for (DroneDirection d : {DroneDirection::To, DroneDirection::From}) {
        const auto r = ParseDroneArguments(DroneArgumentText(d, "/a b/", "2Test16.jnk"));
        ASSERT_TRUE(r);
        EXPECT_EQ(r->direction, d);
        EXPECT_EQ(r->dir, "/a b/");
        EXPECT_EQ(r->file, "2Test16.jnk");
    }
    EXPECT_EQ(DroneArgumentText(DroneDirection::To, "D:\\bench\\", "3Test10240.jnk"),
              "-TOD:\\bench\\?3Test10240.jnk");
}

TEST(DroneArguments, ResultLineIsWholeMillisecondsInPrintForm) {
    EXPECT_EQ(ResultFileLine(1234), " 1234 \r\n");
    EXPECT_EQ(ResultFileLine(0), " 0 \r\n");
    EXPECT_EQ(ResultFileLine(0.4), " 0 \r\n");
    EXPECT_EQ(ResultFileLine(12.5), " 12 \r\n");  // halves go to the even neighbour
    EXPECT_EQ(ResultFileLine(13.5), " 14 \r\n");
    EXPECT_EQ(ResultFileLine(999.7), " 1000 \r\n");
    EXPECT_EQ(ResultFileLine(86400000.2), " 86400000 \r\n");
    EXPECT_EQ(ParseResultFileLine(" 1234 "), 1234);
    EXPECT_FALSE(ParseResultFileLine("12x").has_value());
}

TEST(DroneProtocol, ErrorLinesCarryNumberAndOneLineOfDescription) {
    const std::string line = ErrorLine(61, "Disk full writing /t/3Test10240.jnk");
    EXPECT_EQ(line, "61 Disk full writing /t/3Test10240.jnk\r\n");
    const auto error = ParseErrorLine(line.substr(0, line.size() - 2));
    ASSERT_TRUE(error);
    EXPECT_EQ(error->number, 61);
    EXPECT_EQ(error->description, "Disk full writing /t/3Test10240.jnk");
    // A description with a line break still makes one line.
    EXPECT_EQ(ErrorLine(53, "a\r\nb"), "53 a  b\r\n");
    for (const char* bad : {"", "Disk full", "x61 y", " 61 y", "99999999999 y"})
        EXPECT_FALSE(ParseErrorLine(bad).has_value()) << bad;
}

TEST(DroneProtocol, OnlyThisProgramsNamesAreWorkFiles) {
    for (const char* ours :
         {"Test16.jnk", "Test102400.jnk", "1Test160.jnk", "5Test160.jnk", "TXT1Test160.jnk",
          "ERR3Test10240.jnk", "Drone1.exe", "Drone5.exe", "GO.txt", "TERMDRONES.txt"})
        EXPECT_TRUE(IsWorkRootFileName(ours)) << ours;
    for (const char* theirs :
         {"Test.jnk", "TestX.jnk", "Test16.jnk.bak", "6Test160.jnk", "0Test160.jnk", "Drone6.exe",
          "Drone1.exe2", "TXT6Test1.jnk", "TXTTest1.jnk", "go.txt", "wirepace.lock",
          "wirepace-run.lock", "target", "notes.txt", "1Test16.jnk/"})
        EXPECT_FALSE(IsWorkRootFileName(theirs)) << theirs;
    // In the target, which is the user's folder, only names with a size of the size tables.
    const std::vector<std::string> sizes = {"16", "160", "102400"};
    for (const char* ours : {"Test16.jnk", "3Test16.jnk", "5Test160.jnk", "Test102400.jnk"})
        EXPECT_TRUE(IsTargetFileName(ours, sizes)) << ours;
    for (const char* notInTarget :
         {"Drone1.exe", "TXT1Test16.jnk", "GO.txt", "report.doc", "Test2024.jnk", "1Test2024.jnk",
          "Test016.jnk", "Test1.jnk", "6Test16.jnk", "Test16.jnk.bak", "Test.jnk"})
        EXPECT_FALSE(IsTargetFileName(notInTarget, sizes)) << notInTarget;
}

}  // namespace
}  // namespace wirepace
