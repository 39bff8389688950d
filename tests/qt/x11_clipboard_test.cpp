// The program against the real X11 CLIPBOARD selection of a private Xvfb server, with xclip as the
// other program. Run through with_xvfb.sh.
#include <gtest/gtest.h>
#include <QApplication>
#include <QPushButton>

#include "core/runtime_error.h"
#include "core/texts.h"
#include "x11_fixture.h"

namespace zanthrel::qt {
namespace {

using testing::countEntries;
using testing::offeredTypes;
using testing::waitUntil;
using testing::X11ClipboardTest;
using testing::XclipCopy;
using testing::xclipPasteStatus;

TEST_F(X11ClipboardTest, BlockingEmptiesTextAndPicturesLeavingNoOwner) {
    click("cmdEnableDisable");
    ASSERT_TRUE(desktop->timers().isActive(GuardTimer::Blocking));
    const std::pair<QString, QString> copies[] = {{writeText("secret.txt", "my password"), QString()},
                                                  {writePng("capture.png", Qt::red), "image/png"}};
    for (const auto& [file, type] : copies) {
        SCOPED_TRACE(type.isEmpty() ? "text" : type.toStdString());
        XclipCopy copy(file, type);
        ASSERT_TRUE(copy.started()) << "xclip did not start";
        ASSERT_TRUE(waitUntil([&] { return !copy.running(); })) << "xclip still owns the clipboard: not emptied";
        // Held for a moment by the guard, the clipboard offers nothing; then it is left without owner.
        EXPECT_NE(xclipPasteStatus(), 0) << "xclip -o could still read the clipboard";
        EXPECT_NE(xclipPasteStatus("image/png"), 0);
        EXPECT_EQ(offeredTypes(), QStringList());
        EXPECT_TRUE(waitUntil([&] { return !selection->hasOwner(); })) << "the guard kept the clipboard";
        EXPECT_NE(xclipPasteStatus("TARGETS"), 0);
    }
    click("cmdEnableDisable");  // unblocking restores nothing
    EXPECT_FALSE(selection->hasOwner());
    EXPECT_EQ(desktop->clipboard().reader()->emptyingCount(), 2u) << "one emptying per copy";
}

TEST_F(X11ClipboardTest, FourthNewPictureRaisesTheAlarm) {
    click("cmdStartPause");
    const QColor colours[] = {Qt::red, Qt::green, Qt::blue, Qt::yellow};
    std::vector<std::unique_ptr<XclipCopy>> copies;
    for (int capture = 1; capture <= 4; ++capture) {
        const QString file = writePng(qPrintable(QStringLiteral("capture%1.png").arg(capture)), colours[capture - 1]);
        copies.push_back(std::make_unique<XclipCopy>(file, "image/png"));
        ASSERT_TRUE(copies.back()->started());
        ASSERT_TRUE(waitUntil([&] { return countEntries(state().log, texts::kCaptureDetected) == capture; }))
            << "picture " << capture << " from xclip was not counted";
        if (capture < 4) {
            EXPECT_EQ(state().detection.captureCount, capture);
        }
    }
    ASSERT_TRUE(waitUntil([&] { return !answerer.messageBoxes().empty(); })) << "no warning box";
    EXPECT_EQ(answerer.messageBoxes()[0].title.toStdString(), texts::kWarningTitle);
    EXPECT_EQ(answerer.messageBoxes()[0].text.toStdString(), texts::kWarningText);
    EXPECT_EQ(answerer.messageBoxes()[0].icon, QMessageBox::Information);

    // The lines that name the programs go between these, which keep their order among themselves.
    std::vector<std::string> log;
    for (const std::string& line : state().log)
        if (!line.starts_with(texts::kDetailIndent)) log.push_back(line);
    ASSERT_GE(log.size(), 4u);
    EXPECT_TRUE(log[log.size() - 4].starts_with(texts::kCaptureDetected));
    EXPECT_TRUE(log[log.size() - 3].starts_with(texts::kAlarmRaised));
    EXPECT_TRUE(log[log.size() - 2].starts_with(texts::kProtectionStopped));
    EXPECT_TRUE(log[log.size() - 1].starts_with(texts::kClipboardBlocked));
    EXPECT_EQ(state().detection.captureCount, 0);
    EXPECT_EQ(state().monitoring.caption, texts::kStartCaptionAtLaunch);
    EXPECT_FALSE(desktop->window().findChild<QPushButton*>("cmdStartPause")->isEnabled());
    EXPECT_EQ(desktop->window().findChild<QPushButton*>("cmdEnableDisable")->text().toStdString(),
              texts::kUnblockCaption);
    ASSERT_TRUE(waitUntil([&] { return !copies.back()->running(); })) << "the alarm did not block the clipboard";
    EXPECT_TRUE(waitUntil([&] { return !selection->hasOwner(); }));
}

TEST_F(X11ClipboardTest, SamePictureCopiedAgainIsNotCounted) {
    const QString file = writePng("same.png", Qt::magenta);
    auto copy = std::make_unique<XclipCopy>(file, "image/png");
    ASSERT_TRUE(copy->started());
    click("cmdStartPause");
    // Copied while monitoring was off and unlike the holders: counted once.
    ASSERT_TRUE(waitUntil([&] { return countEntries(state().log, texts::kCaptureDetected) == 1; }));
    ASSERT_TRUE(waitUntil([&] {
        return state().detection.firstHolder.picture &&
               state().detection.firstHolder.picture == state().detection.secondHolder.picture;
    }));
    const PictureRef before = state().detection.firstHolder.picture;
    const std::uint64_t fetches = desktop->clipboard().fetchCount();

    const std::uint64_t decodes = desktop->clipboard().decodeCount();
    const std::uint64_t answers = desktop->clipboard().answerCount();

    // A new owner with the very same data takes over; the first one stays until it loses the selection,
    // so the clipboard is never empty in between.
    XclipCopy again(file, "image/png");
    ASSERT_TRUE(again.started());
    ASSERT_TRUE(waitUntil([&] { return !copy->running(); })) << "the second xclip never took the selection";
    ASSERT_TRUE(judgedSince(answers)) << "the copy was not fetched and judged";
    EXPECT_EQ(state().detection.firstHolder.picture, before) << "the same data must give back the very same picture";
    EXPECT_EQ(state().detection.secondHolder.picture, before);
    EXPECT_EQ(countEntries(state().log, texts::kCaptureDetected), 1);
    EXPECT_EQ(state().detection.captureCount, 1);
    EXPECT_EQ(desktop->clipboard().fetchCount(), fetches + 1) << "one fetch for the change";
    EXPECT_EQ(desktop->clipboard().decodeCount(), decodes) << "identical data were decoded again";
}

TEST_F(X11ClipboardTest, DataNoDecoderUnderstandsCountOnceByTheirDigest) {
    click("cmdStartPause");
    // Offered as PNG, but not a PNG: a picture arrived all the same, known by its data only.
    const QString broken = writeText("broken.png", "not a png at all");
    auto first = copyAndExpectCount(broken, 1);
    const PictureRef picture = desktop->clipboard().readPicture();
    ASSERT_NE(picture, nullptr);
    EXPECT_FALSE(picture->hasPixels());
    EXPECT_TRUE(picture->digest().known());

    // The same bytes again: no new capture. A good picture after them: counted.
    const std::uint64_t answers = desktop->clipboard().answerCount();
    XclipCopy again(broken, "image/png");
    ASSERT_TRUE(again.started());
    ASSERT_TRUE(waitUntil([&] { return !first->running(); }));
    ASSERT_TRUE(judgedSince(answers));
    EXPECT_EQ(captures(), 1);
    copyAndExpectCount(writePng("good.png", Qt::cyan), 2);
}

TEST_F(X11ClipboardTest, DialogOpensAndClosesWhileBlockingGoesOn) {
    click("cmdEnableDisable");
    const QString file = writeText("while-open.txt", "copied while the dialog is open");
    bool focusOnClose = false, emptiedWhileOpen = false;
    answerer.onDialog = [&](QWidget& dialog) {
        ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
        focusOnClose = dialog.focusWidget() && dialog.focusWidget()->objectName() == "Command1";
        XclipCopy copy(file, {});
        if (copy.started()) emptiedWhileOpen = waitUntil([&] { return !copy.running(); });
        QTest::keyClick(dialog.focusWidget(), Qt::Key_Return);
    };
    click("lblPleaseRead");  // returns once the dialog is closed
    EXPECT_EQ(answerer.dialogsSeen(), 1);
    EXPECT_TRUE(focusOnClose) << "Close does not hold the focus";
    EXPECT_TRUE(emptiedWhileOpen) << "the blocker stopped while the dialog was open";
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr) << "Enter did not close the dialog";
}

}  // namespace
}  // namespace zanthrel::qt
