// SPDX-License-Identifier: MIT
#include "common/pause.h"

#include <chrono>
#include <thread>
#include <utility>

#ifdef _WIN32
#include <windows.h>
#endif

namespace wirepace {

namespace {
PumpHook& Hook() {
    static PumpHook hook;
    return hook;
}
}  // namespace

double TickMs() {
    using namespace std::chrono;
    static const auto origin = steady_clock::now();
    return duration<double, std::milli>(steady_clock::now() - origin).count();
}

PumpHook SetPumpHook(PumpHook hook) {
    return std::exchange(Hook(), std::move(hook));
}

void PumpEvents() {
    // Copy first: a nested handler may install another hook while this one runs.
    if (PumpHook hook = Hook()) hook();
}

#ifdef _WIN32
// Windows sleeps in timer ticks (15.6 ms unless asked for finer ones), and a sleep shorter than
// a millisecond returns at once; both would break the "away for about a millisecond" promise.
void YieldBriefly() {
    static const bool fineTimer = timeBeginPeriod(1) == TIMERR_NOERROR;
    (void)fineTimer;
    ::Sleep(1);
}
#else
// Just under the millisecond poll interval: with the kernel's timer slack the gap between two
// polls stays within 1 ms, and the controller's checks of five result files cost it about half
// of what they did at 0.5 ms.
void YieldBriefly() {
    std::this_thread::sleep_for(std::chrono::microseconds(900));
}
#endif

void Pause(double seconds) {
    const double start = TickMs();
    const double wanted = seconds * 1000.0;
    for (;;) {
        PumpEvents();
        const double elapsed = TickMs() - start;
        if (elapsed >= wanted) return;
        if (wanted - elapsed >= 1.0) YieldBriefly();
    }
}

}  // namespace wirepace
