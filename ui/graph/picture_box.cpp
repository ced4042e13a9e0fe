// SPDX-License-Identifier: MIT
#include "ui/graph/picture_box.h"

#include <QPaintEvent>
#include <QPainter>
#include <QResizeEvent>
#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace wirepace::ui {

PictureBox::PictureBox(QWidget* parent, bool border) : QWidget(parent), border_(border) {}

int PictureBox::InnerWidth() const {
    return std::max(0, width() - 2 * BorderWidth());
}
int PictureBox::InnerHeight() const {
    return std::max(0, height() - 2 * BorderWidth());
}

double PictureBox::ScaleWidth() const {
    return userX_ ? scaleWidth_ : InnerWidth();
}
double PictureBox::ScaleHeight() const {
    return userY_ ? scaleHeight_ : InnerHeight();
}

void PictureBox::SetScaleWidth(double units) {
    userX_ = true;
    scaleWidth_ = units;
}

void PictureBox::SetScaleHeight(double units) {
    userY_ = true;
    scaleHeight_ = units;
}

double PictureBox::ToPixelX(double x) const {
    double units = ScaleWidth();
    return units == 0 ? 0 : x * InnerWidth() / units;
}

double PictureBox::ToPixelY(double y) const {
    double units = ScaleHeight();
    return units == 0 ? 0 : y * InnerHeight() / units;
}

double PictureBox::WidthToUnits(int pixels) const {
    int inner = InnerWidth();
    return inner == 0 ? 0 : pixels * ScaleWidth() / inner;
}

QPoint PictureBox::ChildPosition(double x, double y) const {
    return {BorderWidth() + static_cast<int>(std::lround(ToPixelX(x))),
            BorderWidth() + static_cast<int>(std::lround(ToPixelY(y)))};
}

void PictureBox::Plot(int x, int y, QRgb rgb) {
    if (x >= 0 && y >= 0 && x < surface_.width() && y < surface_.height()) {
        surface_.setPixel(x, y, rgb);
    }
}

void PictureBox::Draw(const forms::Primitive& primitive) {
    SyncSurface();
    const forms::PixelMap map{InnerWidth(), InnerHeight(), userX_ ? scaleWidth_ : 0,
                              userY_ ? scaleHeight_ : 0};
    const QRgb rgb = qRgb(primitive.colour.r, primitive.colour.g, primitive.colour.b);
    forms::Rasterise(primitive, map, [&](int x, int y) { Plot(x, y, rgb); });
    update();
}

void PictureBox::Print(const QString& text, const QFont& font) {
    SyncSurface();
    QPainter painter(&surface_);
    painter.setFont(font);
    painter.setPen(palette().color(QPalette::WindowText));
    const QFontMetrics metrics(font);
    const int x = forms::PixelOf(ToPixelX(CurrentX));
    const int y = forms::PixelOf(ToPixelY(CurrentY));
    painter.drawText(QPoint(x, y + metrics.ascent()), text);
    painter.end();
    // The next print starts on the following line, at the left edge.
    CurrentX = 0;
    CurrentY += ScaleHeight() == 0 || InnerHeight() == 0
                    ? 0
                    : metrics.height() * ScaleHeight() / InnerHeight();
    update();
}

void PictureBox::paintEvent(QPaintEvent* event) {
    SyncSurface();
    QPainter painter(this);
    painter.setClipRegion(event->region());
    if (border_) {
        painter.setPen(palette().color(QPalette::WindowText));
        painter.drawRect(0, 0, width() - 1, height() - 1);
    }
    painter.drawImage(BorderWidth(), BorderWidth(), surface_);
}

void PictureBox::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    SyncSurface();
}

const QImage& PictureBox::Surface() {
    SyncSurface();
    return surface_;
}

void PictureBox::SyncSurface() {
    const QSize inner(std::max(1, InnerWidth()), std::max(1, InnerHeight()));
    if (surface_.size() == inner) return;
    // A larger box keeps what was drawn and shows fresh background around it.
    QImage grown(inner, QImage::Format_RGB32);
    grown.fill(palette().color(QPalette::Button));
    if (!surface_.isNull()) {
        QPainter painter(&grown);
        painter.drawImage(0, 0, surface_);
    }
    surface_ = grown;
}

}  // namespace wirepace::ui
