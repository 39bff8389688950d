// One table of picture formats run through the clipboard the program watches: X11 on Xvfb, with xclip as
// the program that copies, and the Wayland clipboard on sway (run through with_sway.sh), with wl-copy.
// Four different pictures, each offered in one format only, are four captures and the alarm whatever
// the format, decoded or judged by their digest; one picture offered in several formats at once is one
// capture, asked for in the best of them; text is none.
#include <gtest/gtest.h>

#include <QProcess>
#include <QRegularExpression>

#include "core/texts.h"
#include "x11_fixture.h"

namespace zanthrel::qt {
namespace {

using testing::countEntries;
using testing::TestOwner;
using testing::waitUntil;
using testing::X11ClipboardTest;
using testing::XclipCopy;

struct FormatCase {
    const char* type;
    const char* suffix;  // the file type ImageMagick writes it as; null where the bytes are made here
};
constexpr FormatCase kFormats[] = {
    {"image/avif", "avif"},
    {"image/jxl", nullptr},
    {"image/heic", "heic"},
    {"image/x-icon", "ico"},
    {"image/vnd.microsoft.icon", "ico"},
    {"image/svg+xml", nullptr},
    {"image/png", "png"},
    {"image/jpeg", "jpg"},
    {"image/gif", "gif"},
    {"image/webp", "webp"},
    {"image/tiff", "tiff"},
    {"image/bmp", "bmp"},
};
const char* const kColours[] = {"red", "lime", "blue", "yellow"};

// A drawing of one colour, or a JPEG XL codestream's signature followed by the colour's name.
QByteArray madeHere(const char* type, const char* colour) {
    if (QByteArray(type) != "image/svg+xml") return QByteArray("\xFF\x0A", 2) + colour;
    return QByteArray("<svg xmlns='http://www.w3.org/2000/svg' width='24' height='16'>") +
           "<rect width='24' height='16' fill='" + colour + "'/></svg>";
}

bool onWayland() {
    return !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

// A program that copied a file as `type` and serves it until it loses the clipboard: xclip on X11,
// wl-copy on Wayland.
class Copy {
public:
    Copy(const QString& file, const QString& type) {
        if (!onWayland()) {
            xclip_ = std::make_unique<XclipCopy>(file, type);
            return;
        }
        wlCopy_.setStandardInputFile(file);
        wlCopy_.setProcessChannelMode(QProcess::ForwardedChannels);
        wlCopy_.start("wl-copy", {"--foreground", "--type", type});
    }
    ~Copy() {
        if (wlCopy_.state() != QProcess::NotRunning) {
            wlCopy_.kill();
            wlCopy_.waitForFinished(5000);
        }
    }
    bool started() { return xclip_ ? xclip_->started() : wlCopy_.waitForStarted(5000); }
    bool running() const { return xclip_ ? xclip_->running() : wlCopy_.state() != QProcess::NotRunning; }

private:
    std::unique_ptr<XclipCopy> xclip_;
    QProcess wlCopy_;
};

class FormatTableTest : public X11ClipboardTest {
protected:
    // Four different pictures as files of one format.
    QStringList pictures(const FormatCase& format) {
        const QString base = directory.filePath(QString(format.type).replace(QRegularExpression("[^a-z]"), "-"));
        QStringList files;
        if (format.suffix) {
            QProcess convert;
            QStringList arguments{"-size", "24x16"};
            for (const char* colour : kColours) arguments << QStringLiteral("xc:%1").arg(colour);
            convert.start("convert", arguments << "+adjoin" << QStringLiteral("%1-%d.%2").arg(base, format.suffix));
            EXPECT_TRUE(convert.waitForFinished(30000) && convert.exitCode() == 0)
                << "convert cannot write " << format.suffix << ": " << convert.readAllStandardError().toStdString();
            for (int i = 0; i < 4; ++i) files << QStringLiteral("%1-%2.%3").arg(base).arg(i).arg(format.suffix);
            return files;
        }
        // No encoder at hand: bytes made here, different from picture to picture.
        for (const char* colour : kColours)
            files << writeText(qPrintable(QStringLiteral("%1-%2").arg(QFileInfo(base).fileName(), colour)),
                               madeHere(format.type, colour));
        return files;
    }
    void restartGuard() {
        desktop.reset();
        startProgram();
    }
};

TEST_F(FormatTableTest, FourPicturesInAnyOneFormatAreFourCapturesAndTheAlarm) {
    ASSERT_NE(desktop->clipboard().reader(), nullptr);
    EXPECT_EQ(desktop->clipboard().reader()->namesOwners(), !onWayland()) << "not the clipboard this run is for";
    bool first = true;
    for (const FormatCase& format : kFormats) {
        SCOPED_TRACE(format.type);
        const QStringList files = pictures(format);
        if (!std::exchange(first, false)) restartGuard();
        click("cmdStartPause");
        const std::size_t alarms = answerer.messageBoxes().size();
        // Each copy stays until the next takes the clipboard: an emptied clipboard would count too.
        std::vector<std::unique_ptr<Copy>> copies;
        for (int picture = 1; picture <= 4; ++picture) {
            copies.push_back(std::make_unique<Copy>(files[picture - 1], format.type));
            ASSERT_TRUE(copies.back()->started());
            ASSERT_TRUE(waitUntil([&] { return captures() == picture; }, 10000))
                << "picture " << picture << " was not counted; captures: " << captures();
        }
        ASSERT_TRUE(waitUntil([&] { return answerer.messageBoxes().size() == alarms + 1; })) << "no alarm";
        EXPECT_EQ(countEntries(state().log, texts::kAlarmRaised), 1);
        EXPECT_TRUE(waitUntil([&] { return !copies.back()->running(); })) << "the alarm did not block the clipboard";
        EXPECT_EQ(captures(), 4);
    }
}

// Browsers and Qt list JPEG first: the owner is asked for PNG, once, and the picture counts once.
TEST_F(FormatTableTest, OnePictureInSeveralFormatsIsAskedForInTheBestAndCountedOnceAndTextIsNone) {
    click("cmdStartPause");
    std::uint64_t answers = desktop->clipboard().answerCount();
    Copy text(writeText("note.txt", "some text"), "text/plain");
    ASSERT_TRUE(text.started());
    ASSERT_TRUE(judgedSince(answers)) << "the text was not judged";
    EXPECT_EQ(captures(), 0) << "text counted as a picture";

    QStringList offer;
    for (const char* suffix : {"jpg", "png", "bmp"}) {
        const QString file = directory.filePath(QStringLiteral("same.%1").arg(suffix));
        QProcess convert;
        convert.start("convert", {"-size", "24x16", "xc:purple", file});
        ASSERT_TRUE(convert.waitForFinished(30000) && convert.exitCode() == 0);
        offer << QStringLiteral("image/%1").arg(suffix == QStringLiteral("jpg") ? "jpeg" : suffix) << file;
    }
    const std::uint64_t fetches = desktop->clipboard().fetchCount();
    answers = desktop->clipboard().answerCount();
    TestOwner owner = onWayland() ? TestOwner(ZANTHREL_WAYLAND_SOURCE, QStringList{"offer", "30"} << offer)
                                  : TestOwner(QStringList{"offer"} << offer);
    ASSERT_TRUE(owner.saw("asked image/png")) << "the best type was not asked for";
    ASSERT_TRUE(waitUntil([&] { return captures() == 1; })) << "the picture was not counted";
    ASSERT_TRUE(judgedSince(answers));
    EXPECT_EQ(captures(), 1);
    EXPECT_EQ(desktop->clipboard().fetchCount(), fetches + 1) << "one change, one transfer";
    EXPECT_FALSE(owner.said("asked image/jpeg"));
    EXPECT_FALSE(owner.said("asked image/bmp"));
}

}  // namespace
}  // namespace zanthrel::qt
