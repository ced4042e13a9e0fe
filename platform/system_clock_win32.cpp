// SPDX-License-Identifier: MIT
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include "platform/system_clock.h"

namespace wirepace::platform {

// Windows sleeps in timer ticks (15.6 ms unless asked for finer ones), and a sleep shorter than
// a millisecond returns at once; both would break the "away for about a millisecond" promise.
void SleepAboutAMillisecond() {
    static const bool fineTimer = timeBeginPeriod(1) == TIMERR_NOERROR;
    (void)fineTimer;
    ::Sleep(1);
}

std::tm LocalTime(std::time_t t) {
    std::tm tm{};
    localtime_s(&tm, &t);
    return tm;
}

}  // namespace wirepace::platform
