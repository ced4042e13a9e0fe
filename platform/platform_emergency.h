// SPDX-License-Identifier: MIT
// The two operations an emergency exit needs, safe inside a signal handler on POSIX.
#pragma once

namespace wirepace::platform::detail {

void KillProcessNow(int id) noexcept;
void RemoveFileNow(const char* utf8Path) noexcept;

}  // namespace wirepace::platform::detail
