// SPDX-License-Identifier: MIT
// The main window: a three-page wizard (name, settings, results) with a grey banner on top and
// a grey button bar below. The run itself belongs to the core's TestSequence; the window only
// hands it its widgets through MainWindowIO.
#pragma once

#include <QWidget>
#include <array>
#include <string>

#include "common/pause.h"
#include "core/main_window_io.h"
#include "core/test_sequence.h"

class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace wirepace::ui {

class frmMain : public QWidget, public MainWindowIO {
    Q_OBJECT

  public:
    // Builds the controls and runs Form_Load, which shows the window on the name page.
    frmMain();
    ~frmMain() override;
    frmMain(const frmMain&) = delete;
    frmMain& operator=(const frmMain&) = delete;

    void cmdOk_Click();
    void cmdBack_Click();
    void cmdExit_Click();
    void cmbConnType_Click();
    // Enter (key code 13) accepts the name; every other key is left alone. Returns whether the
    // key was consumed, which it never is.
    bool txtTestId_KeyDown(int keyCode, Qt::KeyboardModifiers shift);

    TestSequence& Sequence() { return sequence_; }

    // MainWindowIO
    std::string TestId() const override;
    std::string DirPath() const override;
    void SetDirPath(const std::string& text) override;
    std::string UserName() const override;
    std::string Password() const override;
    int SelectedSpeedIndex() const override;
    std::string NextCaption() const override;
    void SetNextCaption(const std::string& caption) override;
    void SetNextEnabled(bool enabled) override;
    std::string BackCaption() const override;
    void SetBackCaption(const std::string& caption) override;
    void SetBackVisible(bool visible) override;
    void SetStatusLine(const std::string& text) override;
    void SetInstructionLine(const std::string& text) override;
    std::string ResultsText() const override;
    void SetResultsText(const std::string& text) override;
    void FocusResultsAtEnd() override;
    void SetBusy(bool busy) override;
    void ShowResultsPage() override;
    void OpenReports() override;
    void CloseWindow() override;
    void ShowMessage(const std::string& text) override;

  protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void CreateControls();
    void Form_Load();
    void Form_QueryUnload();
    void SetCaption(QLabel* label, const QString& caption);
    void OnResultsEdited();

    std::array<QFrame*, 3> fra1_{};
    std::array<QLabel*, 9> lbl1_{};
    std::array<QFrame*, 3> dummy_{};
    QFrame* fraTop_ = nullptr;
    QFrame* fraBottom_ = nullptr;
    QPushButton* cmdNext_ = nullptr;
    QPushButton* cmdBack_ = nullptr;
    QPushButton* cmdExit_ = nullptr;
    QPushButton* cmdOk_ = nullptr;
    QLineEdit* txtTestId_ = nullptr;
    QLineEdit* txtDirPath_ = nullptr;
    QLineEdit* txtUserName_ = nullptr;
    QLineEdit* txtPassword_ = nullptr;
    QComboBox* cmbConnType_ = nullptr;
    QComboBox* cmbConnSpeed_ = nullptr;
    QPlainTextEdit* txtTestResults_ = nullptr;

    // The log exactly as the core set it (CR LF line ends); the box shows it as lines.
    std::string results_;
    bool settingResults_ = false;

    TestSequence sequence_;
    PumpHook previousPump_;
};

}  // namespace wirepace::ui
