// SPDX-License-Identifier: MIT
// The progress of a run on the window's taskbar button, where the system offers it (Windows 7
// on); elsewhere nothing happens.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

struct ITaskbarList3;

namespace wirepace::ui::win32 {

class TaskbarProgress {
  public:
    TaskbarProgress() = default;
    ~TaskbarProgress();
    TaskbarProgress(const TaskbarProgress&) = delete;
    TaskbarProgress& operator=(const TaskbarProgress&) = delete;

    // `permille` of 1000 done while `shown`; the button's plain look otherwise.
    void Show(HWND window, int permille, bool shown);

  private:
    ITaskbarList3* list_ = nullptr;
    bool tried_ = false;
};

}  // namespace wirepace::ui::win32
