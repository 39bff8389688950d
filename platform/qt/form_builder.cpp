#include "platform/qt/form_builder.h"

#include <algorithm>

#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

namespace zanthrel::qt {
namespace {

void setColour(QWidget& widget, QPalette::ColorRole role, Colour colour) {
    QPalette palette = widget.palette();
    palette.setColor(role, toQColor(colour));
    widget.setPalette(palette);
}

QWidget* makeLabel(const ControlLayout& layout, QWidget* parent) {
    auto* label = new ClickableLabel(parent);
    label->setTextFormat(Qt::PlainText);
    label->setText(toQString(layout.text));
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setMargin(0);
    label->setIndent(0);
    return label;
}

}  // namespace

BuiltForm::BuiltForm(const FormLayout& form, QWidget& window, TwipScale scale) : scale_(scale) {
    window.setFont(toQFont(form.font));
    window.setWindowTitle(toQString(form.caption));
    for (const ControlLayout& layout : form.controls) {
        QWidget* parent = containerFor(layout, window);
        QWidget* widget = create(layout, parent);
        widget->setObjectName(toQString(layout.name));
        QRect place = scale_.rect(layout);
        if (dynamic_cast<PictureBoxWidget*>(parent))
            place.translate(PictureBoxWidget::kBorder, PictureBoxWidget::kBorder);  // from the inner area
        widget->setGeometry(place);
        if (layout.font) widget->setFont(toQFont(*layout.font));
        if (layout.foreColour) setColour(*widget, QPalette::WindowText, *layout.foreColour);
        controls_.push_back({&layout, widget});
    }
    chainTabOrder();
}

QWidget* BuiltForm::containerFor(const ControlLayout& layout, QWidget& window) const {
    if (!layout.container) return &window;
    for (const BuiltControl& built : controls_)
        if (built.layout->id == *layout.container) return built.widget;
    return &window;
}

QWidget* BuiltForm::create(const ControlLayout& layout, QWidget* parent) const {
    switch (layout.kind) {
        case ControlKind::PictureBox: {
            auto* box = new PictureBoxWidget(parent);
            if (layout.backColour) {
                setColour(*box, QPalette::Window, *layout.backColour);
                box->setAccessibleName(QStringLiteral("Title banner"));
            } else {
                box->setAccessibleName(QStringLiteral("Snapshot holder"));
            }
            return box;
        }
        case ControlKind::Label: return makeLabel(layout, parent);
        case ControlKind::Shape: {
            auto* shape = new StatusIndicator(parent);
            shape->setFill(toQColor(layout.backColour.value_or(0)));
            shape->setAccessibleName(QStringLiteral("Protection status"));
            return shape;
        }
        case ControlKind::CommandButton: {
            auto* button = new QPushButton(toQString(layout.text), parent);
            button->setAccessibleName(toQString(layout.text).trimmed());
            return button;
        }
        case ControlKind::ListBox: {
            auto* list = new QListWidget(parent);
            list->setSelectionMode(QAbstractItemView::SingleSelection);
            list->setUniformItemSizes(true);  // the log only grows: keep appending cheap
            if (layout.backColour) setColour(*list, QPalette::Base, *layout.backColour);
            list->setAccessibleName(QStringLiteral("Log"));
            return list;
        }
        case ControlKind::TextBox: {
            // The capture counter: the logic alone writes it, so it takes neither focus nor typing.
            auto* edit = new QLineEdit(toQString(layout.text), parent);
            edit->setReadOnly(true);
            edit->setFocusPolicy(Qt::NoFocus);
            edit->setAccessibleName(QStringLiteral("Screen captures counted"));
            return edit;
        }
        case ControlKind::Frame: {
            auto* frame = new QGroupBox(toQString(layout.text), parent);
            frame->setAccessibleName(toQString(layout.text).trimmed());
            return frame;
        }
    }
    return new QWidget(parent);
}

void BuiltForm::chainTabOrder() const {
    std::vector<BuiltControl> focusable;
    for (const BuiltControl& built : controls_)
        if (built.layout->tabIndex >= 0 && built.widget->focusPolicy() & Qt::TabFocus) focusable.push_back(built);
    std::stable_sort(focusable.begin(), focusable.end(), [](const BuiltControl& a, const BuiltControl& b) {
        return a.layout->tabIndex < b.layout->tabIndex;
    });
    for (std::size_t i = 1; i < focusable.size(); ++i)
        QWidget::setTabOrder(focusable[i - 1].widget, focusable[i].widget);
    // The window opens with the focus on the first control in tab order. Left to Qt it would fall on the
    // first button created, and a stray Space after launch would switch monitoring on.
    if (!focusable.empty()) focusable.front().widget->setFocus(Qt::OtherFocusReason);
}

}  // namespace zanthrel::qt
