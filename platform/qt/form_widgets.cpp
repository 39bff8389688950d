#include "platform/qt/form_widgets.h"

#include <QMouseEvent>
#include <QPainter>

#include "layout/main_window_layout.h"
#include "platform/qt/qt_picture.h"

namespace zanthrel::qt {

QString toQString(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QColor toQColor(Colour bgr) {
    return QColor(bgr & 0xFF, (bgr >> 8) & 0xFF, (bgr >> 16) & 0xFF);
}

QFont toQFont(const FontStyle& fontStyle) {
    QFont font;
    // MS Sans Serif and Trebuchet MS are Windows faces; the substitutes are close in width, so the
    // texts wrap in their boxes much as they do on Windows.
    if (fontStyle.face == "Trebuchet MS")
        font.setFamilies({"Trebuchet MS", "Fira Sans", "Ubuntu", "Cantarell", "DejaVu Sans", "Liberation Sans"});
    else
        font.setFamilies({toQString(fontStyle.face), "Microsoft Sans Serif", "Liberation Sans", "Arimo", "Arial",
                          "Nimbus Sans", "DejaVu Sans"});
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(fontStyle.points);
    font.setWeight(fontStyle.weight >= 700 ? QFont::Bold : QFont::Normal);
    font.setUnderline(fontStyle.underline);
    return font;
}

QRect TwipScale::rect(const ControlLayout& control) const {
    return QRect(pixels(control.left), pixels(control.top), pixels(control.width), pixels(control.height));
}

PictureBoxWidget::PictureBoxWidget(QWidget* parent) : QWidget(parent) {}

void PictureBoxWidget::setPicture(PictureRef picture) {
    picture_ = std::move(picture);
    update();
}

void PictureBoxWidget::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QRect outer = rect();
    painter.fillRect(outer, palette().color(QPalette::Window));
    if (const auto* picture = dynamic_cast<const QtPicture*>(picture_.get()))
        painter.drawImage(QPoint(kBorder, kBorder), picture->view());
    // The sunken edge of a Windows client area: shadow and dark shadow above and left, highlight and
    // light below and right.
    const QColor shadow(0xA0, 0xA0, 0xA0), darkShadow(0x69, 0x69, 0x69), light(0xE3, 0xE3, 0xE3);
    const int right = outer.right(), bottom = outer.bottom();
    painter.setPen(shadow);
    painter.drawLine(0, 0, right - 1, 0);
    painter.drawLine(0, 0, 0, bottom - 1);
    painter.setPen(darkShadow);
    painter.drawLine(1, 1, right - 2, 1);
    painter.drawLine(1, 1, 1, bottom - 2);
    painter.setPen(Qt::white);
    painter.drawLine(0, bottom, right, bottom);
    painter.drawLine(right, 0, right, bottom);
    painter.setPen(light);
    painter.drawLine(1, bottom - 1, right - 1, bottom - 1);
    painter.drawLine(right - 1, 1, right - 1, bottom - 1);
}

StatusIndicator::StatusIndicator(QWidget* parent) : QWidget(parent) {
    blink_.setInterval(kIndicatorBlinkMs);
    connect(&blink_, &QTimer::timeout, this, [this] { showLit(!shownLit_); });
}

void StatusIndicator::setFill(QColor fill) {
    if (fill == fill_) return;
    fill_ = fill;
    update();
}

void StatusIndicator::setLit(bool lit) {
    lit_ = lit;
    if (!blink_.isActive()) showLit(lit_);
}

void StatusIndicator::setBlinking(bool blinking) {
    if (blinking == blink_.isActive()) return;
    if (blinking) {
        blink_.start();
        return;
    }
    blink_.stop();
    showLit(lit_);
}

void StatusIndicator::showLit(bool lit) {
    if (lit == shownLit_) return;
    shownLit_ = lit;
    update();
}

void StatusIndicator::paintEvent(QPaintEvent*) {
    if (!shownLit_) return;  // the banner behind shows through, as when a shape is hidden
    QPainter painter(this);
    painter.fillRect(rect(), fill_);
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

void ClickableLabel::mousePressEvent(QMouseEvent* event) {
    pressed_ = event->button() == Qt::LeftButton;
    QLabel::mousePressEvent(event);
}

void ClickableLabel::mouseReleaseEvent(QMouseEvent* event) {
    const bool click = pressed_ && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint());
    pressed_ = false;
    QLabel::mouseReleaseEvent(event);
    if (click) emit clicked();
}

}  // namespace zanthrel::qt
