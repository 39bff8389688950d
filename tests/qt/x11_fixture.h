#pragma once
// What the tests against the real X11 clipboard share: the other programs (xclip, and a small X client
// of our own that can be hostile), and a fixture that starts the program on a clipboard left empty.
#include <gtest/gtest.h>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

#include "platform/qt/application_x11.h"
#include "platform/qt/qt_desktop.h"
#include "qt_test_support.h"

namespace zanthrel::qt::testing {

// xclip holding the CLIPBOARD selection in the foreground, as a program that copied something. It
// exits once it loses the selection; the destructor ends it otherwise.
class XclipCopy {
public:
    XclipCopy(const QString& file, const QString& type);
    ~XclipCopy();
    bool started() { return process_.waitForStarted(5000); }
    bool running() const { return process_.state() != QProcess::NotRunning; }

private:
    QProcess process_;
};

// x11_test_owner: see its source for the modes. Once ready() it holds the clipboard. Another program
// that writes what it does line by line can be watched the same way.
class TestOwner {
public:
    explicit TestOwner(const QStringList& arguments);
    TestOwner(const QString& program, const QStringList& arguments);
    ~TestOwner();
    // Waits until the owner has written `line` (e.g. "owner", "asked", "done").
    bool saw(const QString& line, int timeoutMs = 5000);
    bool ready() { return saw(QStringLiteral("owner")); }
    // Whether it has written `line` by now.
    bool said(const QString& line);
    // Everything it has written by now, line by line.
    QStringList lines();
    // Waits until it has ended by itself: whether it ended well.
    bool finished(int timeoutMs = 20000);

private:
    QProcess process_;
    QByteArray output_;
};

// What `xclip -o` makes of the clipboard: its exit code, or -1 when it could not run.
int xclipPasteStatus(const QString& target = {});
// The types `xclip -o -t TARGETS` lists, without TARGETS and TIMESTAMP, which say nothing of the data.
QStringList offeredTypes();

class X11ClipboardTest : public ::testing::Test {
protected:
    void SetUp() override;
    // Empties the clipboard through X, whoever owns it.
    void emptyClipboard();
    // Creates and starts the program, and waits until its window is shown.
    void startProgram();

    QString writeText(const char* name, const QByteArray& text);
    QString writePng(const char* name, QColor colour, QSize size = QSize(64, 48));
    void click(const char* name);
    const GuardState& state() { return desktop->guard().state(); }
    int captures();
    // The log's lines about an owner that never answered.
    int silentLines();
    // Waits until an answer newer than `answers` has reached the program and its sampling ticks have
    // come to rest: everything the clipboard delivered has been judged.
    bool judgedSince(std::uint64_t answers);
    // Copies a picture with xclip and waits until it is counted as capture number `expected`.
    std::unique_ptr<XclipCopy> copyAndExpectCount(const QString& file, int expected, const char* type = "image/png",
                                                  int timeoutMs = 5000);

    QTemporaryDir directory;
    std::unique_ptr<x11::X11ClipboardSelection> selection = applicationClipboardSelection();
    ModalAnswerer answerer;
    std::unique_ptr<QtDesktop> desktop;
};

}  // namespace zanthrel::qt::testing
