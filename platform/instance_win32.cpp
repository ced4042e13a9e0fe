// SPDX-License-Identifier: MIT
// One instance on Windows: a named mutex.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <memory>

#include "platform/platform.h"

namespace wirepace::platform {

namespace {

class MutexLock : public InstanceLock {
  public:
    explicit MutexLock(HANDLE mutex) : mutex_(mutex) {}
    ~MutexLock() override { ::CloseHandle(mutex_); }

  private:
    HANDLE mutex_;
};

}  // namespace

std::unique_ptr<InstanceLock> AcquireSingleInstance() {
    const HANDLE mutex = ::CreateMutexW(nullptr, FALSE, L"Local\\Wirepace.SingleInstance");
    const DWORD err = ::GetLastError();
    if (!mutex) {
        // Held by another instance under other security settings.
        if (err == ERROR_ACCESS_DENIED) return nullptr;
        RaiseFileError(static_cast<int>(err), "Local\\Wirepace.SingleInstance");
    }
    if (err == ERROR_ALREADY_EXISTS) {
        ::CloseHandle(mutex);
        return nullptr;
    }
    return std::make_unique<MutexLock>(mutex);
}

}  // namespace wirepace::platform
