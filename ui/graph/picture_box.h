// SPDX-License-Identifier: MIT
// A picture box with a user scale and a persistent drawing surface: everything drawn or
// printed goes into a backing image, so it survives any repaint.
#pragma once

#include <QColor>
#include <QFont>
#include <QImage>
#include <QPoint>
#include <QString>
#include <QWidget>

#include "ui/forms/graph_picture.h"

namespace wirepace::ui {

class PictureBox : public QWidget {
    Q_OBJECT

  public:
    // `border`: a one-pixel frame around the drawing area (the area inside it is what the
    // scale spans).
    PictureBox(QWidget* parent, bool border);

    int BorderWidth() const { return border_ ? 1 : 0; }
    int InnerWidth() const;
    int InnerHeight() const;

    // Without a user scale an axis counts pixels of the drawing area.
    double ScaleWidth() const;
    double ScaleHeight() const;
    void SetScaleWidth(double units);
    void SetScaleHeight(double units);

    // Continuous pixel coordinate inside the drawing area of a position in user units.
    double ToPixelX(double x) const;
    double ToPixelY(double y) const;
    // A pixel length in user units.
    double WidthToUnits(int pixels) const;

    // Where a child control placed at (x, y) user units goes, in widget pixels.
    QPoint ChildPosition(double x, double y) const;

    // A primitive of the shared chart description, rasterised like every other window does.
    void Draw(const forms::Primitive& primitive);

    double CurrentX = 0;
    double CurrentY = 0;
    // Prints at (CurrentX, CurrentY), the text's top left corner, in the window-text colour.
    void Print(const QString& text, const QFont& font);

    const QImage& Surface();

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    void Plot(int x, int y, QRgb rgb);
    // Gives the surface the size of the drawing area, keeping what was drawn. Called before
    // every use because a hidden widget gets its resize event only when it is shown.
    void SyncSurface();

    bool border_;
    bool userX_ = false;
    bool userY_ = false;
    double scaleWidth_ = 0;
    double scaleHeight_ = 0;
    QImage surface_;
};

}  // namespace wirepace::ui
