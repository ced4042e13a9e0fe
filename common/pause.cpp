// SPDX-License-Identifier: MIT
#include "common/pause.h"

#include <chrono>
#include <utility>

#include "platform/system_clock.h"

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

void YieldBriefly() {
    platform::SleepAboutAMillisecond();
}

void Pause(double seconds) {
    const double start = TickMs();
    const double wanted = seconds * 1000.0;
    for (;;) {
        PumpEvents();
        const double elapsed = TickMs() - start;
        if (elapsed >= wanted) return;
        // Also in the last millisecond: a wait never spins, it may end up to a yield late.
        YieldBriefly();
    }
}

}  // namespace wirepace
