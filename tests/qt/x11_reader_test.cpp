// The clipboard reader on its own, against the real X server: what it reports, and in which order,
// with and without XFIXES change events.
#include <gtest/gtest.h>

#include <mutex>

#include "platform/x11/x11_clipboard_reader.h"
#include "platform/qt/application_x11.h"
#include "x11_fixture.h"

namespace zanthrel::qt {
namespace {

using testing::waitUntil;
using testing::XclipCopy;

// Records the reader's reports, which come from its own thread.
class Reports {
public:
    x11::X11ClipboardReader::Listener listener() {
        return {[this](std::uint64_t serial, ClipboardChange change) {
                    const std::lock_guard lock(mutex_);
                    changes_.emplace_back(serial, change.taken);
                },
                [this](posix::ClipboardDelivery delivery) {
                    const std::lock_guard lock(mutex_);
                    deliveries_.push_back(std::move(delivery));
                },
                {},
                {},
                {},
                {}};
    }
    std::vector<std::pair<std::uint64_t, bool>> changes() {
        const std::lock_guard lock(mutex_);
        return changes_;
    }
    std::vector<posix::ClipboardDelivery> deliveries() {
        const std::lock_guard lock(mutex_);
        return deliveries_;
    }

private:
    std::mutex mutex_;
    std::vector<std::pair<std::uint64_t, bool>> changes_;
    std::vector<posix::ClipboardDelivery> deliveries_;
};

class ReaderTest : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override {
        ASSERT_TRUE(directory.isValid());
        ASSERT_NE(reader, nullptr) << "no X display";
        EXPECT_EQ(reader->watchesChanges(), GetParam());
    }
    QString writeFile(const char* name, const QByteArray& bytes) {
        QFile file(directory.filePath(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return file.fileName();
    }

    QTemporaryDir directory;
    Reports reports;
    std::unique_ptr<x11::X11ClipboardReader> reader = x11::X11ClipboardReader::start(reports.listener(), GetParam());
};

TEST_P(ReaderTest, ReportsEachOwnerAndDeliversTheNewestChangeOnlyWhenAsked) {
    XclipCopy text(writeFile("text.txt", "some text"), {});
    ASSERT_TRUE(text.started());
    ASSERT_TRUE(waitUntil([&] { return !reports.changes().empty(); })) << "the copy was not noticed";
    EXPECT_TRUE(reports.changes().back().second) << "a program took the clipboard";
    // A reader that fetched on its own would start within kFetchGap of noticing the change, and a polling
    // one notices it within kFallbackPoll: twice both leaves a loaded machine room to show it.
    QTest::qWait(int(2 * (x11::X11ClipboardReader::kFetchGap + x11::X11ClipboardReader::kFallbackPoll).count()));
    EXPECT_TRUE(reports.deliveries().empty()) << "fetched without being asked";
    EXPECT_EQ(reader->fetchCount(), 0u);

    reader->request();
    ASSERT_TRUE(waitUntil([&] { return reports.deliveries().size() == 1; }));
    EXPECT_EQ(reports.deliveries()[0].kind, posix::ClipboardDelivery::Kind::NoPicture) << "text is no picture";
    EXPECT_EQ(reports.deliveries()[0].serial, reports.changes().back().first);

    const QByteArray bytes = "\x89PNG not really";
    auto picture = std::make_unique<XclipCopy>(writeFile("picture.png", bytes), "image/png");
    ASSERT_TRUE(picture->started());
    ASSERT_TRUE(waitUntil([&] { return !text.running(); })) << "the second copy did not take over";
    reader->request();
    ASSERT_TRUE(waitUntil([&] { return reports.deliveries().size() == 2; }));
    const posix::ClipboardDelivery data = reports.deliveries()[1];
    EXPECT_EQ(data.kind, posix::ClipboardDelivery::Kind::Data);
    EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(data.bytes.data()), qsizetype(data.bytes.size())), bytes);
    EXPECT_EQ(data.digest, digestOf(bytes.data(), std::size_t(bytes.size())));

    // Its owner gone, the clipboard holds nothing; that is known without asking anyone.
    picture.reset();
    ASSERT_TRUE(waitUntil([&] { return !reports.changes().back().second; })) << "the owner's exit was not noticed";
    const std::uint64_t fetches = reader->fetchCount();
    reader->request();
    ASSERT_TRUE(waitUntil([&] { return reports.deliveries().size() == 3; }));
    EXPECT_EQ(reports.deliveries()[2].kind, posix::ClipboardDelivery::Kind::NoPicture);
    EXPECT_EQ(reader->fetchCount(), fetches);
}

TEST_P(ReaderTest, EmptyingOffersNothingThenLeavesNoOwnerAndIsNoChangeByAProgram) {
    auto picture = std::make_unique<XclipCopy>(writeFile("picture.png", "\x89PNG not really"), "image/png");
    ASSERT_TRUE(picture->started());
    ASSERT_TRUE(waitUntil([&] { return !reports.changes().empty(); }));
    const std::size_t changesBefore = reports.changes().size();

    reader->empty();
    ASSERT_TRUE(waitUntil([&] { return !picture->running(); })) << "xclip kept the clipboard";
    ASSERT_TRUE(waitUntil([&] { return reports.changes().size() > changesBefore; }));
    EXPECT_FALSE(reports.changes().back().second) << "the reader's own ownership counted as a program's copy";
    // While held: only the two types that describe the selection itself, every other one refused.
    EXPECT_TRUE(testing::offeredTypes().isEmpty());
    EXPECT_EQ(testing::xclipPasteStatus("TARGETS"), 0);
    EXPECT_NE(testing::xclipPasteStatus("image/png"), 0);
    EXPECT_NE(testing::xclipPasteStatus(), 0);
    // Nothing is fetched from the reader's own window.
    const std::uint64_t fetches = reader->fetchCount();
    reader->request();
    ASSERT_TRUE(waitUntil([&] { return !reports.deliveries().empty(); }));
    EXPECT_EQ(reports.deliveries().back().kind, posix::ClipboardDelivery::Kind::NoPicture);
    EXPECT_EQ(reader->fetchCount(), fetches);

    const std::unique_ptr<x11::X11ClipboardSelection> selection = applicationClipboardSelection();
    ASSERT_TRUE(waitUntil([&] { return !selection->hasOwner(); })) << "the emptied clipboard was never let go";
    EXPECT_FALSE(reports.changes().back().second);
    // Nothing left to take: an unowned clipboard is not taken again.
    reader->empty();
    QTest::qWait(100);
    EXPECT_FALSE(selection->hasOwner());
    EXPECT_EQ(reader->emptyingCount(), 1u);
}

INSTANTIATE_TEST_SUITE_P(ChangeEvents, ReaderTest, ::testing::Values(true, false),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return info.param ? std::string("WithXfixes") : std::string("PollingWithout");
                         });

// On a Wayland session the X server is the compositor's bridge, which must have asked for the emptied
// clipboard's types before it is let go; however late it asks, the clipboard is held until then.
TEST(BridgedReaderTest, EmptiedClipboardIsHeldUntilSomeoneAsksWhatItHolds) {
    QTemporaryDir directory;
    ASSERT_TRUE(directory.isValid());
    const QByteArray previous = qgetenv("WAYLAND_DISPLAY");
    qputenv("WAYLAND_DISPLAY", "zanthrel-no-such-display");
    Reports reports;
    const std::unique_ptr<x11::X11ClipboardReader> reader = x11::X11ClipboardReader::start(reports.listener());
    qputenv("WAYLAND_DISPLAY", previous);
    ASSERT_NE(reader, nullptr);
    const std::unique_ptr<x11::X11ClipboardSelection> selection = applicationClipboardSelection();

    QFile file(directory.filePath("text.txt"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("some text");
    file.close();
    XclipCopy text(file.fileName(), {});
    ASSERT_TRUE(text.started());
    ASSERT_TRUE(waitUntil([&] { return !reports.changes().empty(); }));
    reader->empty();
    ASSERT_TRUE(waitUntil([&] { return !text.running(); }));
    QTest::qWait(int(x11::X11EmptyOwner::kUnaskedHold.count()) + 300);
    EXPECT_TRUE(selection->hasOwner()) << "let go before the bridge asked";
    EXPECT_TRUE(testing::offeredTypes().isEmpty());
    EXPECT_TRUE(waitUntil([&] { return !selection->hasOwner(); })) << "still held after being asked";
}

}  // namespace
}  // namespace zanthrel::qt
