#pragma once

#include <QColor>
#include <QFont>
#include <QLabel>
#include <QRect>
#include <QTimer>
#include <QWidget>

#include "core/picture.h"
#include "layout/layout.h"

namespace zanthrel::qt {

QString toQString(std::string_view text);
QColor toQColor(Colour bgr);

// The face asked for, then faces of the same build and width that Linux desktops have.
QFont toQFont(const FontStyle& fontStyle);

// Converts layout twips to pixels at one density.
struct TwipScale {
    int dpi = 96;
    int pixels(int twips) const { return twipsToPixels(twips, dpi); }
    QRect rect(const ControlLayout& control) const;
};

// A picture box: a background colour inside a sunken 3-D border of two pixels a side; children are
// placed from the inner corner. A snapshot holder also shows its picture, should the user ever drag
// the window large enough to see it.
class PictureBoxWidget final : public QWidget {
public:
    static constexpr int kBorder = 2;
    explicit PictureBoxWidget(QWidget* parent);
    void setPicture(PictureRef picture);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    PictureRef picture_;
};

// The status indicator: a solid rectangle with a one-pixel border. While monitoring runs it blinks at a
// pace of its own (kIndicatorBlinkMs) rather than on the logic's ticks; otherwise it shows the logic's state.
class StatusIndicator final : public QWidget {
public:
    explicit StatusIndicator(QWidget* parent);
    void setFill(QColor fill);
    void setLit(bool lit);
    void setBlinking(bool blinking);
    // The logic's state, and what is painted now.
    bool isLit() const noexcept { return lit_; }
    bool isShownLit() const noexcept { return shownLit_; }
    bool isBlinking() const noexcept { return blink_.isActive(); }
    QColor fill() const { return fill_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void showLit(bool lit);

    QColor fill_;
    bool lit_ = true;
    bool shownLit_ = true;
    QTimer blink_;
};

// A label that reports a click: press and release inside it with the left button.
class ClickableLabel final : public QLabel {
    Q_OBJECT
public:
    using QLabel::QLabel;

signals:
    void clicked();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    bool pressed_ = false;
};

}  // namespace zanthrel::qt
