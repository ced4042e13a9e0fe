// SPDX-License-Identifier: MIT
// Test helper: reports how it was started. It writes, one per line, its argument text as the
// platform layer reads it, the show-window request of its start-up record, its process id and
// every argument the C runtime split off, and "end", to the file named by WIREPACE_ECHO_OUT
// (written beside it first and then renamed, so a reader never sees half of it).
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <fstream>
#include <string>

#include "common/file_exists.h"
#include "platform/platform.h"

int main(int argc, char** argv) {
    using namespace wirepace;
    const auto out = platform::GetEnv("WIREPACE_ECHO_OUT");
    if (!out) return 2;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    ::GetStartupInfoW(&startup);
    {
        std::ofstream file(PathFromUtf8(*out + ".tmp"), std::ios::binary);
        file << "text=" << platform::ArgumentText(argc, argv) << '\n';
        file << "useshow=" << ((startup.dwFlags & STARTF_USESHOWWINDOW) ? 1 : 0) << '\n';
        file << "show=" << startup.wShowWindow << '\n';
        file << "pid=" << ::GetCurrentProcessId() << '\n';
        file << "argc=" << argc << '\n';
        for (int i = 1; i < argc; ++i) file << "arg=" << argv[i] << '\n';
        file << "end\n";
    }
    platform::RenameFile(*out + ".tmp", *out);
    return 0;
}
