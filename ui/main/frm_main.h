// SPDX-License-Identifier: MIT
// The main window with Qt widgets: the controls are created from the shared description, the
// handlers are the shared wizard's, which drives the run engine and follows its events.
#pragma once

#include <QWidget>
#include <map>
#include <string>
#include <string_view>

#include "core/run_engine.h"
#include "ui/forms/wizard.h"

class QPlainTextEdit;

namespace wirepace::ui {

class FrmMain : public QWidget, public forms::WizardWindow {
    Q_OBJECT

  public:
    // Builds the controls and runs Form_Load, which shows the window on the name page.
    explicit FrmMain(RunEnvironment environment = ControllerEnvironment());
    ~FrmMain() override;
    FrmMain(const FrmMain&) = delete;
    FrmMain& operator=(const FrmMain&) = delete;

    void cmdOk_Click();
    void cmdBack_Click();
    void cmdExit_Click();
    void cmbConnType_Click();
    // Enter (key code 13) accepts the name; every other key is left alone. Returns whether the
    // key was consumed, which it never is.
    bool txtTestId_KeyDown(int keyCode, Qt::KeyboardModifiers shift);

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

  protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    bool focusNextPrevChild(bool next) override;

  private:
    void CreateControls();
    QWidget* Widget(std::string_view control) const;
    std::string NameOf(const QWidget* widget) const;

    void SetCaption(std::string_view control, const QString& caption);

    std::map<std::string, QWidget*, std::less<>> controls_;
    // Labels' captions as set; a label shows them shortened when they exceed its room.
    std::map<std::string, std::string, std::less<>> captions_;
    // The Enter the name box has just handled, which then reaches the window unhandled.
    const QEvent* nameEnter_ = nullptr;
    QPlainTextEdit* txtTestResults_ = nullptr;
};

}  // namespace wirepace::ui
