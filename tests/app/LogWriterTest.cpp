#include "AppTestSupport.h"

#include "app/LogWriter.h"
#include "app/SyncDlg.h"
#include "app/WindowCrossing.h"

#include <QPlainTextEdit>
#include <QTimer>

#include <gtest/gtest.h>

#include <map>
#include <thread>

namespace
{

using namespace std::chrono_literals;

// A clear shows no half line: the window's own lines go with the cleared text, a waiting
// writer's line is typed again whole and its writer released.
TEST(LogWriter, ClearingDropsTheWindowsLinesAndRetypesAWaitedOne)
{
    QPlainTextEdit pane;
    LogWriter writer(&pane, nullptr);
    writer.SetPace(10ms);
    writer.Append("window line");
    int done = 0;
    writer.Append("worker line", [&] { ++done; });
    ASSERT_TRUE(WaitUntil([&] { return pane.toPlainText().contains("\nwork"); }));
    writer.Clear();
    EXPECT_EQ(pane.toPlainText(), "");
    writer.Append("after clear");
    ASSERT_TRUE(WaitUntil([&] { return writer.IsIdle(); }));
    EXPECT_EQ(pane.toPlainText(), "worker line\nafter clear\n");
    EXPECT_EQ(done, 1);
}

// The window and two workers at once: every line whole, each writer's in its order, and the
// window handles its events (a clock here) while its own lines are typed.
TEST(LogWriter, WritersNeverInterleaveAndTheWindowStaysResponsive)
{
    CSyncDlg dlg;
    dlg.SetLogPace(1ms);
    auto writeFive = [&dlg](const QString& name) {
        for (int i = 0; i < 5; ++i) {
            dlg.AppendLog(QStringLiteral("%1 line %2").arg(name).arg(i));
        }
    };
    std::thread first(writeFive, QStringLiteral("first"));
    std::thread second(writeFive, QStringLiteral("second"));
    int ticks = 0;
    QTimer clock;
    QObject::connect(&clock, &QTimer::timeout, [&] { ++ticks; });
    clock.start(1);
    writeFive(QStringLiteral("window"));
    EXPECT_FALSE(dlg.IsLogIdle()); // the window's own lines are queued, not waited for
    ASSERT_TRUE(WaitUntil([&] { return LogLines(dlg).size() == 15 && dlg.IsLogIdle(); }));
    first.join();
    second.join();
    EXPECT_GT(ticks, 0);

    std::map<QString, int> next;
    for (const QString& line : LogLines(dlg)) {
        const QStringList words = line.split(' ');
        ASSERT_EQ(words.size(), 3) << line.toStdString();
        EXPECT_EQ(words[2].toInt(), next[words[0]]++) << line.toStdString();
    }
}

// A worker waiting for a line that will never be finished is let go when the window closes;
// later calls are refused without running.
TEST(WindowCrossing, CloseReleasesWaitingWorkersAndRefusesLaterCalls)
{
    QObject window;
    auto crossing = WindowCrossing::Create(&window);
    std::atomic<bool> started = false;
    bool result = true;
    std::thread worker(
        [&] { result = crossing->Await([&](const WindowCrossing::Done&) { started = true; }); });
    ASSERT_TRUE(WaitUntil([&] { return started.load(); }));
    crossing->Close();
    worker.join();
    EXPECT_FALSE(result);

    bool ran = false;
    std::thread([&] { result = crossing->Call([&] { ran = true; }); }).join();
    EXPECT_FALSE(result || ran);
}

} // namespace
