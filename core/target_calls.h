// SPDX-License-Identifier: MIT
// The controller's own file operations on the target, bounded in time. On a network folder
// whose server has stopped answering, a call can sleep in the kernel for good and no signal
// ends it. Such a call runs on a helper thread instead: the run waits for it at most a bound,
// then gives up, says the target stopped answering and leaves the thread behind (it ends when
// the target answers again, or with the process). The timed copies do not run this way: they
// are the measurement, and a stop ends them between pieces.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <type_traits>
#include <utility>

namespace wirepace {

class TargetCalls {
  public:
    // `limitMs`: how long one call may take; `stopRequested`: the user's stop, which cuts the
    // wait for a call to one second.
    TargetCalls(double limitMs, std::function<bool()> stopRequested);

    // Runs `operation` and returns what it returns, or raises what it raises. Raises "The target
    // stopped answering" (75) when it has not come back in time, and at once for every later
    // call: a target that left one call unanswered is not asked again. `operation` must own
    // whatever it uses, since it may outlive the run.
    template <typename Operation>
    auto Call(const std::string& what, Operation operation) -> decltype(operation()) {
        using Result = decltype(operation());
        if constexpr (std::is_void_v<Result>) {
            Wait(what, [operation = std::move(operation)](const Step&) mutable { operation(); });
        } else {
            auto result = std::make_shared<std::optional<Result>>();
            Wait(what, [result, operation = std::move(operation)](const Step&) mutable {
                result->emplace(operation());
            });
            return std::move(**result);
        }
    }

    // Tells whether an operation that moves in steps goes on: false once the user stopped the
    // run or the run gave up on it.
    using Step = std::function<bool()>;

    // The same for an operation that moves in steps (an untimed copy, one call a piece): the
    // bound counts from its last step, so a slow target that still moves is waited for.
    void CallInSteps(const std::string& what, std::function<void(const Step& step)> operation) {
        Wait(what, std::move(operation), true);
    }

    // Starts `operation` without waiting for it: what must still happen once an unanswering
    // target answers again (the release of its lock).
    static void Leave(std::function<void()> operation);

    void SetLimit(double limitMs) { limitMs_ = limitMs; }
    double LimitMs() const { return limitMs_; }

    // The call that did not come back ("listing /mnt/x/"), empty while every call came back.
    const std::string& Unanswered() const { return unanswered_; }

  private:
    void Wait(const std::string& what, std::function<void(const Step&)> operation,
              bool inSteps = false);

    double limitMs_;
    std::function<bool()> stopRequested_;
    std::string unanswered_;
};

// Calls on the target this process has given up on that have still not come back. A program
// that ends while one is outstanding ends with _exit: the stuck thread must not run into the
// static objects being destroyed.
int OutstandingTargetCalls();

}  // namespace wirepace
