#include "AppTestSupport.h"

#include "app/LogWriter.h"
#include "app/SyncDlg.h"
#include "app/WindowCrossing.h"

#include <QPlainTextEdit>
#include <QTimer>

#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <thread>

namespace
{

using namespace std::chrono_literals;

class LogWriterTest : public testing::Test
{
protected:
    QString Text() const { return m_pane.toPlainText(); }

    QPlainTextEdit m_pane;
    LogWriter m_writer{&m_pane, nullptr};
};

TEST_F(LogWriterTest, TypesLinesOneCharacterAtATimeInOrder)
{
    m_writer.SetPace(20ms);
    m_writer.Append("first line");
    m_writer.Append("");
    m_writer.Append("third");
    // Appending returns before the line is in: the window goes on with its events.
    EXPECT_FALSE(m_writer.IsIdle());
    ASSERT_TRUE(WaitUntil([&] { return !Text().isEmpty(); }));
    EXPECT_TRUE(QString("first line").startsWith(Text())) << Text().toStdString();
    EXPECT_LT(Text().size(), 10);
    ASSERT_TRUE(WaitUntil([&] { return m_writer.IsIdle(); }));
    EXPECT_EQ(Text(), "first line\n\nthird\n");
}

TEST_F(LogWriterTest, ClearingDropsTheClearedTextsLinesButRetypesAWaitedLine)
{
    m_writer.SetPace(10ms);
    m_writer.Append("window line");
    int done = 0;
    m_writer.Append("worker line", [&] { ++done; });
    ASSERT_TRUE(WaitUntil([&] { return Text().contains("\nwork"); }));
    m_writer.Clear();
    EXPECT_EQ(Text(), "");
    m_writer.Append("after clear");
    ASSERT_TRUE(WaitUntil([&] { return m_writer.IsIdle(); }));
    EXPECT_EQ(Text(), "worker line\nafter clear\n");
    EXPECT_EQ(done, 1);

    m_writer.Append("own line, cut");
    ASSERT_TRUE(WaitUntil([&] { return !Text().endsWith('\n'); }));
    m_writer.Clear();
    EXPECT_TRUE(m_writer.IsIdle());
    EXPECT_EQ(Text(), "");
}

TEST_F(LogWriterTest, SetTextReplacesEverythingAtOnce)
{
    m_writer.SetPace(50ms);
    m_writer.Append("Looking up   --- x ---");
    m_writer.SetText("Failed to load winsock stack\r\n");
    EXPECT_EQ(Text(), "Failed to load winsock stack\n");
    EXPECT_TRUE(m_writer.IsIdle());
}

// Lines from the window and from two workers at once: each appears whole, each writer's in
// its own order, and the window keeps handling its events while its lines are typed.
TEST(LogWriters, NeverInterleaveAndKeepTheWindowResponsive)
{
    CSyncDlg dlg;
    dlg.SetLogPace(1ms);
    auto worker = [&dlg](const QString& name) {
        for (int i = 0; i < 5; ++i) {
            dlg.AppendLog(QStringLiteral("%1 line %2").arg(name).arg(i));
        }
    };
    std::thread first(worker, QStringLiteral("first"));
    std::thread second(worker, QStringLiteral("second"));
    int ticks = 0;
    QTimer clock;
    QObject::connect(&clock, &QTimer::timeout, [&] { ++ticks; });
    clock.start(1);
    for (int i = 0; i < 5; ++i) {
        dlg.AppendLog(QStringLiteral("window line %1").arg(i));
    }
    ASSERT_TRUE(WaitUntil([&] { return LogLines(dlg).size() == 15 && dlg.IsLogIdle(); }));
    first.join();
    second.join();
    EXPECT_GT(ticks, 0);

    std::map<QString, int> next;
    for (const QString& line : LogLines(dlg)) {
        const QStringList words = line.split(' ');
        ASSERT_EQ(words.size(), 3) << line.toStdString();
        ASSERT_EQ(words[1], "line");
        EXPECT_EQ(words[2].toInt(), next[words[0]]++) << line.toStdString();
    }
}

TEST(WindowCrossing, RunsCallsOnTheWindowsThreadUntilClosed)
{
    QObject window;
    auto crossing = WindowCrossing::Create(&window);
    bool ran = false;
    EXPECT_TRUE(crossing->Call([&] { ran = true; })); // the window's own thread: at once
    EXPECT_TRUE(ran);

    std::thread::id ranOn;
    bool called = false;
    std::thread worker(
        [&] { called = crossing->Call([&] { ranOn = std::this_thread::get_id(); }); });
    ASSERT_TRUE(WaitUntil([&] { return ranOn != std::thread::id(); }));
    worker.join();
    EXPECT_TRUE(called);
    EXPECT_EQ(ranOn, std::this_thread::get_id());

    crossing->Close();
    bool refused = false;
    ran = false;
    std::thread late([&] { refused = !crossing->Call([&] { ran = true; }); });
    late.join();
    EXPECT_TRUE(refused);
    EXPECT_FALSE(ran);
}

// A worker waiting for a line that will never be finished is let go when the window closes.
TEST(WindowCrossing, CloseReleasesAWaitingWorker)
{
    QObject window;
    auto crossing = WindowCrossing::Create(&window);
    std::atomic<bool> started = false;
    std::atomic<bool> released = false;
    bool result = true;
    std::thread worker([&] {
        result = crossing->Await([&](const WindowCrossing::Done&) { started = true; });
        released = true;
    });
    ASSERT_TRUE(WaitUntil([&] { return started.load(); }));
    EXPECT_FALSE(released);
    crossing->Close();
    worker.join();
    EXPECT_FALSE(result);
}

} // namespace
