// SPDX-License-Identifier: MIT
#include "drone/drone_args.h"

#include <gtest/gtest.h>

namespace wirepace::drone {
namespace {

TEST(DroneArguments, ModeKeywordIsExactAndCaseSensitive) {
    EXPECT_EQ(ParseDroneArguments("-TO/t/?1A.jnk")->direction, Direction::Upload);
    EXPECT_EQ(ParseDroneArguments("-FROM/t/?1A.jnk")->direction, Direction::Download);
    for (const char* text :
         {"-to/t/?1A.jnk", "-From/t/?1A.jnk", "-T", "-FRO", "TO/t/?1", " -TO/t/?1", "", "?"}) {
        EXPECT_FALSE(ParseDroneArguments(text).has_value()) << text;
    }
    // "-TO" is tested first and is all that counts: whatever follows belongs to the directory.
    const auto upload = ParseDroneArguments("-TO-FROM?x");
    ASSERT_TRUE(upload);
    EXPECT_EQ(upload->direction, Direction::Upload);
    EXPECT_EQ(upload->dir, "-FROM");
    const auto download = ParseDroneArguments("-FROMTO?x");
    ASSERT_TRUE(download);
    EXPECT_EQ(download->direction, Direction::Download);
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
    auto p = CopyPathsFor("/w/", Direction::Upload, "/t/", "2A.jnk");
    EXPECT_EQ(p.source, "/w/2A.jnk");
    EXPECT_EQ(p.target, "/t/2A.jnk");
    p = CopyPathsFor("/w/", Direction::Download, "/t/", "2A.jnk");
    EXPECT_EQ(p.source, "/t/2A.jnk");
    EXPECT_EQ(p.target, "/w/2A.jnk");
    // A directory without its separator is still a plain prefix.
    p = CopyPathsFor("/w/", Direction::Upload, "/t/pre", "2A.jnk");
    EXPECT_EQ(p.target, "/t/pre2A.jnk");

    EXPECT_EQ(ResultFilePath("/w/", "3Test1600.jnk"), "/w/TXT3Test1600.jnk");
}

TEST(DroneArguments, ResultLineIsWholeMillisecondsInPrintForm) {
    EXPECT_EQ(ResultLine(1234), " 1234 \r\n");
    EXPECT_EQ(ResultLine(0), " 0 \r\n");
    EXPECT_EQ(ResultLine(0.4), " 0 \r\n");
    EXPECT_EQ(ResultLine(12.5), " 12 \r\n");  // halves go to the even neighbour
    EXPECT_EQ(ResultLine(13.5), " 14 \r\n");
    EXPECT_EQ(ResultLine(999.7), " 1000 \r\n");
    EXPECT_EQ(ResultLine(86400000.2), " 86400000 \r\n");
}

}  // namespace
}  // namespace wirepace::drone
