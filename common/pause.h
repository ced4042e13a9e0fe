// SPDX-License-Identifier: MIT
// Waiting on the program's single thread: the clock, the pump hook and Pause.
#pragma once

#include <functional>

namespace wirepace {

// Monotonic milliseconds (fractional) since an arbitrary start; never wraps.
double TickMs();

// The front end installs what "let pending events through" means for it (the window
// processes its events; the command line does nothing). Returns the previous hook.
using PumpHook = std::function<void()>;
PumpHook SetPumpHook(PumpHook hook);
void PumpEvents();

// Gives the processor away for a moment (about a millisecond at most) so that pollers do not
// steal it from the copies being timed.
void YieldBriefly();

// Waits until at least `seconds` have passed, letting pending events through between checks.
void Pause(double seconds);

// Tests only: stands in for a slow link by pausing `msPerMiB` milliseconds for every MiB a copy
// moved since the last call (none while a piece is still on its way: the same count again).
class SlowLinkPause {
  public:
    explicit SlowLinkPause(double msPerMiB) : msPerMiB_(msPerMiB) {}
    void Moved(long long copied) {
        if (msPerMiB_ > 0 && copied > before_)
            Pause(msPerMiB_ * static_cast<double>(copied - before_) / (1024.0 * 1024.0) / 1000.0);
        before_ = copied;
    }

  private:
    double msPerMiB_;
    long long before_ = 0;
};

}  // namespace wirepace
