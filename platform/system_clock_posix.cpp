// SPDX-License-Identifier: MIT
#include <chrono>
#include <thread>

#include "platform/system_clock.h"

namespace wirepace::platform {

// Just under the millisecond poll interval: with the kernel's timer slack the gap between two
// polls stays within 1 ms, and the controller's checks of five result files cost it about half
// of what they did at 0.5 ms.
void SleepAboutAMillisecond() {
    std::this_thread::sleep_for(std::chrono::microseconds(900));
}

std::tm LocalTime(std::time_t t) {
    std::tm tm{};
    localtime_r(&t, &tm);
    return tm;
}

}  // namespace wirepace::platform
