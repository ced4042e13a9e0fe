// SPDX-License-Identifier: MIT
// Window tests answer the modal dialogs a click opens (a file dialog, a message box) the way a
// user would, from inside the dialog's own event loop: set one up before the click.
#pragma once

#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QStringList>
#include <QTimer>

namespace wirepace::testing {

// Answers the next file dialog: notes the file it offers, then picks `path`, or cancels when
// `path` is empty.
class FileDialogAnswer {
  public:
    explicit FileDialogAnswer(QString path) : path_(std::move(path)) {
        timer_.setInterval(10);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            if (!dialog || !dialog->isVisible()) return;
            if (!answered) offered = dialog->selectedFiles().value(0);
            answered = true;
            if (path_.isEmpty()) {
                timer_.stop();
                dialog->reject();
                return;
            }
            // Typed into the name box, as a user would (selectFile leaves a box that has the
            // focus alone); accepted once the dialog has taken it.
            if (auto* name = dialog->findChild<QLineEdit*>("fileNameEdit")) name->setText(path_);
            if (dialog->selectedFiles().value(0) != path_) return;
            timer_.stop();
            static_cast<QDialog*>(dialog)->accept();  // as the dialog's own button does
        });
        timer_.start();
    }

    bool answered = false;
    QString offered;  // the full path the dialog proposed

  private:
    QString path_;
    QTimer timer_;
};

// Notes and dismisses every message box while it lives.
class MessageBoxWatch {
  public:
    MessageBoxWatch() {
        timer_.setInterval(10);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                texts << box->text();
                box->done(QMessageBox::Ok);
            }
        });
        timer_.start();
    }

    QStringList texts;

  private:
    QTimer timer_;
};

}  // namespace wirepace::testing
