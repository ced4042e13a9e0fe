// SPDX-License-Identifier: MIT
// The claim of a run on its target folder, against lock files others left there.
#include "core/target_lock.h"

#include <gtest/gtest.h>

#include <string>

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

}  // namespace
}  // namespace wirepace
