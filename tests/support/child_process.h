// SPDX-License-Identifier: MIT
// Runs a real program of ours with its own environment, feeding standard input and reading
// standard output and error, always within a time limit.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace wirepace::testing {

class ChildProcess {
  public:
    ChildProcess(const std::vector<std::string>& argv,
                 const std::map<std::string, std::string>& env, const std::string& input = "") {
        int in[2], out[2], err[2];
        if (pipe(in) != 0 || pipe(out) != 0 || pipe(err) != 0) return;
        pid_ = fork();
        if (pid_ == 0) {
            dup2(in[0], 0);
            dup2(out[1], 1);
            dup2(err[1], 2);
            for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1]}) close(fd);
            for (const auto& [k, v] : env) setenv(k.c_str(), v.c_str(), 1);
            std::vector<char*> args;
            for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
            args.push_back(nullptr);
            execv(args[0], args.data());
            _exit(127);
        }
        close(in[0]);
        close(out[1]);
        close(err[1]);
        if (!input.empty() && write(in[1], input.data(), input.size()) < 0) inputLost_ = true;
        close(in[1]);
        out_ = out[0];
        err_ = err[0];
        fcntl(out_, F_SETFL, O_NONBLOCK);
        fcntl(err_, F_SETFL, O_NONBLOCK);
    }
    ~ChildProcess() {
        if (pid_ > 0 && !ended_) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        if (out_ >= 0) close(out_);
        if (err_ >= 0) close(err_);
    }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Reads what is there, waiting at most `ms` for more.
    void Read(int ms) {
        pollfd fds[] = {{out_, POLLIN, 0}, {err_, POLLIN, 0}};
        poll(fds, 2, ms);
        Drain(out_, stdout_);
        Drain(err_, stderr_);
    }

    // True once standard error holds `text`; false after `seconds` without it.
    bool WaitForError(const std::string& text, double seconds) {
        const auto until = Deadline(seconds);
        while (stderr_.find(text) == std::string::npos) {
            if (std::chrono::steady_clock::now() > until || Ended()) {
                Read(0);
                return stderr_.find(text) != std::string::npos;
            }
            Read(20);
        }
        return true;
    }

    // True once standard output holds `text` while the program still runs; false when it ended
    // first or `seconds` passed.
    bool WaitForOutputWhileRunning(const std::string& text, double seconds) {
        const auto until = Deadline(seconds);
        while (stdout_.find(text) == std::string::npos) {
            if (std::chrono::steady_clock::now() > until || Ended()) return false;
            Read(20);
        }
        return !Ended();
    }

    // The exit code (128 + signal for a signal), or -1 when it did not end within `seconds`.
    int Wait(double seconds) {
        const auto until = Deadline(seconds);
        while (!Ended()) {
            if (std::chrono::steady_clock::now() > until) return -1;
            Read(20);
        }
        Read(0);
        return code_;
    }

    // Closes our end of its standard output (and error): its next write there fails, as when
    // the reader of a pipe such as `| head -3` has gone.
    void CloseOutput(bool alsoError) {
        Read(0);
        close(out_);
        out_ = -1;
        if (alsoError) {
            close(err_);
            err_ = -1;
        }
    }

    void Signal(int sig) const { kill(pid_, sig); }
    int Pid() const { return pid_; }
    bool InputLost() const { return inputLost_; }
    const std::string& Out() const { return stdout_; }
    const std::string& Err() const { return stderr_; }

  private:
    static std::chrono::steady_clock::time_point Deadline(double seconds) {
        return std::chrono::steady_clock::now() +
               std::chrono::milliseconds(static_cast<long>(seconds * 1000));
    }
    static void Drain(int fd, std::string& into) {
        char buffer[4096];
        for (ssize_t n; (n = read(fd, buffer, sizeof buffer)) > 0;) into.append(buffer, n);
    }
    bool Ended() {
        if (ended_) return true;
        int status = 0;
        if (waitpid(pid_, &status, WNOHANG) == pid_) {
            ended_ = true;
            code_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        return ended_;
    }

    pid_t pid_ = -1;
    int out_ = -1, err_ = -1;
    bool ended_ = false;
    bool inputLost_ = false;
    int code_ = -1;
    std::string stdout_, stderr_;
};

// Runs to the end (at most `seconds`) and returns the exit code.
inline int RunToEnd(ChildProcess& child, double seconds = 120) {
    return child.Wait(seconds);
}

// Processes whose program file lies in `folder` (drones left running).
inline std::vector<int> ProcessesRunningFrom(const std::string& folder) {
    std::vector<int> pids;
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        const std::string name = entry.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos) continue;
        std::error_code ec;
        const auto exe = std::filesystem::read_symlink(entry.path() / "exe", ec);
        if (!ec && exe.string().rfind(folder, 0) == 0) pids.push_back(std::stoi(name));
    }
    return pids;
}

}  // namespace wirepace::testing
