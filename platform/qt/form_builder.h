#pragma once

#include <string_view>
#include <vector>

#include <QWidget>

#include "layout/layout.h"
#include "platform/qt/form_widgets.h"

namespace zanthrel::qt {

struct BuiltControl {
    const ControlLayout* layout;
    QWidget* widget;
};

// The controls of one window, made from its layout table: kind, container, place, text, font, colours,
// accessible name and tab order. The window owns the widgets; this list only points at them.
class BuiltForm {
public:
    BuiltForm(const FormLayout& form, QWidget& window, TwipScale scale);

    // The widget made for a row of the table, if it is of that type; for wiring the window once.
    template <typename Widget>
    Widget* control(ControlId id) const {
        for (const BuiltControl& built : controls_)
            if (built.layout->id == id) return dynamic_cast<Widget*>(built.widget);
        return nullptr;
    }
    const std::vector<BuiltControl>& controls() const noexcept { return controls_; }
    const TwipScale& scale() const noexcept { return scale_; }

private:
    QWidget* create(const ControlLayout& layout, QWidget* parent) const;
    QWidget* containerFor(const ControlLayout& layout, QWidget& window) const;
    void chainTabOrder() const;

    TwipScale scale_;
    std::vector<BuiltControl> controls_;
};

}  // namespace zanthrel::qt
