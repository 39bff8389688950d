// The program against the real X11 CLIPBOARD selection of a private Xvfb server, with xclip as the
// other program. Run through with_xvfb.sh.
#include <gtest/gtest.h>
#include <QApplication>
#include <QImage>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include "app/texts.h"
#include "platform/qt/qt_desktop.h"
#include "platform/qt/x11_selection.h"
#include "platform/runtime_error.h"
#include "qt_test_support.h"

namespace zanthrel::qt {
namespace {

using testing::countEntries;
using testing::ModalAnswerer;
using testing::waitUntil;

// xclip holding the CLIPBOARD selection in the foreground, as a program that copied something. It
// exits once it loses the selection; the destructor ends it otherwise.
class XclipCopy {
public:
    XclipCopy(const QString& file, const QString& type) {
        QStringList arguments{"-selection", "clipboard", "-quiet"};
        if (!type.isEmpty()) arguments << "-t" << type;
        arguments << "-i" << file;
        process_.setProcessChannelMode(QProcess::MergedChannels);
        process_.start("xclip", arguments);
    }
    ~XclipCopy() {
        if (process_.state() != QProcess::NotRunning) {
            process_.kill();
            process_.waitForFinished(5000);
        }
    }
    bool started() { return process_.waitForStarted(5000); }
    bool running() const { return process_.state() != QProcess::NotRunning; }

private:
    QProcess process_;
};

// What `xclip -o` makes of the clipboard: its exit code, or -1 when it could not run.
int xclipPasteStatus(const QString& target = {}) {
    QProcess paste;
    QStringList arguments{"-selection", "clipboard", "-o"};
    if (!target.isEmpty()) arguments << "-t" << target;
    paste.start("xclip", arguments);
    if (!paste.waitForFinished(5000) || paste.exitStatus() != QProcess::NormalExit) return -1;
    return paste.exitCode();
}

class X11ClipboardTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(directory.isValid());
        ASSERT_NE(selection, nullptr) << "not running on X11";
        // Whatever an earlier test left on the clipboard goes before the program starts.
        if (selection->hasOwner()) selection->disown();
        desktop.start();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&desktop.window()));
    }

    QString writeText(const char* name, const QByteArray& text) {
        QFile file(directory.filePath(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text);
        return file.fileName();
    }
    QString writePng(const char* name, QColor colour) {
        QImage image(64, 48, QImage::Format_RGB32);
        image.fill(colour);
        const QString path = directory.filePath(name);
        EXPECT_TRUE(image.save(path, "PNG"));
        return path;
    }
    void click(const char* name) { QTest::mouseClick(desktop.window().findChild<QWidget*>(name), Qt::LeftButton); }
    const MainFormState& state() { return desktop.form().state(); }

    QTemporaryDir directory;
    std::unique_ptr<X11ClipboardSelection> selection = X11ClipboardSelection::forApplication();
    ModalAnswerer answerer;
    QtDesktop desktop;
};

TEST_F(X11ClipboardTest, BlockingEmptiesTextAndPicturesLeavingNoOwner) {
    click("cmdEnableDisable");
    ASSERT_TRUE(desktop.timers().isActive(TimerId::Timer3));
    const std::pair<QString, QString> copies[] = {{writeText("secret.txt", "my password"), QString()},
                                                  {writePng("capture.png", Qt::red), "image/png"}};
    for (const auto& [file, type] : copies) {
        SCOPED_TRACE(type.isEmpty() ? "text" : type.toStdString());
        XclipCopy copy(file, type);
        ASSERT_TRUE(copy.started()) << "xclip did not start";
        ASSERT_TRUE(waitUntil([&] { return !copy.running(); })) << "xclip still owns the clipboard: not emptied";
        EXPECT_FALSE(selection->hasOwner());
        EXPECT_NE(xclipPasteStatus(), 0) << "xclip -o could still read the clipboard";
        EXPECT_NE(xclipPasteStatus("TARGETS"), 0);
    }
    click("cmdEnableDisable");  // unblocking restores nothing
    EXPECT_FALSE(selection->hasOwner());
}

TEST_F(X11ClipboardTest, FourthNewPictureRaisesTheAlarm) {
    click("cmdStartPause");
    const QColor colours[] = {Qt::red, Qt::green, Qt::blue, Qt::yellow};
    std::vector<std::unique_ptr<XclipCopy>> copies;
    for (int capture = 1; capture <= 4; ++capture) {
        const QString file = writePng(qPrintable(QStringLiteral("capture%1.png").arg(capture)), colours[capture - 1]);
        copies.push_back(std::make_unique<XclipCopy>(file, "image/png"));
        ASSERT_TRUE(copies.back()->started());
        ASSERT_TRUE(waitUntil([&] { return countEntries(state().list1, texts::kCaptureDetected) == capture; }))
            << "picture " << capture << " from xclip was not counted";
        if (capture < 4) {
            EXPECT_EQ(state().txtCounts, std::to_string(capture));
        }
    }
    ASSERT_TRUE(waitUntil([&] { return !answerer.messageBoxes().empty(); })) << "no warning box";
    EXPECT_EQ(answerer.messageBoxes()[0].title.toStdString(), texts::kWarningTitle);
    EXPECT_EQ(answerer.messageBoxes()[0].text.toStdString(), texts::kWarningText);
    EXPECT_EQ(answerer.messageBoxes()[0].icon, QMessageBox::Information);

    const std::vector<std::string>& log = state().list1;
    ASSERT_GE(log.size(), 4u);
    EXPECT_TRUE(log[log.size() - 4].starts_with(texts::kCaptureDetected));
    EXPECT_TRUE(log[log.size() - 3].starts_with(texts::kAlarmRaised));
    EXPECT_TRUE(log[log.size() - 2].starts_with(texts::kProtectionStopped));
    EXPECT_TRUE(log[log.size() - 1].starts_with(texts::kClipboardBlocked));
    EXPECT_EQ(state().txtCounts, "0");
    EXPECT_EQ(state().cmdStartPause.caption, texts::kStartCaptionAtLaunch);
    EXPECT_FALSE(desktop.window().findChild<QPushButton*>("cmdStartPause")->isEnabled());
    EXPECT_EQ(desktop.window().findChild<QPushButton*>("cmdEnableDisable")->text().toStdString(),
              texts::kUnblockCaption);
    ASSERT_TRUE(waitUntil([&] { return !copies.back()->running(); })) << "the alarm did not block the clipboard";
    EXPECT_FALSE(selection->hasOwner());
}

TEST_F(X11ClipboardTest, SamePictureCopiedAgainIsNotCounted) {
    const QString file = writePng("same.png", Qt::magenta);
    auto copy = std::make_unique<XclipCopy>(file, "image/png");
    ASSERT_TRUE(copy->started());
    click("cmdStartPause");
    // Copied while monitoring was off and unlike the holders: counted once.
    ASSERT_TRUE(waitUntil([&] { return countEntries(state().list1, texts::kCaptureDetected) == 1; }));
    ASSERT_TRUE(
        waitUntil([&] { return state().picture1.picture && state().picture1.picture == state().picture3.picture; }));
    const PictureRef before = state().picture1.picture;
    const std::uint64_t fetches = desktop.clipboard().fetchCount();

    // A new owner with the very same pixels takes over; the first one stays until it loses the selection,
    // so the clipboard is never empty in between.
    XclipCopy again(file, "image/png");
    ASSERT_TRUE(again.started());
    ASSERT_TRUE(waitUntil([&] { return !copy->running(); })) << "the second xclip never took the selection";
    // Once both holders hold the new copy, the tick that compared it with the old one has run.
    ASSERT_TRUE(waitUntil([&] {
        const PictureRef now = state().picture1.picture;
        return now && now != before && state().picture3.picture == now;
    })) << "the new copy never reached both holders";
    EXPECT_EQ(countEntries(state().list1, texts::kCaptureDetected), 1);
    EXPECT_EQ(state().txtCounts, "1");
    // One fetch for the change; the ticks around it answered from the kept picture.
    EXPECT_EQ(desktop.clipboard().fetchCount(), fetches + 1);
}

TEST_F(X11ClipboardTest, PictureTheOwnerCannotDeliverReadsAsBusyUntilTheNextChange) {
    // Offered as PNG, but not a PNG: Qt gets the bytes and cannot decode them.
    XclipCopy broken(writeText("broken.png", "not a png at all"), "image/png");
    ASSERT_TRUE(broken.started());
    QtClipboard& clipboard = desktop.clipboard();
    const auto readsAsBusy = [&] {
        try {
            clipboard.readPicture();
            return false;
        } catch (const RuntimeError& error) {
            return error.kind() == ErrorKind::ClipboardBusy;
        }
    };
    ASSERT_TRUE(waitUntil(readsAsBusy)) << "an undecodable picture did not read as a busy clipboard";
    const std::uint64_t fetches = clipboard.fetchCount();
    EXPECT_TRUE(readsAsBusy());
    EXPECT_EQ(clipboard.fetchCount(), fetches) << "the owner was asked again before the clipboard changed";

    XclipCopy good(writePng("good.png", Qt::cyan), "image/png");
    ASSERT_TRUE(good.started());
    ASSERT_TRUE(waitUntil([&] { return !readsAsBusy() && clipboard.readPicture() != nullptr; }));
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
