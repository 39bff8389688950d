// Blocking against programs that race it on the real X11 clipboard: a spy that reads each copy the instant
// it hears of it, a program that takes the clipboard back after every emptying, and what is merely
// selected (PRIMARY). The other programs are x11_race_client processes.
#include <gtest/gtest.h>

#include <QSet>

#include "core/texts.h"
#include "platform/x11/x11_clipboard_reader.h"
#include "x11_fixture.h"

namespace zanthrel::qt {
namespace {

using testing::waitUntil;
using testing::X11ClipboardTest;

// An x11_race_client, watched as the test owner is and ended with the test.
class RaceClient : public testing::TestOwner {
public:
    explicit RaceClient(const QStringList& arguments) : TestOwner(QStringLiteral(ZANTHREL_RACE_CLIENT), arguments) {}
    // The different secrets a spy got.
    int secretsGot() {
        QSet<QString> secrets;
        for (const QString& line : lines())
            if (line.startsWith(QStringLiteral("got secret"))) secrets.insert(line);
        return int(secrets.size());
    }
};

constexpr int kCopies = 15;

class X11RaceTest : public X11ClipboardTest {
protected:
    // Copies the secrets into `selection` 100 ms apart while a spy reads them; what the spy got.
    int spyGets(const QString& selection) {
        RaceClient spy({"spy", selection, "30"});
        EXPECT_TRUE(spy.saw("ready", 10000)) << "the spy did not start";
        RaceClient copier({"copy", selection, QString::number(kCopies), "100"});
        EXPECT_TRUE(copier.finished()) << "the copier failed";
        // A transfer asked for at the last copy may still be on its way.
        QTest::qWait(300);
        copiersReport = copier.lines().isEmpty() ? QString() : copier.lines().constLast();
        return spy.secretsGot();
    }
    const x11::X11ClipboardReader& reader() {
        return dynamic_cast<const x11::X11ClipboardReader&>(*desktop->clipboard().reader());
    }

    QString copiersReport;  // "taken K of N": how many copies another program took away
};

TEST_F(X11RaceTest, ASpyThatReadsEachCopyAtOnceGetsFewOfThemWhileBlocking) {
    // Without blocking the spy gets every copy: it is a spy that works.
    EXPECT_EQ(spyGets("clipboard"), kCopies);
    EXPECT_EQ(copiersReport, QStringLiteral("taken 0 of %1").arg(kCopies));

    click("cmdEnableDisable");
    // The blocking clock's first tick empties what was there, through the window.
    ASSERT_TRUE(waitUntil([&] { return desktop->clipboard().clearCount() == 1; }));
    // Loose enough never to fail on a busy machine; the live benchmark says how few it really gets.
    EXPECT_LE(spyGets("clipboard"), 7) << "the emptying does not win the race";
    EXPECT_EQ(copiersReport, QStringLiteral("taken %1 of %1").arg(kCopies));
    EXPECT_EQ(reader().emptyingCount(), std::uint64_t(kCopies));
    EXPECT_EQ(desktop->clipboard().clearCount(), 1u) << "emptied through the window rather than at once";
    // Emptied before the guard heard of it, and named as usual.
    EXPECT_EQ(testing::countEntries(state().log, "    Emptied what x11_race_client"), 1);
}

TEST_F(X11RaceTest, WhatIsMerelySelectedIsEmptiedToo) {
    click("cmdEnableDisable");
    EXPECT_LE(spyGets("primary"), 7);
    EXPECT_EQ(copiersReport, QStringLiteral("taken %1 of %1").arg(kCopies));
    EXPECT_EQ(reader().primaryEmptyingCount(), std::uint64_t(kCopies));
    EXPECT_EQ(reader().emptyingCount(), 0u) << "the clipboard held nothing to empty";
    EXPECT_EQ(testing::countEntries(state().log, texts::kDetailIndent), 0) << "PRIMARY is not watched";

    // What was selected before blocking began goes at once.
    click("cmdEnableDisable");
    RaceClient selected({"copy", "primary", "1", "3000"});
    ASSERT_TRUE(selected.saw("copied 1", 10000));
    click("cmdEnableDisable");
    EXPECT_TRUE(selected.finished()) << "the selection was not emptied when blocking began";
    EXPECT_EQ(selected.lines().constLast(), QStringLiteral("taken 1 of 1"));
}

TEST_F(X11RaceTest, NothingIsEmptiedOnceBlockingIsOff) {
    click("cmdEnableDisable");
    click("cmdEnableDisable");
    const std::uint64_t emptyings = reader().emptyingCount();
    for (const char* selection : {"clipboard", "primary"}) {
        SCOPED_TRACE(selection);
        EXPECT_EQ(spyGets(selection), kCopies);
        EXPECT_EQ(copiersReport, QStringLiteral("taken 0 of %1").arg(kCopies));
    }
    EXPECT_EQ(reader().emptyingCount(), emptyings);
    EXPECT_EQ(reader().primaryEmptyingCount(), 0u);
}

TEST_F(X11RaceTest, AProgramThatTakesTheClipboardBackAtOnceIsPacedAndSaidOnce) {
    click("cmdEnableDisable");
    const auto started = std::chrono::steady_clock::now();
    RaceClient fighter({"fight", "2"});
    ASSERT_TRUE(fighter.finished());
    const auto fought = std::chrono::steady_clock::now() - started;
    const QStringList report = fighter.lines();
    ASSERT_FALSE(report.isEmpty());
    ASSERT_EQ(report.size(), 2);
    const long retaken = report[0].section(' ', 1).toLong();
    EXPECT_GE(retaken, EmptyingOrder{}.fightTakings) << "no fight took place";
    // At once until the fight is seen, then at the blocking clock's pace: never more than that.
    const auto paced = std::chrono::duration_cast<std::chrono::milliseconds>(fought) / EmptyingOrder{}.fightPace;
    EXPECT_LE(reader().emptyingCount(), std::uint64_t(EmptyingOrder{}.fightTakings + paced + 2));
    EXPECT_EQ(testing::countEntries(state().log, texts::kContested), 1) << "the fight is said once";
    // Its last taking, which nobody fights for any more, is still emptied at the next turn of the pace.
    EXPECT_EQ(report.constLast(), QStringLiteral("last taking emptied"));
}

}  // namespace
}  // namespace zanthrel::qt
