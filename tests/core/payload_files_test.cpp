// SPDX-License-Identifier: MIT
#include "core/payload_files.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <filesystem>
#include <functional>
#include <set>

#include "common/error.h"
#include "support/error_number.h"
#include "support/temp_dir.h"
#include "support/unprivileged.h"

namespace wirepace {
namespace {

using testing::ErrorNumberOf;
using testing::TempDir;

class PayloadFiles : public ::testing::Test {
  protected:
    void SetUp() override { state.AppDrive = root.Slash(); }
    TempDir root;
    RunContext state;
};

TEST_F(PayloadFiles, SizeAndNameComeFromTheKilobytesAndContentIsZeros) {
    EXPECT_EQ(CreateTestFile(state, 160), "Test160.jnk");
    const std::string content = testing::ReadFile(root.Path() / "Test160.jnk");
    EXPECT_EQ(content.size(), 163840u);
    EXPECT_EQ(content.find_first_not_of('\0'), std::string::npos);

    EXPECT_EQ(CreateTestFile(state, 3500), "Test3500.jnk");
    EXPECT_EQ(std::filesystem::file_size(root.Path() / "Test3500.jnk"), 3500u * 1024);
}

TEST_F(PayloadFiles, ASecondCallRewritesFromScratch) {
    testing::WriteFile(root.Path() / "Test16.jnk", std::string(100000, 'x'));
    EXPECT_EQ(CreateTestFile(state, 16), "Test16.jnk");
    const std::string content = testing::ReadFile(root.Path() / "Test16.jnk");
    EXPECT_EQ(content.size(), 16384u);  // no tail of the longer old file
    EXPECT_EQ(content.find_first_not_of('\0'), std::string::npos);
}

TEST_F(PayloadFiles, RandomFillIsIncompressibleAndHasNoRepeatedBlocks) {
    state.Fill = FillMode::Random;
    CreateTestFile(state, 160);
    const std::string content = testing::ReadFile(root.Path() / "Test160.jnk");
    ASSERT_EQ(content.size(), 163840u);
    // Close to 8 bits of entropy per byte leaves a compressor nothing to take away.
    std::array<double, 256> counts{};
    for (unsigned char c : content) ++counts[c];
    double entropy = 0;
    for (double n : counts)
        if (n > 0) entropy -= n / content.size() * std::log2(n / content.size());
    EXPECT_GT(entropy, 7.99);
    // No two 1 KB blocks alike, so block de-duplication finds nothing either.
    std::set<std::string> blocks;
    for (std::size_t i = 0; i < content.size(); i += 1024) blocks.insert(content.substr(i, 1024));
    EXPECT_EQ(blocks.size(), 160u);
}

TEST_F(PayloadFiles, ANegativeSizeIsAnOverflowAndWritesNothing) {
    EXPECT_EQ(ErrorNumberOf([&] { CreateTestFile(state, -1); }), kErrOverflow);
    EXPECT_TRUE(testing::Entries(root.Path()).empty());
}

TEST_F(PayloadFiles, MissingOrReadOnlyRootRaisesInsteadOfCrashing) {
    state.AppDrive = root.Slash() + "gone/";
    EXPECT_EQ(ErrorNumberOf([&] { CreateTestFile(state, 16); }), kErrPathNotFound);

    state.AppDrive = root.Slash();
    std::filesystem::permissions(
        root.Path(), std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec |
                         std::filesystem::perms::others_read | std::filesystem::perms::others_exec);
    const int number =
        testing::RunUnprivileged([&] { return ErrorNumberOf([&] { CreateTestFile(state, 16); }); });
    EXPECT_EQ(number, kErrPermissionDenied);
}

}  // namespace
}  // namespace wirepace
