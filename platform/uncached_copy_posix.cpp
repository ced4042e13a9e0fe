// SPDX-License-Identifier: MIT
// The timed copy on POSIX: the source read unbuffered (O_DIRECT) where the file system allows
// it, otherwise with its cached pages dropped first; the target written unbuffered where its
// file system allows that, and flushed before the copy returns. Reading and writing overlap,
// with a few requests in flight at once (the system's asynchronous I/O), so a disk never waits
// for the other side and a long round trip carries several requests instead of one.
#include <fcntl.h>
#include <linux/aio_abi.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <deque>
#include <fstream>
#include <memory>
#include <new>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "common/error.h"
#include "platform/files_posix.h"
#include "platform/platform.h"
#include "platform/uncached_copy_posix.h"

namespace wirepace::platform {

using posix::CheckPath;
using posix::CopyFault;
using posix::CopyShape;
using posix::FreshFile;
using posix::OpenOrRaise;
using posix::TargetWrites;

namespace {

std::atomic<bool> gRefuseDirectReads{false};

// Unbuffered requests need buffers, offsets and lengths aligned to the device's block; a page
// satisfies every one.
constexpr std::size_t kAlignment = 4096;

std::size_t RoundUpToBlock(std::int64_t bytes) {
    const auto n = static_cast<std::size_t>(bytes);
    return (n + kAlignment - 1) / kAlignment * kAlignment;
}

// Turns unbuffered I/O on or off for an open file; false when the file system refuses.
bool SetDirect(int fd, bool on) {
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0) return false;
    return ::fcntl(fd, F_SETFL, on ? flags | O_DIRECT : flags & ~O_DIRECT) == 0;
}

// What the copy needs to know of an open file, as the open just learnt it: asking the file
// system again (fstat, fstatfs) costs a round trip on a network client that keeps attributes
// for no time, as sshfs does here.
struct FileFacts {
    bool plainFile = false;
    std::int64_t length = 0;
    std::string device;  // "major:minor", as the mount table names it
};

FileFacts FactsOf(int fd, const std::string& path) {
    struct statx sx {};
    if (::statx(fd, "", AT_EMPTY_PATH | AT_STATX_DONT_SYNC, STATX_TYPE | STATX_SIZE, &sx) == 0)
        return {S_ISREG(sx.stx_mode), static_cast<std::int64_t>(sx.stx_size),
                std::to_string(sx.stx_dev_major) + ":" + std::to_string(sx.stx_dev_minor)};
    struct stat st {};
    if (::fstat(fd, &st) != 0) RaiseFileError(errno, path);
    return {S_ISREG(st.st_mode), static_cast<std::int64_t>(st.st_size),
            std::to_string(major(st.st_dev)) + ":" + std::to_string(minor(st.st_dev))};
}

// The type of the file system on `device` ("ext4", "fuse.sshfs"), as the mount table names
// it; "" when it is not there.
std::string TypeOfDevice(const std::string& device) {
    std::ifstream table("/proc/self/mountinfo");
    for (std::string line; std::getline(table, line);) {
        // id parent major:minor root mountpoint options... - type source superoptions
        std::istringstream fields(line);
        std::string id, parent, numbers;
        fields >> id >> parent >> numbers;
        const auto dash = line.find(" - ");
        if (numbers != device || dash == std::string::npos) continue;
        std::istringstream rest(line.substr(dash + 3));
        std::string type;
        rest >> type;
        return type;
    }
    return "";
}

// Whether a file system of `type` is reached through a network client (or any FUSE client):
// its writes then go unbuffered, several at once, instead of one after another.
bool IsNetworkClient(const std::string& type) {
    return type.rfind("fuse", 0) == 0 || type == "nfs" || type == "nfs4" || type == "cifs" ||
           type == "smb3" || type == "smbfs" || type == "9p" || type == "ceph" || type == "afs";
}

// smbnetfs takes one request per round trip, whatever is in flight: fewer bytes in flight
// never slow it, and a stop waits for every request queued in it.
bool TakesOneRequestAtATime(const std::string& type) {
    return type == "fuse.smbnetfs";
}

// Opens the source of a timed copy so that its bytes come from where it lies: unbuffered where
// the file system accepts it, otherwise with its cached pages dropped first.
int OpenUncached(const std::string& path, CacheBypass& how) {
    CheckPath(path);
    if (!gRefuseDirectReads.load()) {
        const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECT | O_CLOEXEC);
        if (fd >= 0) {
            how = CacheBypass::DirectReads;
            return fd;
        }
        if (errno != EINVAL && errno != EOPNOTSUPP) RaiseFileError(errno, path);
    }
    const int fd = OpenOrRaise(path, O_RDONLY);
    how = CacheBypass::DroppedPages;
    // Written data must be on its way before clean pages can be dropped.
    ::fdatasync(fd);
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
    return fd;
}

// The thread's context for asynchronous requests, set up at its first copy and kept: taking
// one down waits for a grace period of the system (about 30 ms here), which every copy would
// otherwise pay inside its timing. A copy leaves nothing in it.
class AsyncContext {
  public:
    static constexpr int kCapacity = 64;  // requests in flight; more are done one at a time
    AsyncContext() = default;
    ~AsyncContext() { Drop(); }
    AsyncContext(const AsyncContext&) = delete;
    AsyncContext& operator=(const AsyncContext&) = delete;
    aio_context_t Get() {
        if (id_ == 0 && ::syscall(SYS_io_setup, kCapacity, &id_) != 0) id_ = 0;
        return id_;
    }
    void Drop() {
        if (id_ != 0) ::syscall(SYS_io_destroy, id_);
        id_ = 0;
    }

  private:
    aio_context_t id_ = 0;
};
thread_local AsyncContext tContext;

// One chunk of the copy on its way: read into its buffer, then written from it.
struct Slot {
    enum class Step { Idle, Reading, Held, Writing };
    iocb cb{};
    unsigned char* buffer = nullptr;
    std::int64_t offset = 0;  // of the chunk, the same in both files
    std::size_t length = 0;   // bytes asked for (reading) or to write (writing)
    std::size_t done = 0;     // of `length`, so far
    Step step = Step::Idle;
};

// The requests in flight: the system's asynchronous I/O where it offers it; otherwise (or when
// it refuses one more request) each request is done when started and its result queued as if
// it had just completed.
class Requests {
  public:
    struct Done {
        Slot* slot;
        long long result;  // bytes, or minus the error number
    };

    explicit Requests(bool overlapped) {
        if (overlapped) context_ = tContext.Get();
        async_ = context_ != 0;
    }
    ~Requests() {
        // The buffers and descriptors must outlive every request the system still holds.
        while (inFlight_ > 0 && Reap()) {
        }
        // Taking the context down waits for whatever it still holds.
        if (inFlight_ > 0) tContext.Drop();
    }
    Requests(const Requests&) = delete;
    Requests& operator=(const Requests&) = delete;

    // `now`: done at once even where requests can be left in flight, for a write into this
    // machine's cache, which the system would do at once anyway, at the cost of more calls.
    void Start(Slot& slot, int fd, bool write, bool now = false) {
        iocb& cb = slot.cb;
        cb = iocb{};
        cb.aio_data = reinterpret_cast<std::uintptr_t>(&slot);
        cb.aio_lio_opcode = write ? IOCB_CMD_PWRITE : IOCB_CMD_PREAD;
        cb.aio_fildes = static_cast<std::uint32_t>(fd);
        cb.aio_buf = reinterpret_cast<std::uintptr_t>(slot.buffer + slot.done);
        cb.aio_nbytes = slot.length - slot.done;
        cb.aio_offset = slot.offset + static_cast<std::int64_t>(slot.done);
        if (async_ && !now) {
            iocb* list[1] = {&cb};
            if (::syscall(SYS_io_submit, context_, 1, list) == 1) {
                ++inFlight_;
                return;
            }
        }
        void* buffer = reinterpret_cast<void*>(static_cast<std::uintptr_t>(cb.aio_buf));
        const auto offset = static_cast<off_t>(cb.aio_offset);
        ssize_t n;
        do {
            n = write ? ::pwrite(fd, buffer, cb.aio_nbytes, offset)
                      : ::pread(fd, buffer, cb.aio_nbytes, offset);
        } while (n < 0 && errno == EINTR);
        ready_.push_back({&slot, n < 0 ? -errno : n});
    }

    bool Idle() const { return inFlight_ == 0 && ready_.empty(); }

    // The next request that has finished; waits for one, at most `waitMs` (none: nothing has
    // finished yet).
    std::optional<Done> Next(int waitMs) {
        if (ready_.empty()) {
            timespec wait{waitMs / 1000, static_cast<long>(waitMs % 1000) * 1000000L};
            if (!Reap(&wait))
                throw RuntimeError(kErrInternal, "Waiting for a copy's requests failed");
            if (ready_.empty()) return std::nullopt;
        }
        const Done done = ready_.front();
        ready_.pop_front();
        return done;
    }

  private:
    bool Reap(timespec* wait = nullptr) {
        io_event events[16];
        const long n =
            ::syscall(SYS_io_getevents, context_, 1L,
                      static_cast<long>(std::min<std::size_t>(16, inFlight_)), events, wait);
        if (n < 0) return errno == EINTR;
        for (long i = 0; i < n; ++i)
            ready_.push_back({reinterpret_cast<Slot*>(static_cast<std::uintptr_t>(events[i].data)),
                              static_cast<long long>(events[i].res)});
        inFlight_ -= static_cast<std::size_t>(n);
        return true;
    }

    aio_context_t context_ = 0;
    bool async_ = false;
    std::size_t inFlight_ = 0;
    std::deque<Done> ready_;
};

// Sizes a copy's pieces from the rate its writes complete at, so that what is in flight
// drains in `drainSeconds` (see kDrainSeconds). The rate is taken over the last one to two
// seconds, so a link that slows down is followed.
//
// Smaller pieces shorten the drain only where the link's bandwidth is what limits it. Where
// its round trip is what limits it, what is in flight always takes a round trip to drain, and
// fewer bytes in flight only slow the copy. Opening both files takes a round trip or two of
// the remote side: where that alone is as long as the drain time, the pieces only grow,
// unless the client takes one request at a time anyway.
class Pace {
  public:
    Pace(const CopyShape& shape, CopyPace* kept, double openSeconds, bool oneRequestAtATime)
        : shape_(shape),
          kept_(kept),
          piece_(shape.chunk),
          mayShrink_(oneRequestAtATime || openSeconds < shape.drainSeconds),
          smallest_(std::min(
              oneRequestAtATime ? posix::kSmallestPieceOneRequestAtATime : posix::kSmallestPiece,
              shape.chunk)) {
        if (Adaptive() && kept_ && kept_->piece != 0)
            piece_ = std::clamp(kept_->piece / kAlignment * kAlignment, Smallest(), piece_);
    }
    ~Pace() {
        if (Adaptive() && kept_) kept_->piece = piece_;
    }
    Pace(const Pace&) = delete;
    Pace& operator=(const Pace&) = delete;

    std::size_t Piece() const { return piece_; }

    // `copied` bytes are written by now.
    void Written(std::int64_t copied) {
        if (!Adaptive()) return;
        const auto now = Clock::now();
        if (now - newer_.at >= std::chrono::seconds(1)) {
            older_ = newer_;
            newer_ = {now, copied};
        }
        const double seconds = std::chrono::duration<double>(now - older_.at).count();
        if (seconds <= 0) return;
        const double rate = static_cast<double>(copied - older_.copied) / seconds;
        const double want = rate * shape_.drainSeconds / shape_.depth;
        // Growing by a few times at most: one quick completion is no rate yet.
        const std::size_t most = std::min(shape_.chunk, piece_ * 4);
        const std::size_t next =
            want >= static_cast<double>(most)
                ? most
                : std::max(Smallest(), static_cast<std::size_t>(want) / kAlignment * kAlignment);
        if (next > piece_ || mayShrink_) piece_ = next;
    }

  private:
    using Clock = std::chrono::steady_clock;
    struct Mark {
        Clock::time_point at;
        std::int64_t copied = 0;
    };
    bool Adaptive() const { return shape_.drainSeconds > 0; }
    std::size_t Smallest() const { return smallest_; }

    const CopyShape& shape_;
    CopyPace* kept_;
    std::size_t piece_;
    bool mayShrink_;
    std::size_t smallest_;
    Mark older_{Clock::now()}, newer_ = older_;
};

struct FreeMemory {
    void operator()(unsigned char* p) const { std::free(p); }
};

}  // namespace

namespace posix {

CacheBypass CopyUncachedShaped(const std::string& from, const std::string& to,
                               const CopyProgress& progress, const CopyShape& shape,
                               const CopyFault* fault, CopyPace* kept) {
    if (shape.chunk == 0 || shape.chunk % kAlignment != 0 || shape.depth < 1)
        throw RuntimeError(kErrInternal, "A copy needs whole blocks and a request in flight");
    CacheBypass how = CacheBypass::DirectReads;
    const auto opening = std::chrono::steady_clock::now();
    const int in = OpenUncached(from, how);
    struct InGuard {
        int fd;
        ~InGuard() { ::close(fd); }
    } guard{in};
    const FileFacts source = FactsOf(in, from);
    if (!source.plainFile) {
        struct stat st {};
        ::fstat(in, &st);
        posix::RefuseNonFile(from, st.st_mode);
    }
    const std::int64_t total = source.length;

    FreshFile out(to, 0644);
    const std::string targetType = TypeOfDevice(FactsOf(out.Fd(), to).device);
    const bool unbuffered =
        shape.writes == TargetWrites::Unbuffered ||
        (shape.writes == TargetWrites::ByFileSystem && IsNetworkClient(targetType));
    bool directWrites = unbuffered && SetDirect(out.Fd(), true);
    // Unbuffered writes at several offsets at once need the target's length set first: a write
    // past the end makes a FUSE client (and a local file system) finish it before it takes the
    // next. The last chunk is read and written first, which sets the length with bytes that
    // must be written anyway; ftruncate would cost round trips of its own (two on sshfs).
    Pace pace(
        shape, kept,
        std::chrono::duration<double>(std::chrono::steady_clock::now() - opening).count(),
        TakesOneRequestAtATime(targetType) || TakesOneRequestAtATime(TypeOfDevice(source.device)));
    // The last piece lies on the grid of the first pieces' length, so it is no longer than
    // they are.
    const auto first = static_cast<std::int64_t>(pace.Piece());
    const bool tailFirst = directWrites && shape.presize && total > first;
    const std::int64_t tail = tailFirst ? (total - 1) / first * first : total;

    void* memory = nullptr;
    const auto depth = static_cast<std::size_t>(shape.depth);
    if (::posix_memalign(&memory, kAlignment, depth * shape.chunk) != 0) throw std::bad_alloc();
    const std::unique_ptr<unsigned char, FreeMemory> buffers(static_cast<unsigned char*>(memory));
    std::vector<Slot> slots(depth);
    for (std::size_t i = 0; i < depth; ++i) slots[i].buffer = buffers.get() + i * shape.chunk;
    // Declared last, so that on every way out it waits for what is in flight before the
    // buffers are freed and the partial target is removed.
    Requests requests(shape.overlapped);

    std::int64_t end = total;  // where the source's data ends
    std::int64_t next = 0;     // the offset of the next chunk to read in turn
    std::int64_t copied = 0;
    bool tailAsked = !tailFirst, lengthSet = !tailFirst;
    std::vector<Slot*> held;  // read while the length was not yet set: written once it is
    int reads = 0, writes = 0;
    const auto readNext = [&](Slot& s) {
        s.step = Slot::Step::Idle;
        if (!tailAsked) {
            s.offset = tail;
            tailAsked = true;
            s.length = std::min(shape.chunk, RoundUpToBlock(end - s.offset));
        } else if (next < std::min(tail, end)) {
            s.offset = next;
            // Up to the last piece, or to the end of the source where it is not written first.
            s.length = std::min(pace.Piece(), tailFirst ? static_cast<std::size_t>(tail - next)
                                                        : RoundUpToBlock(end - next));
            next += static_cast<std::int64_t>(s.length);
        } else {
            return;
        }
        s.step = Slot::Step::Reading;
        s.done = 0;
        requests.Start(s, in, false);
    };
    const auto write = [&](Slot& s) {
        s.step = Slot::Step::Writing;
        requests.Start(s, out.Fd(), true, !directWrites);
    };
    const auto setLength = [&] {
        lengthSet = true;
        for (Slot* h : held) write(*h);
        held.clear();
    };
    // Told before the first request, so a stop can come before any byte moves.
    if (progress && !progress(0, total)) throw RunInterrupted();
    for (Slot& s : slots) readNext(s);

    while (!requests.Idle()) {
        const auto finished = requests.Next(posix::kWaitTickMs);
        if (!finished) {
            // A request takes long (a slow or stalled link): the caller may stop meanwhile.
            if (progress && !progress(copied, total)) throw RunInterrupted();
            continue;
        }
        auto [slot, result] = *finished;
        Slot& s = *slot;
        if (s.step == Slot::Step::Reading) {
            if (fault && fault->side == CopyFault::Side::Read && fault->request == ++reads)
                result = -fault->error;
            if (result < 0) {
                // Some file systems accept the flag at open and refuse the reads: the rest of
                // the file is read with its cached pages dropped.
                if (result == -EINVAL && how == CacheBypass::DirectReads && SetDirect(in, false)) {
                    how = CacheBypass::DroppedPages;
                    ::posix_fadvise(in, 0, 0, POSIX_FADV_DONTNEED);
                    requests.Start(s, in, false);
                    continue;
                }
                RaiseFileError(static_cast<int>(-result), from);
            }
            s.done += static_cast<std::size_t>(result);
            // A short read before the end: the rest is asked for; nothing more means the source
            // ends there.
            if (s.done < s.length && s.offset + static_cast<std::int64_t>(s.done) < end) {
                if (result > 0) {
                    requests.Start(s, in, false);
                    continue;
                }
                end = s.offset + static_cast<std::int64_t>(s.done);
            }
            s.length = static_cast<std::size_t>(
                std::clamp<std::int64_t>(end - s.offset, 0, static_cast<std::int64_t>(s.done)));
            s.done = 0;
            const bool isTail = !lengthSet && s.offset == tail;
            if (s.length == 0) {
                if (isTail) setLength();
                readNext(s);
            } else if (!lengthSet && !isTail) {
                s.step = Slot::Step::Held;
                held.push_back(&s);
            } else {
                write(s);
                if (isTail) setLength();
            }
            continue;
        }
        if (fault && fault->side == CopyFault::Side::Write && fault->request == ++writes)
            result = -fault->error;
        if (result < 0) {
            // A file system that takes unbuffered writes only in whole blocks refuses a short
            // one: it and the rest go through the cache, flushed below.
            if (result == -EINVAL && directWrites && SetDirect(out.Fd(), false)) {
                directWrites = false;
                requests.Start(s, out.Fd(), true, !directWrites);
                continue;
            }
            RaiseFileError(static_cast<int>(-result), to);
        }
        if (result == 0) RaiseFileError(EIO, to);
        s.done += static_cast<std::size_t>(result);
        if (s.done < s.length) {
            requests.Start(s, out.Fd(), true, !directWrites);
            continue;
        }
        copied += static_cast<std::int64_t>(s.length);
        pace.Written(copied);
        // Abandoned: what is in flight is waited for, and the guard of the fresh file removes
        // what was written.
        if (progress && !progress(copied, total)) throw RunInterrupted();
        readNext(s);
    }
    // The source ended early: the target ends where it did.
    if (end != total && ::ftruncate(out.Fd(), end) != 0) RaiseFileError(errno, to);
    out.Flush();
    out.Keep();
    return how;
}

}  // namespace posix

CacheBypass CopyUncached(const std::string& from, const std::string& to,
                         const CopyProgress& progress, CopyPace* pace) {
    return posix::CopyUncachedShaped(from, to, progress, CopyShape{}, nullptr, pace);
}

void RefuseDirectReadsForTests(bool refuse) {
    gRefuseDirectReads.store(refuse);
}

}  // namespace wirepace::platform
