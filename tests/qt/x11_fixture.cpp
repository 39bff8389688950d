#include "x11_fixture.h"

#include <QPushButton>

#include "core/texts.h"

namespace zanthrel::qt::testing {

XclipCopy::XclipCopy(const QString& file, const QString& type) {
    QStringList arguments{"-selection", "clipboard", "-quiet"};
    if (!type.isEmpty()) arguments << "-t" << type;
    arguments << "-i" << file;
    process_.setProcessChannelMode(QProcess::MergedChannels);
    process_.start("xclip", arguments);
}

XclipCopy::~XclipCopy() {
    if (process_.state() != QProcess::NotRunning) {
        process_.kill();
        process_.waitForFinished(5000);
    }
}

TestOwner::TestOwner(const QStringList& arguments) : TestOwner(QStringLiteral(ZANTHREL_TEST_OWNER), arguments) {}

TestOwner::TestOwner(const QString& program, const QStringList& arguments) {
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process_.start(program, arguments);
}

TestOwner::~TestOwner() {
    if (process_.state() != QProcess::NotRunning) {
        process_.kill();
        process_.waitForFinished(5000);
    }
}

bool TestOwner::saw(const QString& line, int timeoutMs) {
    return waitUntil([&] { return said(line); }, timeoutMs);
}

bool TestOwner::said(const QString& line) {
    output_ += process_.readAllStandardOutput();
    return output_.contains(line.toUtf8() + '\n');
}

QStringList TestOwner::lines() {
    output_ += process_.readAllStandardOutput();
    return QString::fromUtf8(output_).split('\n', Qt::SkipEmptyParts);
}

bool TestOwner::finished(int timeoutMs) {
    return waitUntil([&] { return process_.state() == QProcess::NotRunning; }, timeoutMs) && process_.exitCode() == 0;
}

int xclipPasteStatus(const QString& target) {
    QProcess paste;
    QStringList arguments{"-selection", "clipboard", "-o"};
    if (!target.isEmpty()) arguments << "-t" << target;
    paste.start("xclip", arguments);
    if (!paste.waitForFinished(5000) || paste.exitStatus() != QProcess::NormalExit) return -1;
    return paste.exitCode();
}

QStringList offeredTypes() {
    QProcess paste;
    paste.start("xclip", {"-selection", "clipboard", "-o", "-t", "TARGETS"});
    if (!paste.waitForFinished(5000) || paste.exitCode() != 0) return {};
    QStringList types = QString::fromUtf8(paste.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    types.removeAll("TARGETS");
    types.removeAll("TIMESTAMP");
    return types;
}

void X11ClipboardTest::SetUp() {
    ASSERT_TRUE(directory.isValid());
    ASSERT_NE(selection, nullptr) << "not running on X11";
    // Whatever an earlier test left on the clipboard goes before the program starts.
    emptyClipboard();
    startProgram();
}

void X11ClipboardTest::emptyClipboard() {
    if (selection->hasOwner()) selection->disown();
}

void X11ClipboardTest::startProgram() {
    desktop = std::make_unique<QtDesktop>();
    desktop->start();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&desktop->window()));
}

QString X11ClipboardTest::writeText(const char* name, const QByteArray& text) {
    QFile file(directory.filePath(name));
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(text);
    return file.fileName();
}

QString X11ClipboardTest::writePng(const char* name, QColor colour, QSize size) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(colour);
    const QString path = directory.filePath(name);
    EXPECT_TRUE(image.save(path, "PNG"));
    return path;
}

void X11ClipboardTest::click(const char* name) {
    QTest::mouseClick(desktop->window().findChild<QWidget*>(name), Qt::LeftButton);
}

int X11ClipboardTest::captures() {
    return countEntries(state().log, texts::kCaptureDetected);
}

int X11ClipboardTest::silentLines() {
    return countEntries(state().log, texts::kOwnerSilent);
}

bool X11ClipboardTest::judgedSince(std::uint64_t answers) {
    return waitUntil([&] {
        return desktop->clipboard().answerCount() > answers && desktop->timers().isResting(GuardTimer::Sampling);
    });
}

std::unique_ptr<XclipCopy> X11ClipboardTest::copyAndExpectCount(const QString& file, int expected, const char* type,
                                                                int timeoutMs) {
    auto copy = std::make_unique<XclipCopy>(file, QString::fromUtf8(type));
    EXPECT_TRUE(copy->started()) << "xclip did not start";
    EXPECT_TRUE(waitUntil([&] { return captures() == expected; }, timeoutMs))
        << file.toStdString() << " was not counted as capture " << expected << "; captures: " << captures();
    return copy;
}

}  // namespace zanthrel::qt::testing
