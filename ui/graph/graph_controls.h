// SPDX-License-Identifier: MIT
// The light controls of the results window (line and rectangle controls) and the fonts both
// windows share.
#pragma once

#include <QColor>
#include <QFont>
#include <QPalette>
#include <QWidget>

#include "ui/forms/form_design.h"

namespace wirepace::ui {

// "MS Sans Serif" at the given size where it exists, otherwise a font of the same widths
// (Liberation Sans, the widths of Arial, from fonts-liberation2), else the platform's sans.
QFont SansFont(double points, bool bold = false);
// "MS Serif" where it exists, otherwise Liberation Serif (the widths of Times New Roman), else
// the platform's serif font.
QFont SerifFont(double points);
// A described font and colour.
QFont FontFor(const forms::Font& font);
QColor ColourFor(const forms::Colour& colour, const QPalette& palette);

// A one-pixel line between two points of the parent, horizontal or vertical, in the
// window-text colour. Like the system's line drawing it covers the first end pixel and stops
// before the second.
class LineControl : public QWidget {
    Q_OBJECT

  public:
    explicit LineControl(QWidget* parent);

    void SetEnds(int x1, int y1, int x2, int y2);
    int X1() const { return x1_; }
    int Y1() const { return y1_; }
    int X2() const { return x2_; }
    int Y2() const { return y2_; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    int x1_ = 0;
    int y1_ = 0;
    int x2_ = 0;
    int y2_ = 0;
};

// A rectangle outline; clicks pass through it to what lies below.
class ShapeControl : public QWidget {
    Q_OBJECT

  public:
    explicit ShapeControl(QWidget* parent);

  protected:
    void paintEvent(QPaintEvent* event) override;
};

// A borderless rectangle filled with one colour.
class BandControl : public QWidget {
    Q_OBJECT

  public:
    explicit BandControl(QWidget* parent);

    void SetColour(const QColor& colour);
    QColor Colour() const { return colour_; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QColor colour_;
};

}  // namespace wirepace::ui
