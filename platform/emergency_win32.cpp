// SPDX-License-Identifier: MIT
// The two operations of an emergency exit on Windows; neither allocates.
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

}  // namespace detail

}  // namespace wirepace::platform
