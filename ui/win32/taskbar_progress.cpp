// SPDX-License-Identifier: MIT
#include "ui/win32/taskbar_progress.h"

#include <shobjidl.h>

namespace wirepace::ui::win32 {

TaskbarProgress::~TaskbarProgress() {
    if (list_) list_->Release();
}

void TaskbarProgress::Show(HWND window, int permille, bool shown) {
    if (!tried_) {
        tried_ = true;
        // The window's thread is a single-threaded apartment already or becomes one here.
        const HRESULT init = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        if (SUCCEEDED(init) || init == RPC_E_CHANGED_MODE) {
            void* list = nullptr;
            if (SUCCEEDED(::CoCreateInstance(CLSID_TaskbarList, nullptr, CLSCTX_INPROC_SERVER,
                                             IID_ITaskbarList3, &list))) {
                list_ = static_cast<ITaskbarList3*>(list);
                if (FAILED(list_->HrInit())) {
                    list_->Release();
                    list_ = nullptr;
                }
            }
        }
    }
    if (!list_) return;
    if (!shown) {
        list_->SetProgressState(window, TBPF_NOPROGRESS);
        return;
    }
    list_->SetProgressState(window, TBPF_NORMAL);
    list_->SetProgressValue(window, static_cast<ULONGLONG>(permille), 1000);
}

}  // namespace wirepace::ui::win32
