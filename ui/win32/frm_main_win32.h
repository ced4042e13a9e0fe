// SPDX-License-Identifier: MIT
// frmMain with the system's own controls, created from the shared description; its handlers
// are the shared wizard's, which drives the run engine and follows its events.
#pragma once

#include <atomic>
#include <functional>

#include "core/run_engine.h"
#include "ui/forms/wizard.h"
#include "ui/win32/form_host.h"
#include "ui/win32/taskbar_progress.h"

namespace wirepace::ui::win32 {

inline constexpr const wchar_t* kMainClass = L"WirepaceMainWindow";
// Carries one event of the run (a heap-allocated task in lParam) to the window's thread.
inline constexpr UINT kRunEventMessage = WM_APP + 1;

class FrmMain : public forms::WizardWindow {
  public:
    // Creates the window and runs Form_Load, which shows it on the name page.
    explicit FrmMain(RunEnvironment environment = ControllerEnvironment());
    ~FrmMain() override;
    FrmMain(const FrmMain&) = delete;
    FrmMain& operator=(const FrmMain&) = delete;

    HWND Hwnd() const { return hwnd_; }
    bool Closed() const { return hwnd_ == nullptr; }
    FormHost& Host() { return host_; }

    // Keyboard handling of the window before a message is dispatched: the tab chain, the
    // name box's keys and the default button. True when the message was used up.
    bool PreTranslate(MSG& msg);

    // WizardView
    std::string Text(std::string_view control) const override;
    void SetText(std::string_view control, const std::string& text) override;
    void SetVisible(std::string_view control, bool visible) override;
    bool IsVisible(std::string_view control) const override;
    void SetEnabled(std::string_view control, bool enabled) override;
    bool IsEnabled(std::string_view control) const override;
    void BringToFront(std::string_view control) override;
    void SetFocus(std::string_view control) override;
    void SetBackColour(std::string_view control, const forms::Colour& colour) override;
    void MoveTo(std::string_view control, std::string_view placeOf) override;
    // The bar, and the progress of the window's taskbar button with it.
    void SetProgress(std::string_view control, int permille) override;
    void ClearList(std::string_view list) override;
    void AddListItem(std::string_view list, const std::string& item) override;
    void SetListIndex(std::string_view list, int index) override;
    int ListIndex(std::string_view list) const override;
    void SetTitle(const std::string& title) override;
    void SetWindowSize(int width, int height) override;
    void ShowWindow() override;
    void CloseMainWindow() override;
    void CloseOtherWindows() override;
    void ShowMessage(const std::string& text) override;
    void SetDefaultButton(std::string_view button) override;

    // WizardWindow beyond the controls
    void PostToWindow(std::function<void()> task) override;
    void FocusResultsAtEnd() override;
    void SetBusy(bool busy) override;
    void OpenReports(const RunResult& result, const std::string& testName) override;

  private:
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    LRESULT Handle(UINT msg, WPARAM wp, LPARAM lp);
    void OnCommand(int id, int code);
    void UpdateCursor();
    std::string FocusedControl() const;

    HWND hwnd_ = nullptr;
    // The window the run's thread posts its events to, cleared when the window goes.
    std::atomic<HWND> eventTarget_{nullptr};
    TaskbarProgress taskbar_;
    FormHost host_;
    bool busy_ = false;
};

// Processes pending messages of the thread with the window's keyboard handling.
void PumpMessages();

// The message loop of the program: runs until the main window is closed.
int RunMessageLoop();

}  // namespace wirepace::ui::win32
