// The clipboard reader on its own, against the real X server: what it reports, and in which order,
// with and without XFIXES change events.
#include <gtest/gtest.h>

#include <xcb/xcb.h>

#include <mutex>
#include <string>

#include "platform/qt/application_x11.h"
#include "platform/x11/x11_atom_names.h"
#include "platform/x11/x11_clipboard_reader.h"
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
    auto text = std::make_unique<XclipCopy>(writeFile("text.txt", "some text"), QString());
    ASSERT_TRUE(text->started());
    ASSERT_TRUE(waitUntil([&] { return !reports.changes().empty(); })) << "the copy was not noticed";
    EXPECT_TRUE(reports.changes().back().second) << "a program took the clipboard";
    // A reader that fetched on its own would start on the text as soon as it noticed it, nothing having
    // been fetched before: before it could notice the next change, the picture copied now.
    const QByteArray bytes = "\x89PNG not really";
    auto picture = std::make_unique<XclipCopy>(writeFile("picture.png", bytes), "image/png");
    ASSERT_TRUE(picture->started());
    ASSERT_TRUE(waitUntil([&] { return reports.changes().size() == 2 && !text->running(); }))
        << "the second copy did not take over";
    EXPECT_TRUE(reports.deliveries().empty()) << "fetched without being asked";
    EXPECT_EQ(reader->fetchCount(), 0u);

    reader->request();
    ASSERT_TRUE(waitUntil([&] { return reports.deliveries().size() == 1; }));
    const posix::ClipboardDelivery data = reports.deliveries()[0];
    EXPECT_EQ(data.serial, reports.changes().back().first) << "not the newest change";
    EXPECT_EQ(data.kind, posix::ClipboardDelivery::Kind::Data);
    EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(data.bytes.data()), qsizetype(data.bytes.size())), bytes);
    EXPECT_EQ(data.digest, digestOf(data.bytes.data(), std::size_t(bytes.size())));
    EXPECT_EQ(data.format, classifyMimeType("image/png")) << "the decoder is told the format asked for";
    EXPECT_EQ(reader->fetchCount(), 1u);

    text = std::make_unique<XclipCopy>(writeFile("text.txt", "some text"), QString());
    ASSERT_TRUE(text->started());
    ASSERT_TRUE(waitUntil([&] { return !picture->running(); })) << "the text did not take over";
    ASSERT_TRUE(waitUntil([&] { return reports.changes().size() == 3; }));
    reader->request();
    ASSERT_TRUE(waitUntil([&] { return reports.deliveries().size() == 2; }));
    EXPECT_EQ(reports.deliveries()[1].kind, posix::ClipboardDelivery::Kind::NoPicture) << "text is no picture";
    EXPECT_EQ(reports.deliveries()[1].serial, reports.changes().back().first);

    // Its owner gone, the clipboard holds nothing; that is known without asking anyone.
    text.reset();
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
    ASSERT_TRUE(waitUntil([&] { return reports.changes().size() > changesBefore + 1; })) << "letting go unreported";
    EXPECT_FALSE(reports.changes().back().second);
    // Nothing left to take: an unowned clipboard is not taken again. The reader acts on an emptying
    // before a request it was given after it, so the answer comes once the emptying was dealt with.
    const std::size_t deliveries = reports.deliveries().size();
    reader->empty();
    reader->request();
    ASSERT_TRUE(waitUntil([&] { return reports.deliveries().size() > deliveries; }));
    EXPECT_EQ(reader->emptyingCount(), 1u);
    EXPECT_FALSE(selection->hasOwner());
}

// A picture hidden behind more types than are named at a time: not judged, and not taken for a clipboard
// that holds none either.
TEST_P(ReaderTest, PictureBehindTooManyTypesToNameIsNoClipboardWithoutAPicture) {
    const QString file = writeFile("picture.png", "\x89PNG not really");
    QStringList arguments{"offer"};
    for (std::size_t i = 0; i < x11::AtomNames::kMostLookedUpPerList; ++i)
        arguments << QStringLiteral("application/x-filler-%1").arg(i) << file;
    testing::TestOwner owner(arguments << "image/png" << file);
    ASSERT_TRUE(owner.ready());
    ASSERT_TRUE(waitUntil([&] { return !reports.changes().empty(); }));
    reader->request();
    ASSERT_TRUE(waitUntil([&] { return !reports.deliveries().empty(); }));
    EXPECT_EQ(reports.deliveries().back().kind, posix::ClipboardDelivery::Kind::Refused);
}

INSTANTIATE_TEST_SUITE_P(ChangeEvents, ReaderTest, ::testing::Values(true, false),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return info.param ? std::string("WithXfixes") : std::string("PollingWithout");
                         });

// An owner may list a quarter of a million types: each is named once, and only so many at a time.
TEST(AtomNamesTest, NamesEachAtomOnceAndAtMostItsShareOfALongListAtATime) {
    const x11::XcbConnection connection(xcb_connect(nullptr, nullptr));
    ASSERT_EQ(xcb_connection_has_error(connection.get()), 0);
    constexpr std::size_t kMost = x11::AtomNames::kMostLookedUpPerList;
    std::vector<std::uint32_t> list;
    for (std::size_t i = 0; i < kMost + 10; ++i)
        list.push_back(x11::intern(connection.get(), "zanthrel-type-" + std::to_string(i)));
    list.push_back(list[0]);
    list.push_back(XCB_NONE);
    x11::AtomNames names(connection.get());
    x11::AtomNames::Listed listed = names.name(list);
    ASSERT_EQ(listed.names.size(), kMost);
    EXPECT_EQ(listed.unnamed, 10u);
    EXPECT_EQ(listed.atoms[0], list[0]);
    EXPECT_EQ(listed.names[0], "zanthrel-type-0");
    // The same list again: those named are remembered, the rest looked up now.
    listed = names.name(list);
    ASSERT_EQ(listed.names.size(), kMost + 10);
    EXPECT_EQ(listed.unnamed, 0u);
    EXPECT_EQ(listed.names.back(), "zanthrel-type-" + std::to_string(kMost + 9));
    // A name longer than any format's is kept as none.
    const std::uint32_t longName = x11::intern(connection.get(), std::string(300, 'x'));
    listed = names.name({&longName, 1});
    ASSERT_EQ(listed.names.size(), 1u);
    EXPECT_EQ(listed.names[0], "");
}

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
    // The bridge asks late: after the time a plain X server's emptied clipboard is held unasked. That
    // wait is the situation tested, not a deadline for the reader.
    QTest::qWait(int(x11::X11EmptyOwner::kUnaskedHold.count()) + 300);
    EXPECT_TRUE(selection->hasOwner()) << "let go before the bridge asked";
    EXPECT_TRUE(testing::offeredTypes().isEmpty());
    EXPECT_TRUE(waitUntil([&] { return !selection->hasOwner(); })) << "still held after being asked";
}

}  // namespace
}  // namespace zanthrel::qt
