// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <string>

#include "common/error.h"

namespace wirepace {
namespace {

using namespace std::string_literals;

TEST(ErrorText, AFileOperationsErrorNamesItsPathOnce) {
    EXPECT_EQ(RuntimeError(kErrPathNotFound).WithPath("/srv/bench/x").Text(),
              "Path not found [76]: /srv/bench/x");
    // A description that names it already is left as it is; without a path nothing is added.
    EXPECT_EQ(RuntimeError(kErrPermissionDenied, "Cannot remove /t/1Test16.jnk: Permission denied")
                  .WithPath("/t/1Test16.jnk")
                  .Text(),
              "Cannot remove /t/1Test16.jnk: Permission denied [70]");
    EXPECT_EQ(RuntimeError(kErrDiskFull).Text(), "Disk full [61]");
    // The path is shown, never acted on; the description the log carries stays the standard one.
    const RuntimeError odd = RuntimeError(kErrFileNotFound).WithPath("/t/a\0\x1B[2J"s);
    EXPECT_EQ(odd.Text(), "File not found [53]: /t/a\\x00\\x1B[2J");
    EXPECT_EQ(odd.Description(), "File not found");
}

}  // namespace
}  // namespace wirepace
