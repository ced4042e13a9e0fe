// SPDX-License-Identifier: MIT
// The timed copy on Windows: CopyFileExW without buffering, so the source is read from where
// it lies and the target written through to it.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <string>

#include "common/error.h"
#include "platform/files_win32.h"
#include "platform/platform.h"
#include "platform/platform_win32_detail.h"

namespace wirepace::platform {

using win32::IsBadPath;
using win32::IsLinkOrFolder;
using win32::RaiseLast;
using win32::RefuseNonFile;
using win32::Widen;

namespace {

bool gRefuseUnbuffered = false;

// The system's copy engine calls back after every piece it has written; a false from the
// caller cancels the copy, and the engine removes the partial target itself.
DWORD CALLBACK OnProgress(LARGE_INTEGER total, LARGE_INTEGER copied, LARGE_INTEGER, LARGE_INTEGER,
                          DWORD, DWORD, HANDLE, HANDLE, LPVOID data) {
    const auto* progress = static_cast<const CopyProgress*>(data);
    return (*progress)(copied.QuadPart, total.QuadPart) ? PROGRESS_CONTINUE : PROGRESS_CANCEL;
}

}  // namespace

CacheBypass CopyUncached(const std::string& from, const std::string& to,
                         const CopyProgress& progress, CopyPace*) {
    if (IsBadPath(from) || IsBadPath(to))
        throw RuntimeError(kErrFileNotFound).WithPath(IsBadPath(from) ? from : to);
    const std::wstring target = Widen(to);
    // The target is made fresh: a plain file of that name goes first, a link is refused.
    const DWORD attributes = ::GetFileAttributesW(target.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        if (IsLinkOrFolder(attributes)) RefuseNonFile(to);
        if (!::DeleteFileW(target.c_str())) RaiseLast(to);
    }
    // Unbuffered: the source is read from where it lies and the target written through to it,
    // never to or from this machine's cache.
    DWORD flags = COPY_FILE_FAIL_IF_EXISTS | COPY_FILE_COPY_SYMLINK;
    if (!gRefuseUnbuffered) flags |= COPY_FILE_NO_BUFFERING;
    BOOL cancel = FALSE;
    if (!::CopyFileExW(Widen(from).c_str(), target.c_str(), progress ? OnProgress : nullptr,
                       progress ? const_cast<CopyProgress*>(&progress) : nullptr, &cancel, flags)) {
        const DWORD err = ::GetLastError();
        if (err != ERROR_FILE_EXISTS) ::DeleteFileW(target.c_str());
        if (err == ERROR_REQUEST_ABORTED) throw RunInterrupted();
        RaiseFileError(static_cast<int>(err), err == ERROR_FILE_NOT_FOUND ? from : to);
    }
    return gRefuseUnbuffered ? CacheBypass::DroppedPages : CacheBypass::DirectReads;
}

void RefuseDirectReadsForTests(bool refuse) {
    gRefuseUnbuffered = refuse;
}

}  // namespace wirepace::platform
