// SPDX-License-Identifier: MIT
// What the file layer promises the measurements and the user's files: timed copies that read
// from the disk and not from this machine's cache, no write through a link, nothing half
// written left behind.
#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "common/error.h"
#include "platform/platform.h"
#include "support/error_number.h"
#include "support/temp_dir.h"

namespace wirepace {
namespace {

namespace fs = std::filesystem;
namespace p = platform;
using testing::ErrorNumberOf;
using testing::TempDir;

constexpr std::size_t kFileBytes = 8u << 20;

// Bytes this process has caused to be fetched from the storage layer (not from the cache).
long long StorageReadBytes() {
    std::ifstream io("/proc/self/io");
    for (std::string key; io >> key;) {
        long long value = 0;
        io >> value;
        if (key == "read_bytes:") return value;
    }
    return -1;
}

// Pages of the file that sit in this machine's cache.
std::size_t ResidentPages(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY);
    const auto size = static_cast<std::size_t>(fs::file_size(path));
    void* map = ::mmap(nullptr, size, PROT_READ, MAP_SHARED, fd, 0);
    ::close(fd);
    const std::size_t page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
    std::vector<unsigned char> resident((size + page - 1) / page);
    ::mincore(map, size, resident.data());
    ::munmap(map, size);
    std::size_t n = 0;
    for (unsigned char r : resident) n += r & 1;
    return n;
}

// Reads the file the ordinary way, through the cache.
void ReadThroughCache(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<char> buffer(1 << 16);
    while (in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()))) {
    }
}

class TimedCopy : public ::testing::Test {
  protected:
    void SetUp() override {
        struct statfs fs {};
        ASSERT_EQ(::statfs(dir.Path().c_str(), &fs), 0);
        // A file system in memory has no storage layer to count reads from.
        if (fs.f_type == 0x01021994 /* tmpfs */ || fs.f_type == 0x858458f6 /* ramfs */)
            GTEST_SKIP() << "the temporary folder is in memory";
        if (StorageReadBytes() < 0) GTEST_SKIP() << "no /proc/self/io";
        testing::WriteFile(source, std::string(kFileBytes, 'x'));
        ::sync();
    }
    void TearDown() override { p::RefuseDirectReadsForTests(false); }

    // Makes sure the source is in the cache, and that reading it then costs the disk nothing:
    // the proof that a copy which does fetch it from the disk did bypass the cache.
    void CacheSource() {
        ReadThroughCache(source);
        ASSERT_GE(ResidentPages(source) * 4096, kFileBytes / 2);
        const long long before = StorageReadBytes();
        ReadThroughCache(source);
        ASSERT_LT(StorageReadBytes() - before, static_cast<long long>(kFileBytes / 4));
    }

    TempDir dir;
    std::string source = dir.Slash() + "Test8192.jnk";
    std::string target = dir.Slash() + "1Test8192.jnk";
};

TEST_F(TimedCopy, ReadsTheSourceFromTheDiskNotFromTheCache) {
    CacheSource();
    const long long before = StorageReadBytes();
    EXPECT_EQ(p::CopyUncached(source, target), p::CacheBypass::DirectReads);
    EXPECT_GE(StorageReadBytes() - before, static_cast<long long>(kFileBytes));
    EXPECT_EQ(fs::file_size(target), kFileBytes);
    EXPECT_EQ(testing::ReadFile(target), std::string(kFileBytes, 'x'));
}

TEST_F(TimedCopy, WhereUnbufferedReadsAreRefusedTheCachedPagesAreDropped) {
    p::RefuseDirectReadsForTests(true);
    CacheSource();
    const long long before = StorageReadBytes();
    EXPECT_EQ(p::CopyUncached(source, target), p::CacheBypass::DroppedPages);
    EXPECT_GE(StorageReadBytes() - before, static_cast<long long>(kFileBytes));
    EXPECT_EQ(testing::ReadFile(target), std::string(kFileBytes, 'x'));
}

TEST(FileSafety, NothingIsWrittenThroughALinkOrIntoAnythingButAPlainFile) {
    TempDir dir, outside;
    const std::string victim = outside.Slash() + "precious";
    testing::WriteFile(victim, "keep me");
    const std::string src = dir.Slash() + "src";
    testing::WriteFile(src, "data");
    const std::string link = dir.Slash() + "Test16.jnk";
    const std::string dangling = dir.Slash() + "GO.txt";
    fs::create_symlink(victim, link);
    fs::create_symlink(outside.Slash() + "created-elsewhere", dangling);

    const unsigned char image[] = {1, 2};
    for (const auto& write : std::vector<std::function<void(const std::string&)>>{
             [&](const std::string& to) { p::CopyUncached(src, to); },
             [&](const std::string& to) { p::CreateEmptyFile(to); },
             [&](const std::string& to) { p::WriteTextFile(to, "x"); },
             [&](const std::string& to) { p::WriteProgramImage(to, image, sizeof image); },
             [&](const std::string& to) { p::AppendLine(to, "x"); },
             [&](const std::string& to) { p::FileWriter writer(to); },
         }) {
        EXPECT_EQ(ErrorNumberOf([&] { write(link); }), kErrPathFileAccess);
        EXPECT_NE(ErrorNumberOf([&] { write(dangling); }), 0);
    }
    EXPECT_EQ(testing::ReadFile(victim), "keep me");
    EXPECT_EQ(testing::Entries(outside.Path()), std::vector<std::string>{"precious"});
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(p::KindOf(link), p::EntryKind::Link);
    EXPECT_EQ(p::KindOf(src), p::EntryKind::File);
    EXPECT_EQ(p::KindOf(dir.Slash()), p::EntryKind::Other);
    EXPECT_EQ(p::KindOf(dir.Slash() + "none"), p::EntryKind::Missing);

    // An exclusive creation never takes over an existing name.
    EXPECT_FALSE(p::CreateExclusiveFile(src, "mine"));
    EXPECT_EQ(testing::ReadFile(src), "data");
    EXPECT_TRUE(p::CreateExclusiveFile(dir.Slash() + "lock", "mine"));
    EXPECT_EQ(testing::ReadFile(dir.Slash() + "lock"), "mine");
}

// Runs `action` in a child process; a blocked one is ended by an alarm. The exit code of the
// child, or -1 when it hung.
template <typename Action>
int InChildWithoutHanging(Action action) {
    const pid_t child = ::fork();
    if (child == 0) {
        ::alarm(10);
        ::_exit(action());
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(FileSafety, ANamedPipeOrDeviceUnderAFileNameIsRefusedWithoutWaiting) {
    // Nobody opens the pipe's other end: an open that waits for one would wait for ever.
    TempDir dir;
    const std::string fifo = dir.Slash() + "TestResults.txt";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::vector<std::pair<const char*, std::function<void(const std::string&)>>> uses = {
        {"AppendLine", [](const std::string& path) { p::AppendLine(path, "x"); }},
        {"ReadFirstLine", [](const std::string& path) { p::ReadFirstLine(path); }},
        {"FlushFile", [](const std::string& path) { p::FlushFile(path); }},
    };
    for (const auto& [name, use] : uses) {
        for (const std::string& path : {fifo, std::string("/dev/null")}) {
            const int code = InChildWithoutHanging([&, use = use] {
                const std::string text = testing::ErrorTextOf([&] { use(path); });
                // The message names the file and says what it is instead.
                const bool clear = text.find(path) != std::string::npos &&
                                   text.find("not a plain file") != std::string::npos;
                return clear && ErrorNumberOf([&] { use(path); }) == kErrPathFileAccess ? 0 : 1;
            });
            EXPECT_EQ(code, 0) << name << " on " << path << (code < 0 ? ": it hung" : "");
        }
    }
    EXPECT_EQ(p::KindOf(fifo), p::EntryKind::Other);
}

// Runs `action` with at most `limit` bytes allowed per file, as on a nearly full disk.
template <typename Action>
int WithFileSizeLimit(rlim_t limit, Action action) {
    ::signal(SIGXFSZ, SIG_IGN);
    rlimit previous{};
    ::getrlimit(RLIMIT_FSIZE, &previous);
    rlimit small = previous;
    small.rlim_cur = limit;
    ::setrlimit(RLIMIT_FSIZE, &small);
    const int number = ErrorNumberOf(action);
    ::setrlimit(RLIMIT_FSIZE, &previous);
    return number;
}

TEST(FileSafety, AFullDiskLeavesNoHalfWrittenFileAndNoTornLogLine) {
    TempDir dir;
    const std::string src = dir.Slash() + "src";
    testing::WriteFile(src, std::string(1 << 20, 'a'));
    const std::string copy = dir.Slash() + "copy";
    EXPECT_EQ(WithFileSizeLimit(1 << 19, [&] { p::CopyUncached(src, copy); }), kErrDiskFull);
    EXPECT_FALSE(fs::exists(copy));

    const std::string written = dir.Slash() + "Test1024.jnk";
    EXPECT_EQ(WithFileSizeLimit(1 << 19,
                                [&] {
                                    p::FileWriter writer(written);
                                    const std::string block(1024, '\0');
                                    for (int i = 0; i < 1024; ++i)
                                        writer.Write(block.data(), block.size());
                                    writer.Close();
                                }),
              kErrDiskFull);
    EXPECT_FALSE(fs::exists(written));

    const std::string log = dir.Slash() + "TestResults.txt";
    p::AppendLine(log, "first");
    const std::string before = testing::ReadFile(log);
    EXPECT_EQ(WithFileSizeLimit(before.size() + 4,
                                [&] { p::AppendLine(log, "a line that does not fit"); }),
              kErrDiskFull);
    EXPECT_EQ(testing::ReadFile(log), before);
    p::AppendLine(log, "next");
    EXPECT_EQ(testing::ReadFile(log), "first\r\nnext\r\n");
}

TEST(FileSafety, AFileReplacedInOneStepIsWholeOrUntouched) {
    TempDir dir, outside;
    const std::string report = dir.Slash() + "report.html";
    p::ReplaceFileWhole(report, "first\r\n\xC3\xA9");  // bytes as they stand, no conversion
    EXPECT_EQ(testing::ReadFile(report), "first\r\n\xC3\xA9");
    EXPECT_EQ(p::ReadTextFile(report), "first\r\n\xC3\xA9");
    p::ReplaceFileWhole(report, "second");
    EXPECT_EQ(testing::ReadFile(report), "second");

    // A full disk keeps the old file and leaves no part of the new one.
    EXPECT_EQ(
        WithFileSizeLimit(1 << 10, [&] { p::ReplaceFileWhole(report, std::string(1 << 12, 'x')); }),
        kErrDiskFull);
    EXPECT_EQ(testing::ReadFile(report), "second");
    EXPECT_EQ(testing::Entries(dir.Path()), std::vector<std::string>{"report.html"});

    // Never through a link, never onto a folder, never into a missing folder.
    const std::string victim = outside.Slash() + "precious";
    testing::WriteFile(victim, "keep me");
    fs::create_symlink(victim, dir.Slash() + "link.html");
    EXPECT_EQ(ErrorNumberOf([&] { p::ReplaceFileWhole(dir.Slash() + "link.html", "x"); }),
              kErrPathFileAccess);
    EXPECT_EQ(testing::ReadFile(victim), "keep me");
    EXPECT_EQ(ErrorNumberOf([&] { p::ReplaceFileWhole(outside.Slash(), "x"); }),
              kErrPathFileAccess);
    EXPECT_EQ(ErrorNumberOf([&] { p::ReplaceFileWhole(dir.Slash() + "no/such.html", "x"); }),
              kErrPathNotFound);
    EXPECT_EQ(testing::Entries(dir.Path()), (std::vector<std::string>{"link.html", "report.html"}));
    EXPECT_EQ(ErrorNumberOf([&] { p::ReadTextFile(dir.Slash() + "none"); }), kErrFileNotFound);
}

TEST(FileSafety, NetworkFoldersAreToldFromLocalDisks) {
    TempDir dir;
    EXPECT_FALSE(p::IsNetworkFolder(dir.Slash()));
    EXPECT_FALSE(p::IsNetworkFolder("/"));
    EXPECT_TRUE(p::IsNetworkFolder("//server/share/"));
    EXPECT_TRUE(p::IsNetworkFolder("\\\\server\\share\\"));
    EXPECT_FALSE(p::IsNetworkFolder(dir.Slash() + "missing/"));
    // What the report names: the type of the mount that holds the folder.
    struct statfs st {};
    ASSERT_EQ(::statfs(dir.Path().c_str(), &st), 0);
    const std::string type = p::FileSystemType(dir.Slash());
    EXPECT_FALSE(type.empty());
    EXPECT_EQ(type == "tmpfs", static_cast<unsigned long>(st.f_type) == 0x01021994UL) << type;
    EXPECT_EQ(p::FileSystemType("/proc/self/"), "proc");
    EXPECT_EQ(p::FileSystemType(dir.Slash() + "missing/"), "");
}

}  // namespace
}  // namespace wirepace
