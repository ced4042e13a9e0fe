// SPDX-License-Identifier: MIT
#include "core/target_calls.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>

#include "common/error.h"
#include "common/number_format.h"

namespace wirepace {

namespace {

using Clock = std::chrono::steady_clock;

// After the user's stop, a call still under way gets this long before the run gives up on it.
constexpr auto kAfterStop = std::chrono::seconds(1);

std::atomic<int> gOutstanding{0};

struct Pending {
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
    bool abandoned = false;
    std::exception_ptr error;
    std::atomic<bool> goOn{true};
    std::atomic<Clock::rep> lastStep{Clock::now().time_since_epoch().count()};
};

RuntimeError NotAnswering(const std::string& what, double limitMs, bool inSteps) {
    return RuntimeError(kErrPathFileAccess,
                        "The target stopped answering: " + what +
                            (inSteps ? " made no progress for " : " did not return within ") +
                            NumberToText(limitMs / 1000) + " s");
}

}  // namespace

TargetCalls::TargetCalls(double limitMs, std::function<bool()> stopRequested)
    : limitMs_(limitMs), stopRequested_(std::move(stopRequested)) {}

void TargetCalls::Wait(const std::string& what, std::function<void(const Step&)> operation,
                       bool inSteps) {
    if (!unanswered_.empty())
        throw RuntimeError(kErrPathFileAccess, "The target stopped answering: " + unanswered_ +
                                                   " did not return; " + what + " was not tried");
    auto pending = std::make_shared<Pending>();
    std::thread helper([pending, operation = std::move(operation)]() mutable {
        std::exception_ptr error;
        try {
            operation([&pending] {
                pending->lastStep.store(Clock::now().time_since_epoch().count());
                return pending->goOn.load();
            });
        } catch (...) {
            error = std::current_exception();
        }
        // What it holds (a lock whose release removes a file) goes before the call counts as
        // back.
        operation = nullptr;
        const std::lock_guard<std::mutex> lock(pending->mutex);
        pending->finished = true;
        pending->error = error;
        if (pending->abandoned) --gOutstanding;
        pending->done.notify_all();
    });

    const auto limit = std::chrono::duration_cast<Clock::duration>(
        std::chrono::duration<double, std::milli>(limitMs_));
    auto deadline = Clock::now() + limit;
    bool stopSeen = false;
    std::unique_lock<std::mutex> lock(pending->mutex);
    while (!pending->finished) {
        const auto now = Clock::now();
        if (!stopSeen && stopRequested_ && stopRequested_()) {
            stopSeen = true;
            pending->goOn.store(false);
            deadline = std::min(deadline, now + kAfterStop);
        } else if (inSteps && !stopSeen) {
            deadline = Clock::time_point(Clock::duration(pending->lastStep.load())) + limit;
        }
        if (now >= deadline) break;
        // Short slices, so the user's stop is seen while waiting.
        pending->done.wait_for(
            lock, std::min<Clock::duration>(deadline - now, std::chrono::milliseconds(50)));
    }
    if (pending->finished) {
        lock.unlock();
        helper.join();
        if (pending->error) std::rethrow_exception(pending->error);
        return;
    }
    // Stuck in the system, where nothing can end it: left to finish whenever it can.
    pending->abandoned = true;
    pending->goOn.store(false);
    ++gOutstanding;
    lock.unlock();
    helper.detach();
    unanswered_ = what;
    throw NotAnswering(what, limitMs_, inSteps && !stopSeen);
}

void TargetCalls::Leave(std::function<void()> operation) {
    ++gOutstanding;
    std::thread([operation = std::move(operation)]() mutable {
        try {
            operation();
        } catch (...) {
            // Nobody is left to tell; the next run's sweep sees what stayed.
        }
        operation = nullptr;
        --gOutstanding;
    }).detach();
}

int OutstandingTargetCalls() {
    return gOutstanding.load();
}

}  // namespace wirepace
