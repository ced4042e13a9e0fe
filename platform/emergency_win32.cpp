// SPDX-License-Identifier: MIT
// The operations of an emergency exit on Windows; none allocates.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include "platform/platform_emergency.h"
#include "platform/text_win32.h"

namespace wirepace::platform {

namespace detail {

void KillProcessNow(int id) noexcept {
    if (id <= 0) return;
    if (const HANDLE h = ::OpenProcess(PROCESS_TERMINATE, FALSE, static_cast<DWORD>(id))) {
        ::TerminateProcess(h, 1);
        ::CloseHandle(h);
    }
}

void RemoveFileNow(const char* utf8Path) noexcept {
    wchar_t wide[4096];
    if (win32::WidenInto(utf8Path, wide, sizeof wide / sizeof wide[0])) ::DeleteFileW(wide);
}

// Nothing to detach from: a deletion on a share that stopped answering is ended by the
// networking layer's own time-out.
void RunBoundedNow(void (*work)() noexcept, int) noexcept {
    work();
}

// A share is mapped with the networking API: no mount, no daemon, no credentials file.
void KillProcessGroupNow(int) noexcept {}
void UnmountNow(const char*, const char*) noexcept {}

}  // namespace detail

}  // namespace wirepace::platform
