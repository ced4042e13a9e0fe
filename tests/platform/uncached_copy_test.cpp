// SPDX-License-Identifier: MIT
// The timed copy's engine on POSIX: exact copies of awkward lengths by every way it reads and
// writes, a failure in the middle of a copy with requests in flight, a full disk, a stop
// between chunks, and pieces that follow the link's rate. None leaves a partial target behind, and
// none leaves a request behind that could disturb the next copy on the same thread.
#include <fcntl.h>
#include <sys/mount.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "common/error.h"
#include "platform/platform.h"
#include "platform/uncached_copy_posix.h"
#include "support/temp_dir.h"

namespace wirepace {
namespace {

namespace fs = std::filesystem;
namespace p = platform;
using p::CacheBypass;
using p::posix::CopyFault;
using p::posix::CopyShape;
using p::posix::kCopyChunk;
using p::posix::TargetWrites;
using testing::TempDir;

// Bytes that differ from block to block, so a chunk written at the wrong offset shows.
std::string Content(std::size_t size) {
    std::mt19937 random(static_cast<unsigned>(size));
    std::string bytes(size, '\0');
    for (char& c : bytes) c = static_cast<char>(random());
    return bytes;
}

bool TakesDirectReads(const TempDir& dir) {
    const std::string probe = dir.Slash() + "probe";
    testing::WriteFile(probe, "x");
    const int fd = ::open(probe.c_str(), O_RDONLY | O_DIRECT);
    if (fd >= 0) ::close(fd);
    fs::remove(probe);
    return fd >= 0;
}

// Everything the copy told its caller; the `stopAt`th call answers false.
struct Progress {
    std::vector<std::pair<std::int64_t, std::int64_t>> calls;
    bool fromAnotherThread = false;
    std::size_t stopAt = SIZE_MAX;

    p::CopyProgress Callback() {
        return
            [this, thread = std::this_thread::get_id()](std::int64_t copied, std::int64_t total) {
                fromAnotherThread |= std::this_thread::get_id() != thread;
                calls.emplace_back(copied, total);
                return calls.size() != stopAt;
            };
    }

    // Told 0 once both files are open, then never less than before, at least once per chunk,
    // and all of it at the end.
    void ExpectComplete(std::int64_t size) const {
        ASSERT_FALSE(calls.empty());
        EXPECT_FALSE(fromAnotherThread);
        EXPECT_EQ(calls.front(), std::make_pair(std::int64_t{0}, size));
        EXPECT_EQ(calls.back(), std::make_pair(size, size));
        const auto chunk = static_cast<std::int64_t>(kCopyChunk);
        EXPECT_GE(static_cast<std::int64_t>(calls.size()), 1 + (size + chunk - 1) / chunk);
        for (std::size_t i = 1; i < calls.size(); ++i) {
            EXPECT_GE(calls[i].first, calls[i - 1].first) << "call " << i;
            EXPECT_EQ(calls[i].second, size);
        }
    }
};

// The ways a copy can go: how it reads, how it writes, and what makes it change course.
struct Way {
    const char* name;
    CopyShape shape;
    bool refuseDirectReads = false;
    std::optional<CopyFault> fault;
    CacheBypass bypass = CacheBypass::DirectReads;
    std::size_t piece = 0;  // the pieces learnt by an earlier copy
};

// `staged`: the folder takes unbuffered I/O, so a refusal of it can be staged.
std::vector<Way> Ways(bool staged) {
    CopyShape unbufferedWrites;
    unbufferedWrites.writes = TargetWrites::Unbuffered;
    CopyShape oneAtATime;
    oneAtATime.overlapped = false;
    const CopyFault refusedRead{CopyFault::Side::Read, 1, EINVAL};
    const CopyFault refusedWrite{CopyFault::Side::Write, 1, EINVAL};
    const auto direct = CacheBypass::DirectReads, dropped = CacheBypass::DroppedPages;
    std::vector<Way> ways = {
        {"the run's copy", CopyShape{}, false, std::nullopt, direct},
        {"unbuffered writes into a target of set length", unbufferedWrites, false, std::nullopt,
         direct},
        {"one request at a time", oneAtATime, false, std::nullopt, direct},
        {"unbuffered reads refused at open", CopyShape{}, true, std::nullopt, dropped},
        // Learnt on a slow link, and not a whole number of blocks (a drone's share of it).
        {"small pieces, unbuffered writes", unbufferedWrites, false, std::nullopt, direct, 100'000},
    };
    if (staged) {
        ways.push_back({"unbuffered reads refused at the first read", CopyShape{}, false,
                        refusedRead, dropped});
        ways.push_back({"unbuffered writes refused at the first write", unbufferedWrites, false,
                        refusedWrite, direct});
    }
    return ways;
}

CacheBypass CopyBy(const Way& way, const std::string& from, const std::string& to,
                   const p::CopyProgress& progress) {
    p::RefuseDirectReadsForTests(way.refuseDirectReads);
    struct Restore {
        ~Restore() { p::RefuseDirectReadsForTests(false); }
    } restore;
    p::CopyPace pace{way.piece};
    if (way.shape == CopyShape{} && !way.fault) return p::CopyUncached(from, to, progress, &pace);
    return p::posix::CopyUncachedShaped(from, to, progress, way.shape,
                                        way.fault ? &*way.fault : nullptr, &pace);
}

TEST(CopyEngine, OddLengthsAreCopiedExactlyByEveryWay) {
    TempDir dir;
    const bool direct = TakesDirectReads(dir);
    const std::string from = dir.Slash() + "Test1024.jnk", to = dir.Slash() + "1Test1024.jnk";
    for (const std::size_t size :
         {std::size_t{0}, std::size_t{1}, std::size_t{4095}, std::size_t{4097}, kCopyChunk - 1,
          kCopyChunk, kCopyChunk + 1, 3 * kCopyChunk, 5 * kCopyChunk + 333}) {
        const std::string content = Content(size);
        testing::WriteFile(from, content);
        for (const Way& way : Ways(direct)) {
            SCOPED_TRACE(std::string(way.name) + ", " + std::to_string(size) + " bytes");
            Progress progress;
            const CacheBypass bypass = CopyBy(way, from, to, progress.Callback());
            // A refusal at the first read needs a first read; nothing is refused unbuffered
            // where the folder takes no unbuffered reads at all.
            const CacheBypass expected = !direct                    ? CacheBypass::DroppedPages
                                         : (way.fault && size == 0) ? CacheBypass::DirectReads
                                                                    : way.bypass;
            EXPECT_EQ(bypass, expected);
            EXPECT_EQ(testing::ReadFile(to), content);
            progress.ExpectComplete(static_cast<std::int64_t>(size));
            fs::remove(to);
        }
    }
    EXPECT_EQ(testing::Entries(dir.Path()), std::vector<std::string>{"Test1024.jnk"});
}

TEST(CopyEngine, AFailureInTheMiddleRemovesThePartialTargetAndNamesTheFile) {
    TempDir dir;
    const std::string from = dir.Slash() + "Test4096.jnk", to = dir.Slash() + "1Test4096.jnk";
    const std::string content = Content(5 * kCopyChunk + 333);
    testing::WriteFile(from, content);
    struct Case {
        CopyFault fault;
        int number;
        const std::string& file;
    };
    const Case cases[] = {
        {{CopyFault::Side::Read, 3, EIO}, kErrPathFileAccess, from},
        {{CopyFault::Side::Read, 5, EACCES}, kErrPermissionDenied, from},
        {{CopyFault::Side::Write, 2, ENOSPC}, kErrDiskFull, to},
        {{CopyFault::Side::Write, 4, EIO}, kErrPathFileAccess, to},
    };
    for (const bool overlapped : {true, false}) {
        for (const TargetWrites writes : {TargetWrites::Buffered, TargetWrites::Unbuffered}) {
            for (const Case& c : cases) {
                SCOPED_TRACE(::testing::Message()
                             << (overlapped ? "overlapped" : "one at a time") << ", "
                             << (writes == TargetWrites::Buffered ? "buffered" : "unbuffered")
                             << " writes, error " << c.fault.error << " at request "
                             << c.fault.request);
                CopyShape shape;
                shape.overlapped = overlapped;
                shape.writes = writes;
                Progress progress;
                try {
                    p::posix::CopyUncachedShaped(from, to, progress.Callback(), shape, &c.fault);
                    ADD_FAILURE() << "no error";
                } catch (const RuntimeError& e) {
                    EXPECT_EQ(e.Number(), c.number);
                    EXPECT_EQ(e.Path(), c.file);
                }
                EXPECT_LT(progress.calls.back().first, static_cast<std::int64_t>(content.size()));
                EXPECT_FALSE(fs::exists(to));
            }
        }
    }
    // Whatever was in flight when the copies failed was collected: the next copy on this
    // thread is exact.
    Progress progress;
    p::CopyUncached(from, to, progress.Callback());
    EXPECT_EQ(testing::ReadFile(to), content);
    progress.ExpectComplete(static_cast<std::int64_t>(content.size()));
}

// A small file system in memory (needs root).
class SmallDisk {
  public:
    SmallDisk(const fs::path& folder, const char* options) : folder_(folder) {
        mounted_ = ::mount("wirepace-test", folder.c_str(), "tmpfs", 0, options) == 0;
    }
    ~SmallDisk() {
        if (mounted_) ::umount2(folder_.c_str(), MNT_DETACH);
    }
    SmallDisk(const SmallDisk&) = delete;
    SmallDisk& operator=(const SmallDisk&) = delete;
    bool Mounted() const { return mounted_; }

  private:
    fs::path folder_;
    bool mounted_ = false;
};

TEST(CopyEngine, AFullDiskIsDiskFullOfTheTargetWithNothingLeft) {
    TempDir dir, full;
    SmallDisk disk(full.Path(), "size=512k");
    if (!disk.Mounted()) GTEST_SKIP() << "mounting a small disk needs root";
    const std::string from = dir.Slash() + "Test2048.jnk", to = full.Slash() + "1Test2048.jnk";
    testing::WriteFile(from, Content(2 * kCopyChunk + 333));
    for (const TargetWrites writes : {TargetWrites::Buffered, TargetWrites::Unbuffered}) {
        CopyShape shape;
        shape.writes = writes;
        try {
            p::posix::CopyUncachedShaped(from, to, {}, shape);
            ADD_FAILURE() << "no error";
        } catch (const RuntimeError& e) {
            EXPECT_EQ(e.Number(), kErrDiskFull);
            EXPECT_EQ(e.Path(), to);
        }
        EXPECT_TRUE(fs::is_empty(full.Path()));
    }
}

TEST(CopyEngine, AStopBetweenChunksLeavesNoTargetAndIsNotToldAgain) {
    TempDir dir;
    const std::string from = dir.Slash() + "Test4096.jnk", to = dir.Slash() + "1Test4096.jnk";
    const std::string content = Content(5 * kCopyChunk + 333);
    testing::WriteFile(from, content);
    for (const Way& way : Ways(TakesDirectReads(dir))) {
        // Before the first byte moves, and after two chunks are written.
        for (const std::size_t stopAt : {std::size_t{1}, std::size_t{3}}) {
            SCOPED_TRACE(std::string(way.name) + ", stopped at call " + std::to_string(stopAt));
            Progress progress;
            progress.stopAt = stopAt;
            EXPECT_THROW(CopyBy(way, from, to, progress.Callback()), RunInterrupted);
            EXPECT_EQ(progress.calls.size(), stopAt);
            EXPECT_FALSE(fs::exists(to));
        }
    }
    Progress progress;
    p::CopyUncached(from, to, progress.Callback());
    EXPECT_EQ(testing::ReadFile(to), content);
}

TEST(CopyEngine, PiecesShrinkToWhatASlowLinkDrainsQuicklyAndGrowBackOnAFastOne) {
    TempDir dir;
    const std::string from = dir.Slash() + "Test3072.jnk", to = dir.Slash() + "1Test3072.jnk";
    const std::string content = Content(3 * kCopyChunk);
    testing::WriteFile(from, content);
    // The caller stands in for a slow link: 0.6 s for every MiB written (about 1.7 MB/s),
    // where two whole chunks in flight would take 1.2 s to drain. It may stop after a piece.
    std::vector<std::int64_t> pieces;
    const auto link = [&pieces](double msPerMiB, bool stopAfterAPiece = false) {
        return [&pieces, msPerMiB, stopAfterAPiece, before = std::int64_t{0}](
                   std::int64_t copied, std::int64_t) mutable {
            if (copied > before) {
                pieces.push_back(copied - before);
                std::this_thread::sleep_for(std::chrono::duration<double, std::milli>(
                    msPerMiB * static_cast<double>(copied - before) / (1 << 20)));
            }
            before = copied;
            return !(stopAfterAPiece && copied > 0);
        };
    };
    p::CopyPace pace;
    p::CopyUncached(from, to, link(600), &pace);
    EXPECT_EQ(testing::ReadFile(to), content);
    EXPECT_EQ(pieces.front(), static_cast<std::int64_t>(kCopyChunk)) << "nothing learnt yet";
    // Two pieces of what the link moves in the drain time, in whole blocks.
    EXPECT_GE(pace.piece, std::size_t{256} << 10);
    EXPECT_LT(pace.piece, kCopyChunk);
    EXPECT_EQ(pace.piece % 4096, 0u);

    // The next copy over the link starts where this one ended.
    const std::size_t learnt = pace.piece;
    pieces.clear();
    EXPECT_THROW(p::CopyUncached(from, to, link(600, true), &pace), RunInterrupted);
    EXPECT_EQ(pieces.front(), static_cast<std::int64_t>(learnt));
    // A fast link: back to whole chunks within a few pieces.
    pieces.clear();
    p::CopyUncached(from, to, link(0), &pace);
    EXPECT_EQ(pace.piece, kCopyChunk);
    EXPECT_NE(std::find(pieces.begin(), pieces.end(), static_cast<std::int64_t>(kCopyChunk)),
              pieces.end());
    EXPECT_EQ(testing::ReadFile(to), content);
}

}  // namespace
}  // namespace wirepace
