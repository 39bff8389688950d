// The program as an X client of GNOME's compositor, with native Wayland programs (wl-copy, wl-paste) on
// the other side of its XWayland bridge. Run through with_mutter.sh.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>

#include <algorithm>
#include <atomic>
#include <cstdio>

#include "core/texts.h"
#include "platform/x11/x11_clipboard_reader.h"
#include "x11_fixture.h"

namespace zanthrel::qt {
namespace {

using testing::countEntries;
using testing::waitUntil;
using testing::X11ClipboardTest;

// wl-copy serving a file in the foreground. It exits once its offer is replaced on the Wayland side:
// the moment a Wayland program could no longer paste it.
class WaylandCopy {
public:
    WaylandCopy(const QString& file, const QString& type) {
        process_.setStandardInputFile(file);
        process_.setProcessChannelMode(QProcess::ForwardedChannels);
        QObject::connect(&process_, &QProcess::finished, [this] { endedAfterUs_ = clock_.nsecsElapsed() / 1000; });
        clock_.start();
        process_.start("wl-copy", {"--foreground", "--type", type});
    }
    ~WaylandCopy() {
        if (process_.state() != QProcess::NotRunning) {
            process_.kill();
            process_.waitForFinished(5000);
        }
    }
    bool started() { return process_.waitForStarted(5000); }
    bool running() const { return process_.state() != QProcess::NotRunning; }
    // Runs the event loop until wl-copy has ended. Unlike waitUntil(), which sleeps between its looks,
    // nothing here delays the program's own handling of events, which the figures below include.
    bool waitForEnd(int timeoutMs = 5000) {
        if (!running()) return true;
        QEventLoop loop;
        QObject::connect(&process_, &QProcess::finished, &loop, &QEventLoop::quit);
        QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
        loop.exec();
        return !running();
    }
    // Microseconds from the start of wl-copy to its end, or -1 while it runs.
    qint64 endedAfterUs() const { return endedAfterUs_; }
    qint64 elapsedUs() const { return clock_.nsecsElapsed() / 1000; }

private:
    QProcess process_;
    QElapsedTimer clock_;
    qint64 endedAfterUs_ = -1;
};

// The types another Wayland program could paste now.
QStringList waylandTypes() {
    QProcess paste;
    paste.start("timeout", {"2", "wl-paste", "--list-types"});
    if (!paste.waitForFinished(5000) || paste.exitCode() != 0) return {};
    return QString::fromUtf8(paste.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
}

bool waylandPasteSucceeds(const QString& type) {
    QProcess paste;
    paste.start("timeout", {"2", "wl-paste", "--no-newline", "--type", type});
    return paste.waitForFinished(5000) && paste.exitStatus() == QProcess::NormalExit && paste.exitCode() == 0 &&
           !paste.readAllStandardOutput().isEmpty();
}

// When the bridge took the X11 clipboard for a Wayland program, seen by a watcher of our own: the first
// owner after arm(), since the guard's own emptying is another program's ownership to this watcher.
class BridgeWatch {
public:
    BridgeWatch() {
        clock_.start();
        reader_ =
            x11::X11ClipboardReader::start({[this](std::uint64_t, ClipboardChange change) { noteChange(change.taken); },
                                            nullptr, nullptr, nullptr, nullptr, nullptr});
    }
    void arm() { takenAtUs_ = emptiedAtUs_ = -1; }
    qint64 takenAtUs() const { return takenAtUs_.load(); }
    // The owner after that: the guard emptying the clipboard.
    qint64 emptiedAtUs() const { return emptiedAtUs_.load(); }
    qint64 nowUs() const { return clock_.nsecsElapsed() / 1000; }

private:
    void noteChange(bool owned) {
        if (!owned) return;
        const qint64 now = nowUs();
        qint64 unset = -1;
        if (takenAtUs_.compare_exchange_strong(unset, now)) return;
        unset = -1;
        emptiedAtUs_.compare_exchange_strong(unset, now);
    }

    QElapsedTimer clock_;
    std::atomic<qint64> takenAtUs_{-1};
    std::atomic<qint64> emptiedAtUs_{-1};
    std::unique_ptr<x11::X11ClipboardReader> reader_;
};

using MutterTest = X11ClipboardTest;

TEST_F(MutterTest, WaylandCopiesAreCountedOnceEachAndTheFourthRaisesTheAlarm) {
    click("cmdStartPause");
    const QColor colours[] = {Qt::red, Qt::green, Qt::blue, Qt::yellow};
    std::vector<std::unique_ptr<WaylandCopy>> copies;
    for (int capture = 1; capture <= 4; ++capture) {
        const QString file = writePng(qPrintable(QStringLiteral("wayland%1.png").arg(capture)), colours[capture - 1]);
        copies.push_back(std::make_unique<WaylandCopy>(file, "image/png"));
        ASSERT_TRUE(copies.back()->started()) << "wl-copy did not start";
        ASSERT_TRUE(waitUntil([&] { return captures() == capture; }))
            << "Wayland picture " << capture << " was not counted; captures: " << captures();
        if (capture < 4) {
            // Judged and at rest: no second count for the same copy.
            ASSERT_TRUE(waitUntil([&] { return desktop->timers().isResting(GuardTimer::Sampling); }));
            EXPECT_EQ(captures(), capture);
        }
    }
    ASSERT_TRUE(waitUntil([&] { return !answerer.messageBoxes().empty(); })) << "no warning box";
    EXPECT_EQ(answerer.messageBoxes()[0].title.toStdString(), texts::kWarningTitle);
    EXPECT_EQ(countEntries(state().log, texts::kAlarmRaised), 1);
    EXPECT_EQ(countEntries(state().log, texts::kCaptureDetected), 4);
    // The alarm blocks: the last picture goes from the Wayland side too.
    EXPECT_TRUE(waitUntil([&] { return !copies.back()->running(); })) << "the last Wayland copy is still offered";
    EXPECT_FALSE(waylandTypes().contains("image/png"));
}

TEST_F(MutterTest, BlockingLeavesNothingPasteableForWaylandPrograms) {
    // Leaving the X11 side without an owner, as on a plain X server, does not reach Wayland programs.
    {
        WaylandCopy copy(writePng("before.png", Qt::gray), "image/png");
        ASSERT_TRUE(copy.started());
        ASSERT_TRUE(waitUntil([&] { return selection->hasOwner(); })) << "the bridge never took the X11 clipboard";
        ASSERT_TRUE(waitUntil([&] { return waylandTypes().contains("image/png"); }));
        selection->disown();
        QTest::qWait(300);
        const bool stillPasteable = waylandPasteSucceeds("image/png");
        std::printf("[ figures ] X11 owner set to None alone: the Wayland picture is %s\n",
                    stillPasteable ? "still pasteable" : "gone");
    }
    // mutter keeps a copy of a picture whose program has quit, and offers it in its place; blocking
    // empties that too.
    click("cmdEnableDisable");
    ASSERT_TRUE(desktop->timers().isActive(GuardTimer::Blocking));
    EXPECT_TRUE(waitUntil([&] { return !waylandTypes().contains("image/png"); }));
    BridgeWatch watch;
    constexpr int kCopies = 15;
    std::vector<qint64> gone, reaction;
    for (int copy = 0; copy < kCopies; ++copy) {
        SCOPED_TRACE(copy);
        const QColor colour = QColor::fromHsv(copy * 360 / kCopies, 255, 255);
        watch.arm();
        WaylandCopy wayland(writePng(qPrintable(QStringLiteral("blocked%1.png").arg(copy)), colour), "image/png");
        ASSERT_TRUE(wayland.started());
        const qint64 startedAt = watch.nowUs() - wayland.elapsedUs();
        ASSERT_TRUE(wayland.waitForEnd()) << "the Wayland picture is still offered";
        const qint64 takenAt = watch.takenAtUs();
        const qint64 endedAt = startedAt + wayland.endedAfterUs();
        if (takenAt >= startedAt && takenAt <= endedAt) gone.push_back(endedAt - takenAt);
        if (takenAt >= startedAt && watch.emptiedAtUs() >= takenAt) reaction.push_back(watch.emptiedAtUs() - takenAt);
        EXPECT_FALSE(waylandPasteSucceeds("image/png")) << "a Wayland program still pastes the picture";
        EXPECT_FALSE(waylandTypes().contains("image/png"));
    }
    // The emptying settles: the guard lets go of the clipboard, rather than take it again and again
    // from the bridge.
    const std::uint64_t emptyings = desktop->clipboard().reader()->emptyingCount();
    const std::uint64_t changes = desktop->clipboard().changeCount();
    EXPECT_TRUE(waitUntil([&] { return !selection->hasOwner(); })) << "the emptied clipboard was never let go";
    EXPECT_EQ(desktop->clipboard().reader()->emptyingCount(), emptyings) << "emptying goes on by itself";
    EXPECT_LE(desktop->clipboard().changeCount(), changes + 2);
    EXPECT_EQ(captures(), 0);
    // Let go of by the guard, the clipboard stays empty: mutter does not bring back the last picture.
    EXPECT_EQ(waylandTypes(), QStringList());
    EXPECT_FALSE(waylandPasteSucceeds("image/png"));
    EXPECT_LE(emptyings, std::uint64_t{2 * kCopies}) << "more than two emptyings per copy";

    ASSERT_FALSE(gone.empty());
    std::sort(gone.begin(), gone.end());
    std::sort(reaction.begin(), reaction.end());
    const auto ms = [](qint64 us) { return static_cast<double>(us) / 1000.0; };
    const auto p90 = [](const std::vector<qint64>& sorted) { return sorted[(sorted.size() * 9 + 9) / 10 - 1]; };
    std::printf(
        "[ figures ] Wayland copy offered on X11 to gone on Wayland, %zu copies: median %.1f ms, "
        "p90 %.1f ms, max %.1f ms; emptyings %llu\n",
        gone.size(), ms(gone[gone.size() / 2]), ms(p90(gone)), ms(gone.back()),
        static_cast<unsigned long long>(emptyings));
    if (!reaction.empty())
        std::printf(
            "[ figures ] of which the guard's reaction (offered on X11 to taken by the guard): median %.1f ms, "
            "p90 %.1f ms\n",
            ms(reaction[reaction.size() / 2]), ms(p90(reaction)));
}

}  // namespace
}  // namespace zanthrel::qt
