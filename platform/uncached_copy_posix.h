// SPDX-License-Identifier: MIT
// The POSIX timed copy's engine and its shape, apart so the tests and the copy benchmark can
// reach them. Internal to platform/, tests/ and bench/.
#pragma once

#include <cstddef>
#include <string>

#include "platform/platform.h"

namespace wirepace::platform::posix {

// Why these values: bench/RESULTS.md, "The timed copy". Two requests of 1 MiB in flight (2 MiB,
// about twice the bandwidth-delay product of a 16 Mbit/s link with a 500 ms round trip, which
// sshfs needs to keep it busy) move a file over that link as fast as eight, and let a local
// disk read one chunk while the other is written. Smaller requests cost measurably more
// processor time per GiB (256 KiB x 8: about 1.8 times as much inbound over sshfs), and more
// bytes in flight gain nothing there but lengthen a stop, which waits for what is in flight.
inline constexpr std::size_t kCopyChunk = 1 << 20;
inline constexpr int kCopyDepth = 2;
// A stop waits for what is in flight, and a slow link takes seconds over two chunks (11 s on
// a 1.5 Mbit/s line). Pieces shrink so that what is in flight drains in this long at the rate
// the copy sees: still more than a round trip's worth of bytes on any link whose round trip is
// shorter, so the link stays as busy as with whole chunks.
inline constexpr double kDrainSeconds = 0.75;
// The smallest piece: two drain in 0.7 s on a 1.5 Mbit/s line; smaller ones cost more calls
// than a stop gains. Over a client that takes one request per round trip (smbnetfs) it is the
// largest request a FUSE client takes at once, since a smaller piece makes each request, and
// so each round trip, carry less; two of those drain in 1.4 s on that line.
inline constexpr std::size_t kSmallestPiece = 64 << 10;
inline constexpr std::size_t kSmallestPieceOneRequestAtATime = 128 << 10;
// While requests are in flight, the caller is told at least this often (its stop is looked at).
inline constexpr int kWaitTickMs = 200;

// How the target is written: unbuffered requests travel at once, several at a time, which is
// what a network client needs to keep a long round trip busy; a local disk does better with
// the cache, which gathers the writes into large ones.
enum class TargetWrites { ByFileSystem, Unbuffered, Buffered };

// How a copy moves its bytes. The defaults are the timed copy's; the benchmark varies them.
struct CopyShape {
    std::size_t chunk = kCopyChunk;  // bytes per read and per write, a multiple of 4096
    int depth = kCopyDepth;          // requests in flight at most, reads and writes together
    bool overlapped = true;          // false: every request done in turn, as a plain loop would
    // ByFileSystem: unbuffered on a file system reached through a network client, else buffered
    TargetWrites writes = TargetWrites::ByFileSystem;
    bool presize = true;  // unbuffered writes: the target's length set before the first
    // Pieces sized so that what is in flight drains in this many seconds (at most `chunk`);
    // 0: every piece `chunk` long, as the plain loop did.
    double drainSeconds = kDrainSeconds;

    bool operator==(const CopyShape&) const = default;
};

// Makes the `request`th read (or write) of a copy complete with `error` instead of its
// result, as the system would report it (tests only).
struct CopyFault {
    enum class Side { Read, Write } side = Side::Read;
    int request = 1;
    int error = 0;
};

CacheBypass CopyUncachedShaped(const std::string& from, const std::string& to,
                               const CopyProgress& progress, const CopyShape& shape,
                               const CopyFault* fault = nullptr, CopyPace* pace = nullptr);

}  // namespace wirepace::platform::posix
