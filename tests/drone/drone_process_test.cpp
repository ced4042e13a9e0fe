// SPDX-License-Identifier: MIT
// The built drone as a real process, copied into a temporary folder as Drone1.exe so that this
// folder is where it looks for its handshake files.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "common/drone_protocol.h"
#include "support/temp_dir.h"

extern char** environ;

namespace wirepace::testing {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// One drone process. Its standard error goes to a file; a drone still running when the test is
// done is killed, so no failing test leaves a drone behind.
class DroneProcess {
  public:
    DroneProcess(const std::string& program, const std::string& argText,
                 const std::string& stderrPath, const std::string& workingDir = {}) {
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 2, stderrPath.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (!workingDir.empty()) posix_spawn_file_actions_addchdir_np(&actions, workingDir.c_str());
        std::string prog = program, arg = argText;
        char* argv[] = {prog.data(), arg.data(), nullptr};
        const int rc = posix_spawn(&pid_, prog.c_str(), &actions, nullptr, argv, environ);
        posix_spawn_file_actions_destroy(&actions);
        if (rc != 0) pid_ = -1;
    }
    ~DroneProcess() {
        if (pid_ > 0 && !ended_) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }
    DroneProcess(const DroneProcess&) = delete;
    DroneProcess& operator=(const DroneProcess&) = delete;

    bool Started() const { return pid_ > 0; }

    // True once the drone has ended, waiting at most `limit`.
    bool WaitForEnd(std::chrono::milliseconds limit) {
        const auto until = std::chrono::steady_clock::now() + limit;
        while (!ended_) {
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                ended_ = true;
                exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
                break;
            }
            if (std::chrono::steady_clock::now() >= until) return false;
            std::this_thread::sleep_for(2ms);
        }
        return true;
    }
    int ExitCode() const { return exitCode_; }

  private:
    pid_t pid_ = -1;
    bool ended_ = false;
    int exitCode_ = -1;
};

constexpr auto kEndLimit = 10s;

class DroneProcessTest : public ::testing::Test {
  protected:
    void SetUp() override {
        drone_ = root_.Path() / "Drone1.exe";
        fs::copy_file(WIREPACE_FERRYLET_PATH, drone_);
        fs::permissions(drone_, fs::perms::owner_exec, fs::perm_options::add);
        WriteFile(root_.Path() / "1A.jnk", Content());
    }

    static std::string Content() {
        std::string text;
        for (int i = 0; i < 70000; ++i) text += static_cast<char>('a' + i % 26);
        return text;
    }

    std::unique_ptr<DroneProcess> Start(const std::string& argText,
                                        const std::string& workingDir = {}) {
        auto p = std::make_unique<DroneProcess>(drone_.string(), argText, StderrPath(), workingDir);
        EXPECT_TRUE(p->Started());
        return p;
    }
    // Runs a drone that is expected to end by itself, and returns its exit code.
    int Run(const std::string& argText, const std::string& workingDir = {}) {
        auto p = Start(argText, workingDir);
        if (!p->WaitForEnd(kEndLimit)) {
            ADD_FAILURE() << "drone did not end: " << argText;
            return -1;
        }
        return p->ExitCode();
    }

    void Release() { WriteFile(root_.Path() / "GO.txt", ""); }
    std::string StderrPath() const { return (logs_.Path() / "stderr.txt").string(); }
    std::string Stderr() const { return ReadFile(StderrPath()); }
    fs::path RootFile(const std::string& name) const { return root_.Path() / name; }
    fs::path TargetFile(const std::string& name) const { return target_.Path() / name; }

    static void ExpectResultLine(const fs::path& path) {
        ASSERT_TRUE(fs::exists(path)) << path;
        const std::string line = ReadFile(path);
        EXPECT_TRUE(std::regex_match(line, std::regex(" [0-9]+ \r\n"))) << '"' << line << '"';
    }

    TempDir root_, target_, logs_;
    fs::path drone_;
};

TEST_F(DroneProcessTest, UploadAndDownloadCopyAndReportWholeMilliseconds) {
    Release();
    EXPECT_EQ(Run("-TO" + target_.Slash() + "?1A.jnk"), 0);
    EXPECT_EQ(ReadFile(TargetFile("1A.jnk")), Content());
    ExpectResultLine(RootFile("TXT1A.jnk"));
    // It never deletes: the release file and its source stay. Its progress file says the
    // whole file was copied.
    EXPECT_EQ(Entries(root_.Path()), (std::vector<std::string>{"1A.jnk", "Drone1.exe", "GO.txt",
                                                               "PRG1A.jnk", "TXT1A.jnk"}));
    EXPECT_EQ(ReadFile(RootFile("PRG1A.jnk")),
              ProgressLine(static_cast<std::int64_t>(Content().size())));
    EXPECT_EQ(Stderr(), "");

    WriteFile(TargetFile("2B.jnk"), "remote content");
    EXPECT_EQ(Run("-FROM" + target_.Slash() + "?2B.jnk"), 0);
    EXPECT_EQ(ReadFile(RootFile("2B.jnk")), "remote content");
    ExpectResultLine(RootFile("TXT2B.jnk"));
    EXPECT_EQ(Entries(target_.Path()), (std::vector<std::string>{"1A.jnk", "2B.jnk"}));
}

TEST_F(DroneProcessTest, WaitsForTheReleaseFileBeforeCopying) {
    auto p = Start("-TO" + target_.Slash() + "?1A.jnk");
    std::this_thread::sleep_for(300ms);
    EXPECT_FALSE(p->WaitForEnd(0ms));
    EXPECT_FALSE(fs::exists(TargetFile("1A.jnk")));
    EXPECT_FALSE(fs::exists(RootFile("TXT1A.jnk")));

    Release();
    ASSERT_TRUE(p->WaitForEnd(kEndLimit));
    EXPECT_EQ(ReadFile(TargetFile("1A.jnk")), Content());
    ExpectResultLine(RootFile("TXT1A.jnk"));
}

TEST_F(DroneProcessTest, WithoutModeKeywordEndsAtOnceAndWritesNothing) {
    // No release file exists: a drone that recognised a mode would wait and time out here.
    for (const std::string mode : {"-to", "-From", "TO", "-T", ""}) {
        EXPECT_EQ(Run(mode + target_.Slash() + "?1A.jnk"), 0) << mode;
    }
    EXPECT_EQ(Entries(root_.Path()), (std::vector<std::string>{"1A.jnk", "Drone1.exe"}));
    EXPECT_TRUE(Entries(target_.Path()).empty());
    EXPECT_EQ(Stderr(), "");
}

TEST_F(DroneProcessTest, TextBeginningWithToIsAnUploadWhateverFollows) {
    Release();
    // "-TO-FROM?1A.jnk": the directory field is "-FROM", relative to the drone's folder.
    EXPECT_EQ(Run("-TO-FROM?1A.jnk", target_.Path().string()), 0);
    EXPECT_EQ(ReadFile(TargetFile("-FROM1A.jnk")), Content());
    // A directory without its separator is a plain prefix of the file name.
    EXPECT_EQ(Run("-TO" + target_.Slash() + "pre?1A.jnk"), 0);
    EXPECT_EQ(ReadFile(TargetFile("pre1A.jnk")), Content());
    EXPECT_EQ(Entries(target_.Path()), (std::vector<std::string>{"-FROM1A.jnk", "pre1A.jnk"}));
}

TEST_F(DroneProcessTest, SecondQuestionMarkEndsTheFileField) {
    Release();
    EXPECT_EQ(Run("-TO" + target_.Slash() + "?1A.jnk?2B.jnk?x"), 0);
    EXPECT_EQ(Entries(target_.Path()), (std::vector<std::string>{"1A.jnk"}));
    ExpectResultLine(RootFile("TXT1A.jnk"));
}

TEST_F(DroneProcessTest, StopFileWithReleaseFileEndsWithoutCopying) {
    Release();
    WriteFile(RootFile("TERMDRONES.txt"), "");
    EXPECT_EQ(Run("-TO" + target_.Slash() + "?1A.jnk"), 0);
    WriteFile(TargetFile("2B.jnk"), "remote");
    EXPECT_EQ(Run("-FROM" + target_.Slash() + "?2B.jnk"), 0);
    EXPECT_EQ(Entries(root_.Path()),
              (std::vector<std::string>{"1A.jnk", "Drone1.exe", "GO.txt", "TERMDRONES.txt"}));
    EXPECT_EQ(Entries(target_.Path()), (std::vector<std::string>{"2B.jnk"}));
    EXPECT_EQ(Stderr(), "");
}

TEST_F(DroneProcessTest, ExistingTargetAndResultFileAreReplacedNotAppended) {
    Release();
    WriteFile(TargetFile("1A.jnk"), std::string(200000, 'z'));
    WriteFile(RootFile("TXT1A.jnk"), std::string(5000, '9') + "\r\n 1 \r\n");
    EXPECT_EQ(Run("-TO" + target_.Slash() + "?1A.jnk"), 0);
    EXPECT_EQ(ReadFile(TargetFile("1A.jnk")), Content());
    ExpectResultLine(RootFile("TXT1A.jnk"));
}

TEST_F(DroneProcessTest, FailedCopyIsReportedWithItsCauseAndLeavesNoResultFile) {
    Release();
    const std::string missing = RootFile("9Missing.jnk").string();
    EXPECT_NE(Run("-TO" + target_.Slash() + "?9Missing.jnk"), 0);
    EXPECT_NE(Stderr().find("File not found reading " + missing + " [53]"), std::string::npos)
        << Stderr();
    EXPECT_FALSE(fs::exists(RootFile("TXT9Missing.jnk")));
    // The cause is left beside the result file's place for the controller.
    EXPECT_EQ(ReadFile(RootFile("ERR9Missing.jnk")),
              "53 File not found reading " + missing + "\r\n");

    const std::string unreachable = target_.Slash() + "no/such/dir/1A.jnk";
    EXPECT_NE(Run("-TO" + target_.Slash() + "no/such/dir/?1A.jnk"), 0);
    EXPECT_NE(Stderr().find("Path not found writing " + unreachable + " [76]"), std::string::npos)
        << Stderr();
    EXPECT_FALSE(fs::exists(RootFile("TXT1A.jnk")));
    EXPECT_EQ(ReadFile(RootFile("ERR1A.jnk")), "76 Path not found writing " + unreachable + "\r\n");

    EXPECT_EQ(Entries(root_.Path()), (std::vector<std::string>{"1A.jnk", "Drone1.exe", "ERR1A.jnk",
                                                               "ERR9Missing.jnk", "GO.txt"}));
    EXPECT_TRUE(Entries(target_.Path()).empty());
}

TEST_F(DroneProcessTest, TheStopFileEndsACopyUnderWayAndNothingOfItStays) {
    // Eight pieces of a megabyte, each followed by a pause as on a slow link.
    const std::string big(8 << 20, 'x');
    WriteFile(RootFile("2B.jnk"), big);
    ::setenv(kSlowLinkVariable, "300", 1);
    auto p = Start("-TO" + target_.Slash() + "?2B.jnk");
    ::unsetenv(kSlowLinkVariable);
    Release();
    // The drone tells its progress while it copies.
    const auto started = std::chrono::steady_clock::now();
    std::optional<std::int64_t> copied;
    while (!copied && std::chrono::steady_clock::now() - started < kEndLimit) {
        if (fs::exists(RootFile("PRG2B.jnk")))
            copied = ParseProgressLine(ReadFile(RootFile("PRG2B.jnk")));
        std::this_thread::sleep_for(10ms);
    }
    ASSERT_TRUE(copied);
    EXPECT_LT(*copied, static_cast<std::int64_t>(big.size()));
    WriteFile(RootFile("TERMDRONES.txt"), "");
    ASSERT_TRUE(p->WaitForEnd(kEndLimit));
    EXPECT_EQ(p->ExitCode(), 0);
    // Given up: no time, no partial copy, nothing said.
    EXPECT_FALSE(fs::exists(RootFile("TXT2B.jnk")));
    EXPECT_FALSE(fs::exists(TargetFile("2B.jnk")));
    EXPECT_LT(*ParseProgressLine(ReadFile(RootFile("PRG2B.jnk"))),
              static_cast<std::int64_t>(big.size()));
    EXPECT_EQ(Stderr(), "");
}

TEST_F(DroneProcessTest, MissingFileFieldIsAnErrorOnlyOnceReleased) {
    auto p = Start("-TO" + target_.Slash());
    std::this_thread::sleep_for(200ms);
    EXPECT_FALSE(p->WaitForEnd(0ms));  // still waiting for its release
    Release();
    ASSERT_TRUE(p->WaitForEnd(kEndLimit));
    EXPECT_NE(p->ExitCode(), 0);
    EXPECT_NE(Stderr().find("Subscript out of range [9]"), std::string::npos) << Stderr();
    EXPECT_EQ(Entries(root_.Path()), (std::vector<std::string>{"1A.jnk", "Drone1.exe", "GO.txt"}));
    EXPECT_TRUE(Entries(target_.Path()).empty());
}

}  // namespace
}  // namespace wirepace::testing
