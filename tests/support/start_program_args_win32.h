// SPDX-License-Identifier: MIT
// Windows tests only: starts a helper program with a list of arguments, each quoted so that the
// C runtime's parser hands it back unchanged. The programs themselves start only drones, whose
// argument text travels as it stands (platform::StartProgram).
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/platform_win32_detail.h"

namespace wirepace::testing {

// One argument quoted for the C runtime: blanks, tabs and quotes inside, backslashes before a
// quote or the closing quote doubled.
inline std::string QuoteArgument(const std::string& arg) {
    if (!arg.empty() && arg.find_first_of(" \t\n\v\"") == std::string::npos) return arg;
    std::string out = "\"";
    std::size_t backslashes = 0;
    for (const char c : arg) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        if (c == '"') {
            // Each backslash before a quote is doubled, then the quote itself escaped.
            out.append(backslashes * 2 + 1, '\\');
        } else {
            out.append(backslashes, '\\');
        }
        backslashes = 0;
        out += c;
    }
    // Backslashes before the closing quote are doubled so it stays a closing quote.
    out.append(backslashes * 2, '\\');
    out += '"';
    return out;
}

class ArgsProcess : public platform::Process {
  public:
    ArgsProcess(HANDLE process, DWORD id) : process_(process), id_(id) {}
    ~ArgsProcess() override { ::CloseHandle(process_); }
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

// Starts `program` with `args` without a command interpreter and without waiting. Not in the
// drones' job: what the program starts lives and ends as it would for a user. Null when it
// cannot start.
inline std::unique_ptr<platform::Process> StartProgramArgs(const std::string& program,
                                                           const std::vector<std::string>& args,
                                                           platform::WindowStyle style) {
    std::string line = platform::win32::QuoteProgramPath(program);
    for (const auto& arg : args) line += " " + QuoteArgument(arg);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow =
        static_cast<WORD>(style == platform::WindowStyle::Hidden ? SW_HIDE : SW_SHOWNORMAL);
    const std::wstring application = platform::win32::Widen(program);
    std::wstring wideLine = platform::win32::Widen(line);  // CreateProcessW may write into it
    PROCESS_INFORMATION info{};
    if (!::CreateProcessW(application.c_str(), wideLine.data(), nullptr, nullptr, FALSE,
                          style == platform::WindowStyle::Hidden ? CREATE_NO_WINDOW : 0, nullptr,
                          nullptr, &startup, &info))
        return nullptr;
    ::CloseHandle(info.hThread);
    return std::make_unique<ArgsProcess>(info.hProcess, info.dwProcessId);
}

}  // namespace wirepace::testing
