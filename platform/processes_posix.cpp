// SPDX-License-Identifier: MIT
// Processes on POSIX: drones started with posix_spawn and tied to their controller, and what
// a program knows of itself and of this machine.
#include <signal.h>
#include <spawn.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "common/drone_protocol.h"
#include "common/error.h"
#include "platform/files_posix.h"
#include "platform/platform.h"

#if defined(__linux__)
#include <sys/prctl.h>
#endif

extern char** environ;

namespace wirepace::platform {

using posix::ParentOf;

namespace {

class PosixProcess : public Process {
  public:
    explicit PosixProcess(pid_t pid) : pid_(pid) {}
    ~PosixProcess() override {
        // A child nobody waits for any more must not stay a zombie; a still running one is
        // left to end by itself (drones end once released), and is reaped then by init.
        HasEnded();
    }
    bool HasEnded() override {
        if (ended_) return true;
        int status = 0;
        const pid_t r = ::waitpid(pid_, &status, WNOHANG);
        if (r == pid_ || (r < 0 && errno == ECHILD)) ended_ = true;
        return ended_;
    }
    bool WaitForEnd(int ms) override {
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (!HasEnded()) {
            if (std::chrono::steady_clock::now() >= until) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return true;
    }
    void Terminate() override {
        if (!HasEnded()) ::kill(pid_, SIGKILL);
    }
    int Id() const override { return static_cast<int>(pid_); }

  private:
    pid_t pid_;
    bool ended_ = false;
};

// A program that cannot start because its folder's file system forbids running programs gets
// a message that says so, not a bare "Permission denied".
[[noreturn]] void RaiseSpawnError(int error, const std::string& program) {
    if (error == EACCES) {
        const std::string folder = ParentOf(program);
        struct statvfs vfs {};
        if (::statvfs(folder.c_str(), &vfs) == 0 && (vfs.f_flag & ST_NOEXEC))
            throw RuntimeError(kErrPermissionDenied,
                               "Programs cannot be started from " + folder +
                                   ": its file system is mounted noexec; point XDG_CACHE_HOME at "
                                   "a folder where they can")
                .WithPath(program);
    }
    RaiseFileError(error, program);
}

std::unique_ptr<Process> Spawn(const std::string& program, const std::vector<std::string>& args,
                               const std::vector<std::string>& extraEnvironment = {}) {
    std::vector<char*> argv;
    std::string prog = program;
    argv.push_back(prog.data());
    std::vector<std::string> copies = args;
    for (auto& a : copies) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<std::string> environment = extraEnvironment;
    std::vector<char*> envp;
    for (auto& e : environment) envp.push_back(e.data());
    for (char** e = environ; *e; ++e) {
        bool replaced = false;
        for (const auto& mine : extraEnvironment)
            if (std::strncmp(*e, mine.c_str(), mine.find('=') + 1) == 0) replaced = true;
        if (!replaced) envp.push_back(*e);
    }
    envp.push_back(nullptr);
    // A process group of its own: Ctrl-C at the terminal means "stop the run" to the
    // controller, and must not kill the drones under it before they are told to end.
    posix_spawnattr_t attr;
    ::posix_spawnattr_init(&attr);
    ::posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP);
    ::posix_spawnattr_setpgroup(&attr, 0);
    pid_t pid = 0;
    const int rc = ::posix_spawn(&pid, prog.c_str(), nullptr, &attr, argv.data(), envp.data());
    ::posix_spawnattr_destroy(&attr);
    if (rc != 0) RaiseSpawnError(rc, program);
    return std::make_unique<PosixProcess>(pid);
}

pid_t ExpectedController() {
    static const pid_t expected = [] {
        const char* text = std::getenv(kControllerPidVariable);
        return text ? static_cast<pid_t>(std::atol(text)) : static_cast<pid_t>(0);
    }();
    return expected;
}

}  // namespace

std::unique_ptr<Process> StartProgram(const std::string& program, const std::string& argText,
                                      WindowStyle) {
    return Spawn(program, {argText},
                 {std::string(kControllerPidVariable) + "=" + std::to_string(::getpid())});
}

std::string ArgumentText(int argc, char** argv) {
    std::string text;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) text += ' ';
        text += argv[i];
    }
    const auto first = text.find_first_not_of(' ');
    return first == std::string::npos ? std::string() : text.substr(first);
}

std::vector<std::string> ProgramArguments(int argc, char** argv) {
    return std::vector<std::string>(argv, argv + argc);
}

void TieToController() {
#if defined(__linux__)
    // Killed with the controller; and if the controller ended before this took hold, the parent
    // is already someone else.
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
#endif
    if (!ControllerAlive()) std::_Exit(0);
}

bool ControllerAlive() {
    const pid_t expected = ExpectedController();
    // Started by hand (tests, a user): nobody to watch.
    if (expected <= 0) return true;
    return ::getppid() == expected;
}

std::string HostName() {
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0) return "localhost";
    return name;
}

int CurrentProcessId() {
    return static_cast<int>(::getpid());
}

bool ProcessAlive(int id) {
    if (id <= 0) return false;
    return ::kill(static_cast<pid_t>(id), 0) == 0 || errno == EPERM;
}

std::optional<std::string> LogicalDriveStrings() {
    return std::nullopt;
}

void ReportError(const std::string& text) {
    std::fputs(text.c_str(), stderr);
    std::fputc('\n', stderr);
    std::fflush(stderr);
}

bool DisplayServerAvailable() {
#if defined(__APPLE__)
    return true;
#else
    return GetEnv("DISPLAY") || GetEnv("WAYLAND_DISPLAY");
#endif
}

}  // namespace wirepace::platform
