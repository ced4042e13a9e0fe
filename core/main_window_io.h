// SPDX-License-Identifier: MIT
// What the controller core reads and writes on the main window. The Qt window implements it
// with its widgets; the command-line front end and the tests implement it without a window.
#pragma once

#include <string>

namespace wirepace {

class MainWindowIO {
  public:
    virtual ~MainWindowIO() = default;

    virtual std::string TestId() const = 0;   // txtTestId
    virtual std::string DirPath() const = 0;  // txtDirPath
    virtual void SetDirPath(const std::string& text) = 0;
    virtual std::string UserName() const = 0;  // txtUserName
    virtual std::string Password() const = 0;  // txtPassword
    // List index of the selected cmbConnSpeed entry, -1 when none is selected.
    virtual int SelectedSpeedIndex() const = 0;

    virtual std::string NextCaption() const = 0;  // cmdNext
    virtual void SetNextCaption(const std::string& caption) = 0;
    virtual void SetNextEnabled(bool enabled) = 0;
    virtual std::string BackCaption() const = 0;  // cmdBack
    virtual void SetBackCaption(const std::string& caption) = 0;
    virtual void SetBackVisible(bool visible) = 0;

    virtual void SetStatusLine(const std::string& text) = 0;       // lbl1(5)
    virtual void SetInstructionLine(const std::string& text) = 0;  // lbl1(7)
    // Test `index` of the catalogue begins; its status lines follow. A window has
    // nothing more to do; other front ends use it to follow the run without reading the texts.
    virtual void TestStarted(int index, const std::string& id, const std::string& name) {
        (void)index;
        (void)id;
        (void)name;
    }

    virtual std::string ResultsText() const = 0;  // txtTestResults
    virtual void SetResultsText(const std::string& text) = 0;
    // Focus in the results box and caret at the end, so the newest line is in view.
    virtual void FocusResultsAtEnd() = 0;

    virtual void SetBusy(bool busy) = 0;  // busy pointer during a run
    virtual void ShowResultsPage() = 0;   // results page moved over the settings page
    virtual void OpenReports() = 0;       // loads the results graph window
    virtual void CloseWindow() = 0;       // unloads the main window
    virtual void ShowMessage(const std::string& text) = 0;  // an informational message box
};

}  // namespace wirepace
