// SPDX-License-Identifier: MIT
#include "ui/graph/graph_controls.h"

#include <QFontDatabase>
#include <QPainter>
#include <algorithm>
#include <cstdlib>

namespace wirepace::ui {

namespace {
QFont ClassicFont(const QString& family, QFont::StyleHint fallback, double points, bool bold) {
    // Widths as close to the classic fonts as free fonts get, so every caption keeps the room
    // the layout gives it.
    const QString alike = fallback == QFont::Serif ? QStringLiteral("Liberation Serif")
                                                   : QStringLiteral("Liberation Sans");
    QFont font;
    if (QFontDatabase::hasFamily(family)) {
        font = QFont(family);
    } else if (QFontDatabase::hasFamily(alike)) {
        font = QFont(alike);
    } else if (fallback == QFont::Serif) {
        font = QFont(QStringLiteral("serif"));
        font.setStyleHint(QFont::Serif);
    } else {
        font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    }
    font.setPointSizeF(points);
    font.setBold(bold);
    return font;
}
}  // namespace

QFont SansFont(double points, bool bold) {
    return ClassicFont(QStringLiteral("MS Sans Serif"), QFont::SansSerif, points, bold);
}

QFont SerifFont(double points) {
    return ClassicFont(QStringLiteral("MS Serif"), QFont::Serif, points, false);
}

QFont FontFor(const forms::Font& font) {
    if (QLatin1String(font.face) == QLatin1String(forms::kSerifFace)) return SerifFont(font.points);
    return SansFont(font.points, font.bold);
}

QColor ColourFor(const forms::Colour& colour, const QPalette& palette) {
    switch (colour.system) {
        case forms::SystemColour::ButtonFace:
            return palette.color(QPalette::Button);
        case forms::SystemColour::HighlightText:
            return palette.color(QPalette::HighlightedText);
        case forms::SystemColour::WindowText:
            return palette.color(QPalette::WindowText);
        case forms::SystemColour::WindowBackground:
            return palette.color(QPalette::Base);
        case forms::SystemColour::None:
            break;
    }
    return QColor(colour.rgb.r, colour.rgb.g, colour.rgb.b);
}

LineControl::LineControl(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void LineControl::SetEnds(int x1, int y1, int x2, int y2) {
    x1_ = x1;
    y1_ = y1;
    x2_ = x2;
    y2_ = y2;
    if (x1 == x2) {
        setGeometry(x1, std::min(y1, y2), 1, std::max(1, std::abs(y2 - y1)));
    } else {
        setGeometry(std::min(x1, x2), y1, std::max(1, std::abs(x2 - x1)), 1);
    }
}

void LineControl::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), palette().color(QPalette::WindowText));
}

ShapeControl::ShapeControl(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void ShapeControl::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawRect(0, 0, width() - 1, height() - 1);
}

BandControl::BandControl(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void BandControl::SetColour(const QColor& colour) {
    colour_ = colour;
    update();
}

void BandControl::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), colour_);
}

}  // namespace wirepace::ui
