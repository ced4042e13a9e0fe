// SPDX-License-Identifier: MIT
// wirepace-copybench: one timed copy, as the run makes it, for bench/copybench. Prints one JSON
// line: the copy's milliseconds (what the run would time), the processor time it took, when
// both files were open and when its last chunk was written (between them: the transfer alone),
// and how the cache was bypassed; or, told to stop, how long the stop took. The shape options
// let the benchmark compare other chunk sizes, queue depths, fixed pieces instead of pieces
// that follow the link, and the plain read-then-write loop.
#include <time.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

#include "common/error.h"
#include "platform/platform.h"
#include "platform/uncached_copy_posix.h"

namespace {

using namespace wirepace;
using Clock = std::chrono::steady_clock;

// Processor time of the whole process, to the nanosecond (the copy's own thread and the
// system's work on its behalf).
double CpuSeconds() {
    timespec t{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

const char* Writes(platform::posix::TargetWrites writes) {
    switch (writes) {
        case platform::posix::TargetWrites::Unbuffered:
            return "direct";
        case platform::posix::TargetWrites::Buffered:
            return "buffered";
        default:
            return "by file system";
    }
}

int Usage() {
    std::fprintf(stderr,
                 "Usage: wirepace-copybench [--chunk KIB] [--depth N] [--sequential] "
                 "[--buffered-writes | --direct-writes] [--no-presize] [--fixed-pieces] "
                 "[--piece KIB] [--stop-after SEC] FROM TO\n"
                 "Copies FROM to a fresh TO with the run's timed copy (defaults: the run's "
                 "shape) and prints one JSON line.\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    platform::posix::CopyShape shape;
    platform::CopyPace pace;  // as an earlier copy over the same link left it
    double stopAfterMs = -1;  // the copy is stopped this long after both files are open
    std::string from, to;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--chunk" && hasValue) {
            shape.chunk = std::strtoul(argv[++i], nullptr, 10) * 1024;
        } else if (arg == "--depth" && hasValue) {
            shape.depth = std::atoi(argv[++i]);
        } else if (arg == "--sequential") {
            shape.overlapped = false;
        } else if (arg == "--buffered-writes") {
            shape.writes = platform::posix::TargetWrites::Buffered;
        } else if (arg == "--direct-writes") {
            shape.writes = platform::posix::TargetWrites::Unbuffered;

        } else if (arg == "--no-presize") {
            shape.presize = false;
        } else if (arg == "--fixed-pieces") {
            shape.drainSeconds = 0;
        } else if (arg == "--stop-after" && hasValue) {
            stopAfterMs = std::strtod(argv[++i], nullptr) * 1000;
        } else if (arg == "--piece" && hasValue) {
            pace.piece = std::strtoul(argv[++i], nullptr, 10) * 1024;
        } else if (arg.rfind("--", 0) == 0 || !to.empty()) {
            return Usage();
        } else {
            (from.empty() ? from : to) = arg;
        }
    }
    if (to.empty()) return Usage();

    const double cpu0 = CpuSeconds();
    const auto t0 = Clock::now();
    Clock::time_point open, last, stopped;
    long long calls = 0, bytes = 0;
    const std::size_t firstPiece = pace.piece;
    try {
        const auto how = platform::posix::CopyUncachedShaped(
            from, to,
            [&](std::int64_t copied, std::int64_t) {
                const auto now = Clock::now();
                if (calls++ == 0) open = now;  // told 0 bytes once both files are open
                if (stopAfterMs >= 0 && Ms(now - open) >= stopAfterMs) {
                    stopped = now;
                    return false;
                }
                last = now;
                bytes = copied;
                return true;
            },
            shape, nullptr, &pace);
        const double ms = Ms(Clock::now() - t0);
        std::printf(
            "{\"ms\": %.3f, \"cpu_s\": %.6f, \"bytes\": %lld, \"open_ms\": %.3f, "
            "\"last_chunk_ms\": %.3f, \"progress_calls\": %lld, \"bypass\": \"%s\", "
            "\"chunk\": %zu, \"depth\": %d, \"overlapped\": %s, \"writes\": \"%s\", "
            "\"presize\": %s, \"drain_s\": %.2f, \"piece_end\": %zu}\n",
            ms, CpuSeconds() - cpu0, bytes, calls ? Ms(open - t0) : 0.0,
            calls ? Ms(last - t0) : 0.0, calls,
            how == platform::CacheBypass::DirectReads ? "direct" : "dropped", shape.chunk,
            shape.depth, shape.overlapped ? "true" : "false", Writes(shape.writes),
            shape.presize ? "true" : "false", shape.drainSeconds, pace.piece);
        return 0;
    } catch (const RunInterrupted&) {
        // From the stop (as a user would make it, at its time whatever the copy was doing)
        // to the copy's end: seen, what was in flight drained, the target removed.
        const auto asked = open + std::chrono::duration_cast<Clock::duration>(
                                      std::chrono::duration<double, std::milli>(stopAfterMs));
        std::printf(
            "{\"stopped\": true, \"stop_ms\": %.3f, \"seen_ms\": %.3f, \"bytes\": %lld, "
            "\"piece_start\": %zu, \"drain_s\": %.2f}\n",
            Ms(Clock::now() - asked), Ms(stopped - asked), bytes, firstPiece, shape.drainSeconds);
        return 0;
    } catch (const RuntimeError& e) {
        std::fprintf(stderr, "wirepace-copybench: %s %s\n", e.Text().c_str(), e.Path().c_str());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "wirepace-copybench: %s\n", e.what());
    }
    return 1;
}
