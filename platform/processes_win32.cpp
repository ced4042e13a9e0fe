// SPDX-License-Identifier: MIT
// Processes on Windows: drones started with CreateProcessW inside a job that ends with this
// process, and what a program knows of itself and of this machine.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
// After <windows.h>.
#include <shellapi.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "common/error.h"
#include "platform/platform.h"
#include "platform/platform_win32_detail.h"

namespace wirepace::platform {

namespace win32 {

std::string QuoteProgramPath(const std::string& path) {
    if (path.find_first_of(" \t") == std::string::npos) return path;
    return "\"" + path + "\"";
}

std::wstring CommandLineTail(const std::wstring& commandLine) {
    std::size_t i = 0;
    if (!commandLine.empty() && commandLine[0] == L'"') {
        const auto close = commandLine.find(L'"', 1);
        i = close == std::wstring::npos ? commandLine.size() : close + 1;
    } else {
        const auto blank = commandLine.find_first_of(L" \t");
        i = blank == std::wstring::npos ? commandLine.size() : blank;
    }
    const auto first = commandLine.find_first_not_of(L" \t", i);
    return first == std::wstring::npos ? std::wstring() : commandLine.substr(first);
}

}  // namespace win32

using win32::Narrow;
using win32::Widen;

namespace {

class Win32Process : public Process {
  public:
    Win32Process(HANDLE process, DWORD id) : process_(process), id_(id) {}
    ~Win32Process() override { ::CloseHandle(process_); }
    bool HasEnded() override { return ::WaitForSingleObject(process_, 0) == WAIT_OBJECT_0; }
    bool WaitForEnd(int ms) override {
        return ::WaitForSingleObject(process_, ms < 0 ? 0 : static_cast<DWORD>(ms)) ==
               WAIT_OBJECT_0;
    }
    void Terminate() override {
        if (!HasEnded()) ::TerminateProcess(process_, 1);
    }
    int Id() const override { return static_cast<int>(id_); }

  private:
    HANDLE process_;
    DWORD id_;
};

// The job every drone belongs to: when this process ends, however it ends, the system closes
// the job's handle and ends the drones with it.
HANDLE DroneJob() {
    static const HANDLE job = [] {
        const HANDLE h = ::CreateJobObjectW(nullptr, nullptr);
        if (!h) return HANDLE{nullptr};
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
        limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
        if (!::SetInformationJobObject(h, JobObjectExtendedLimitInformation, &limits,
                                       sizeof limits)) {
            ::CloseHandle(h);
            return HANDLE{nullptr};
        }
        return h;
    }();
    return job;
}

std::unique_ptr<Process> Launch(const std::string& program, const std::string& commandLine,
                                WindowStyle style, bool inDroneJob) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = static_cast<WORD>(style == WindowStyle::Hidden ? SW_HIDE : SW_SHOWNORMAL);
    // A hidden console program gets no console of its own and does not write into the
    // controller's.
    DWORD flags = style == WindowStyle::Hidden ? CREATE_NO_WINDOW : 0;
    // Suspended until it belongs to the job, so it cannot run a moment outside it.
    if (inDroneJob) flags |= CREATE_SUSPENDED;
    const std::wstring application = Widen(program);
    std::wstring line = Widen(commandLine);  // CreateProcessW may write into it
    PROCESS_INFORMATION info{};
    if (!::CreateProcessW(application.c_str(), line.data(), nullptr, nullptr, FALSE, flags, nullptr,
                          nullptr, &startup, &info))
        RaiseFileError(static_cast<int>(::GetLastError()), program);
    if (inDroneJob) {
        if (const HANDLE job = DroneJob()) ::AssignProcessToJobObject(job, info.hProcess);
        ::ResumeThread(info.hThread);
    }
    ::CloseHandle(info.hThread);
    return std::make_unique<Win32Process>(info.hProcess, info.dwProcessId);
}

}  // namespace

std::unique_ptr<Process> StartProgram(const std::string& program, const std::string& argText,
                                      WindowStyle style) {
    std::string line = win32::QuoteProgramPath(program);
    if (!argText.empty()) line += " " + argText;
    return Launch(program, line, style, true);
}

std::string ArgumentText(int, char**) {
    // The raw command line: the C runtime's splitting would drop quotes and merge blanks.
    return Narrow(win32::CommandLineTail(::GetCommandLineW()));
}

std::vector<std::string> ProgramArguments(int argc, char** argv) {
    int count = 0;
    LPWSTR* wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    if (!wide) return std::vector<std::string>(argv, argv + argc);
    std::vector<std::string> arguments;
    for (int i = 0; i < count; ++i) arguments.push_back(Narrow(wide[i]));
    ::LocalFree(wide);
    return arguments;
}

void TieToController() {
    // The controller's job ends the drone with it; nothing to do here.
}

bool ControllerAlive() {
    return true;
}

std::string HostName() {
    wchar_t name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
    if (!::GetComputerNameW(name, &size)) return "localhost";
    return Narrow(std::wstring(name, size));
}

int CurrentProcessId() {
    return static_cast<int>(::GetCurrentProcessId());
}

bool ProcessAlive(int id) {
    if (id <= 0) return false;
    const HANDLE h = ::OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(id));
    if (!h) return ::GetLastError() == ERROR_ACCESS_DENIED;
    const bool alive = ::WaitForSingleObject(h, 0) == WAIT_TIMEOUT;
    ::CloseHandle(h);
    return alive;
}

std::optional<std::string> LogicalDriveStrings() {
    constexpr DWORD kBufferChars = 255;
    char buffer[kBufferChars + 1] = {};
    const DWORD n = ::GetLogicalDriveStringsA(kBufferChars, buffer);
    if (n == 0 || n > kBufferChars) return std::nullopt;
    return std::string(buffer, n);
}

void ReportError(const std::string& text) {
    // Unattended runs (tests, scripts) set WIREPACE_NO_MESSAGE_BOX so that a failing drone does
    // not wait for a click nobody can give.
    const auto quiet = GetEnv("WIREPACE_NO_MESSAGE_BOX");
    if (quiet && !quiet->empty() && *quiet != "0") {
        std::fputs((text + "\n").c_str(), stderr);
        std::fflush(stderr);
        return;
    }
    std::string title = ProgramPath();
    if (const auto cut = title.find_last_of("\\/"); cut != std::string::npos)
        title.erase(0, cut + 1);
    if (const auto dot = title.find_last_of('.'); dot != std::string::npos) title.erase(dot);
    ::MessageBoxW(nullptr, Widen(text).c_str(), Widen(title).c_str(),
                  MB_OK | MB_ICONERROR | MB_SETFOREGROUND);
}

bool DisplayServerAvailable() {
    return true;
}

}  // namespace wirepace::platform
