// SPDX-License-Identifier: MIT
// The two operating-system services the shared helpers of common/ need: giving the processor
// away for about a millisecond, and the local calendar time. One implementation file per
// platform, built into the common library.
#pragma once

#include <ctime>

namespace wirepace::platform {

// Gives the processor away for a moment (about a millisecond at most).
void SleepAboutAMillisecond();

// `t` as local calendar time.
std::tm LocalTime(std::time_t t);

}  // namespace wirepace::platform
