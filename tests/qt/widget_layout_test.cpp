// The windows against their layout tables, on the offscreen platform.
#include <gtest/gtest.h>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

#include "layout/information_dialog_layout.h"
#include "layout/main_window_layout.h"
#include "platform/qt/form_widgets.h"
#include "platform/qt/information_dialog.h"
#include "platform/qt/qt_desktop.h"

namespace zanthrel::qt {
namespace {

QString shownText(const QWidget& widget) {
    if (auto* label = qobject_cast<const QLabel*>(&widget)) return label->text();
    if (auto* button = qobject_cast<const QPushButton*>(&widget)) return button->text();
    if (auto* frame = qobject_cast<const QGroupBox*>(&widget)) return frame->title();
    if (auto* edit = qobject_cast<const QLineEdit*>(&widget)) return edit->text();
    return {};
}

// Every control of `form` is in `window` where its table row puts it, with its text, font and colours.
void expectBuiltFromTable(const FormLayout& form, const QWidget& window, const TwipScale& scale) {
    for (const ControlLayout& control : form.controls) {
        SCOPED_TRACE(std::string(control.name));
        const auto* widget = window.findChild<QWidget*>(toQString(control.name));
        ASSERT_NE(widget, nullptr);
        QRect expected = scale.rect(control);
        if (control.container == ControlId::Banner)
            expected.translate(PictureBoxWidget::kBorder, PictureBoxWidget::kBorder);
        if (control.id == ControlId::Banner) expected.setWidth(window.width());  // docked across the top
        EXPECT_EQ(widget->geometry(), expected);
        const QString container = widget->parentWidget() == &window ? QString() : widget->parentWidget()->objectName();
        EXPECT_EQ(container, control.container ? toQString(form.control(*control.container).name) : QString());
        if (!control.text.empty()) {
            EXPECT_EQ(shownText(*widget), toQString(control.text));
        }

        const FontStyle font = control.font.value_or(form.font);
        EXPECT_EQ(widget->font().families().value(0), toQString(font.face));
        EXPECT_DOUBLE_EQ(widget->font().pointSizeF(), font.points);
        EXPECT_EQ(widget->font().bold(), font.weight >= 700);
        EXPECT_EQ(widget->font().underline(), font.underline);
        if (control.foreColour) {
            EXPECT_EQ(widget->palette().color(QPalette::WindowText), toQColor(*control.foreColour));
        }

        const QRect inWindow(widget->mapTo(&window, QPoint(0, 0)), widget->size());
        if (control.visibleToUser) {
            EXPECT_TRUE(window.rect().contains(inWindow));
        } else {
            EXPECT_FALSE(window.rect().intersects(inWindow)) << "a working control shows in the client area";
        }
        EXPECT_FALSE(widget->accessibleName().isEmpty() && shownText(*widget).isEmpty())
            << "a screen reader has no name for it";
    }
}

// The next control that Tab moves to: the focus chain also runs through a list's own parts.
QWidget* nextTabStop(QWidget* widget) {
    for (QWidget* next = widget->nextInFocusChain(); next != widget; next = next->nextInFocusChain())
        if ((next->focusPolicy() & Qt::TabFocus) && next->isVisibleTo(next->window())) return next;
    return widget;
}

class MainWindowLayoutTest : public ::testing::Test {
protected:
    void SetUp() override { desktop.start(); }
    QtDesktop desktop;
    MainWindow& window = desktop.window();
    TwipScale scale = QtDesktop::screenScale();
};

TEST_F(MainWindowLayoutTest, ControlsSitWhereTheTableSays) {
    const FormLayout& form = mainWindowLayout();
    EXPECT_EQ(window.windowTitle(), "Zanthrel");
    EXPECT_EQ(window.size(), QSize(scale.pixels(form.clientWidth), scale.pixels(form.clientHeight)));
    if (scale.dpi == 96) {
        EXPECT_EQ(window.size(), QSize(773, 570));
    }
    expectBuiltFromTable(form, window, scale);
}

TEST_F(MainWindowLayoutTest, FrameOffersMinimizeButNotMaximize) {
    const Qt::WindowFlags flags = window.windowFlags();
    EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(flags & Qt::WindowMinimizeButtonHint);
    EXPECT_TRUE(flags & Qt::WindowCloseButtonHint);
    EXPECT_NE(window.minimumSize(), window.maximumSize()) << "the border must stay sizable";
    EXPECT_TRUE(window.windowIcon().availableSizes().contains(QSize(32, 32)));
    EXPECT_TRUE(window.windowIcon().availableSizes().contains(QSize(16, 16)));
}

TEST_F(MainWindowLayoutTest, OnlyTheBannerFollowsTheWindowsWidth) {
    std::vector<std::pair<QWidget*, QRect>> before;
    for (QWidget* child : window.findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        before.emplace_back(child, child->geometry());
    for (const QSize size : {QSize(1100, 800), QSize(400, 300)}) {
        window.resize(size);
        ASSERT_TRUE(QTest::qWaitFor([&] { return window.size() == size; }, 2000));
        for (const auto& [child, geometry] : before) {
            SCOPED_TRACE(child->objectName().toStdString());
            const QRect expected =
                child->objectName() == "Picture2" ? QRect(0, 0, size.width(), geometry.height()) : geometry;
            EXPECT_EQ(child->geometry(), expected);
        }
    }
}

TEST_F(MainWindowLayoutTest, TabOrderFollowsTheTabIndexes) {
    // Of the controls that take the focus: List1 (6), cmdEnableDisable (8), cmdStartPause (12).
    auto* list = window.findChild<QWidget*>("List1");
    auto* block = window.findChild<QWidget*>("cmdEnableDisable");
    auto* start = window.findChild<QWidget*>("cmdStartPause");
    EXPECT_EQ(nextTabStop(list), block);
    EXPECT_EQ(nextTabStop(block), start);
    EXPECT_EQ(nextTabStop(start), list);
    for (const char* name : {"txtCounts", "Picture1", "Picture3", "lblPleaseRead", "Label3"})
        EXPECT_EQ(window.findChild<QWidget*>(name)->focusPolicy() & Qt::TabFocus, 0) << name;
}

TEST_F(MainWindowLayoutTest, InitialStateIsShown) {
    auto* list = window.findChild<QListWidget*>("List1");
    ASSERT_EQ(list->count(), 1);
    EXPECT_EQ(list->item(0)->text(),
              "Clipboard Not Protected. Please click the first button to enable the protection.");
    EXPECT_EQ(list->palette().color(QPalette::Base), QColor(0xE0, 0xE0, 0xE0));
    EXPECT_EQ(window.findChild<QWidget*>("Picture2")->palette().color(QPalette::Window), QColor(0x40, 0x40, 0x40));
    auto* shape = window.findChild<StatusIndicator*>("Shape1");
    EXPECT_TRUE(shape->isLit());
    EXPECT_EQ(shape->fill(), QColor(0, 0xFF, 0));
    EXPECT_EQ(window.findChild<QLineEdit*>("txtCounts")->text(), "0");
    EXPECT_TRUE(window.findChild<QLineEdit*>("txtCounts")->isReadOnly());
    for (const GuardTimer id : {GuardTimer::Sampling, GuardTimer::CountingWindow, GuardTimer::Blocking})
        EXPECT_FALSE(desktop.timers().isActive(id));
}

TEST(InformationDialogLayoutTest, ControlsSitWhereTheTableSays) {
    const TwipScale scale = QtDesktop::screenScale();
    InformationDialog dialog(scale);
    const FormLayout& form = informationDialogLayout();
    EXPECT_EQ(dialog.windowTitle(), "Please Read");
    const QSize size(scale.pixels(form.clientWidth), scale.pixels(form.clientHeight));
    EXPECT_EQ(dialog.minimumSize(), size);
    EXPECT_EQ(dialog.maximumSize(), size) << "the dialog must not be resizable";
    EXPECT_FALSE(dialog.windowFlags() & (Qt::WindowMaximizeButtonHint | Qt::WindowMinimizeButtonHint));
    EXPECT_TRUE(dialog.windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_TRUE(dialog.windowIcon().availableSizes().contains(QSize(16, 16)));
    dialog.resize(size);
    expectBuiltFromTable(form, dialog, scale);
    // The close button is the only control that takes the focus.
    for (QWidget* child : dialog.findChildren<QWidget*>())
        EXPECT_EQ((child->focusPolicy() & Qt::TabFocus) != 0, child == &dialog.closeButton())
            << child->objectName().toStdString();
}

}  // namespace
}  // namespace zanthrel::qt
