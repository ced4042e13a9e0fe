// SPDX-License-Identifier: MIT
#include "core/run_input.h"

#include <gtest/gtest.h>

namespace wirepace {
namespace {

TEST(RunInput, OrdinaryTextOfAnyScriptIsAccepted) {
    EXPECT_FALSE(CheckRunInput("Branch office 'B', 2nd floor?", "\\\\srv\\bench share\\", ""));
    EXPECT_FALSE(CheckRunInput("Zürich – Büro", "/mnt/bänch/", "CORP\\jo"));
    // Bytes that are not valid UTF-8 are no control characters; reports replace them later.
    EXPECT_FALSE(CheckRunInput("\xFF\xFE", "/mnt/\xC3(", "\x80"));
}

TEST(RunInput, ControlCharactersAreRefusedInEveryField) {
    const std::string controls[] = {"\r\n", "\n", "\r", "\t", "\x1B", "\x7F", std::string(1, '\0')};
    for (const auto& c : controls) {
        const auto name = CheckRunInput("Fake" + c + "\"x\", \"/\", 01/01/2020", "/mnt/b/", "jo");
        ASSERT_TRUE(name);
        EXPECT_EQ(name->rfind("The test name must not contain control characters", 0), 0u) << *name;
        EXPECT_NE(name->find("at character 5"), std::string::npos) << *name;

        const auto dir = CheckRunInput("ok", "/mnt/b" + c, "jo");
        ASSERT_TRUE(dir);
        EXPECT_EQ(dir->rfind("The target directory must not contain control", 0), 0u) << *dir;

        const auto account = CheckRunInput("ok", "/mnt/b/", c + "jo");
        ASSERT_TRUE(account);
        EXPECT_EQ(account->rfind("The account name must not contain control", 0), 0u);
        EXPECT_NE(account->find("at character 1"), std::string::npos);
    }
    EXPECT_NE(CheckRunInput("a\rb", "", "")->find("0x0D"), std::string::npos);
    EXPECT_NE(CheckRunInput("a\x7F", "", "")->find("0x7F"), std::string::npos);
}

TEST(RunInput, ADoubleQuoteIsRefusedWhereTheLogEnclosesTheField) {
    // A quote would end the log's field early: the rest would read as the next fields.
    const auto name = CheckRunInput("Fake\", \"/srv/\", 2020/01/01", "/mnt/b/", "jo");
    ASSERT_TRUE(name);
    EXPECT_EQ(*name,
              "The test name must not contain \" (a double quote): the results log uses it to "
              "enclose the field; it has one at character 5.");
    const auto dir = CheckRunInput("ok", "/mnt/\"b\"/", "jo");
    ASSERT_TRUE(dir);
    EXPECT_EQ(dir->rfind("The target directory must not contain \" (a double quote)", 0), 0u);
    // The account is not written to the log.
    EXPECT_FALSE(CheckRunInput("ok", "/mnt/b/", "CORP\\\"jo\""));
}

TEST(RunInput, AQuestionMarkIsRefusedInTheDirectoryOnly) {
    const auto dir = CheckRunInput("ok?", "/mnt/why?/", "who?");
    ASSERT_TRUE(dir);
    EXPECT_EQ(*dir,
              "The target directory must not contain \"?\": the drones use it to separate the "
              "directory from the file name.");
}

}  // namespace
}  // namespace wirepace
