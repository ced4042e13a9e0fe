// SPDX-License-Identifier: MIT
#include "ui/graph/frm_test_graph.h"

#include <QPointer>
#include <QPushButton>
#include <QString>
#include <QWidget>

namespace wirepace::ui {

namespace {

QPointer<QWidget> g_window;

}  // namespace

void LoadTestGraph(const BenchmarkState& state, const std::string& testName) {
    (void)state;
    if (g_window) return;
    auto* window = new QWidget(nullptr, Qt::Window);
    window->setObjectName("frmTestGraph");
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->setFixedSize(740, 557);
    window->setWindowTitle(QString::fromStdString("Test Results for " + testName));
    auto* close = new QPushButton("Close", window);
    close->setObjectName("cmdClose");
    close->setGeometry(640, 520, 97, 33);
    QObject::connect(close, &QPushButton::clicked, window, &QWidget::close);
    g_window = window;
    window->show();
}

void CloseTestGraph() {
    if (g_window) g_window->close();
}

QWidget* TestGraphWindow() {
    return g_window.data();
}

}  // namespace wirepace::ui
