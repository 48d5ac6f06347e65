#include "AppTestSupport.h"

#include "app/SyncDlg.h"
#include "app/SyncSteps.h"
#include "controls/IComboBox.h"
#include "sntp/NtpTimestamp.h"

#include <QElapsedTimer>
#include <QPlainTextEdit>

#include <gtest/gtest.h>

#include <thread>
#include <tuple>

namespace
{

using namespace std::chrono_literals;

const QStringList kNoAnswer = {QString::fromStdString(SyncSteps::LookupLine(kRefusingAddress)),
                               SyncSteps::kRetrieveFailed};

// The window in a temporary folder with a short pace, counted workers, a fake socket library
// and a fake clock, and the server that refuses at once in its selector.
class CommandsTest : public testing::Test
{
protected:
    void SetUp() override
    {
        if (const std::string taken = Port123Taken(); !taken.empty()) {
            GTEST_SKIP() << taken;
        }
        m_dlg->SetExeDir(m_folder.Path());
        m_dlg->SetLogPace(1ms);
        m_dlg->SetSocketLibrary(m_sockets);
        m_dlg->m_sntpClient->SetClockApi(*m_clock);
        m_dlg->SetThreadStarter([this](std::function<void()> body) {
            ++m_starts;
            std::thread(std::move(body)).detach();
            return true;
        });
        m_dlg->OnInitDialog();
        m_dlg->m_comboServer->setEditText(kRefusingAddress);
    }

    void TearDown() override { EXPECT_TRUE(!m_dlg || WaitIdle(*m_dlg)); }

    TempExeDir m_folder;
    std::shared_ptr<FakeSockets> m_sockets = std::make_shared<FakeSockets>();
    // Shared: a worker may outlive the window and still hold the client that points here.
    std::shared_ptr<FakeClock> m_clock = std::make_shared<FakeClock>();
    std::unique_ptr<CSyncDlg> m_dlg = std::make_unique<CSyncDlg>();
    std::atomic<int> m_starts = 0;
};

// An empty selector only clears; two quick presses run one worker, which reports after the
// second look-up line.
TEST_F(CommandsTest, OkClearsAndRunsOneWorkerAtATime)
{
    m_dlg->AppendLog("old text");
    m_dlg->m_comboServer->setEditText("");
    m_dlg->OnOK();
    EXPECT_TRUE(WaitIdle(*m_dlg));
    EXPECT_EQ(m_dlg->m_editLog->toPlainText(), "");
    EXPECT_EQ(m_starts, 0);

    m_dlg->m_comboServer->setEditText(kRefusingAddress);
    m_dlg->OnOK();
    m_dlg->OnOK();
    ASSERT_TRUE(WaitIdle(*m_dlg));
    EXPECT_EQ(m_starts, 1);
    EXPECT_EQ(LogLines(*m_dlg), kNoAnswer);
    EXPECT_EQ(m_sockets->cleanedUp, 1);
}

// Before any retrieve "Adjust" retrieves; after one it sets the clock by the offset relative
// to now, however old the retrieve, and forgets the offset once it is applied.
TEST_F(CommandsTest, AdjustRetrievesOrAppliesTheOffsetOnce)
{
    m_dlg->OnAdjust();
    ASSERT_TRUE(WaitIdle(*m_dlg));
    EXPECT_EQ(LogLines(*m_dlg), kNoAnswer);

    m_dlg->m_lastReply.destination = CNtpTimestamp::Now().AddSeconds(-7200);
    m_dlg->m_lastReply.clockOffset = 3600.25;
    FakeClock refusing(false);
    m_dlg->m_sntpClient->SetClockApi(refusing);
    m_dlg->OnAdjust();
    ASSERT_TRUE(WaitIdle(*m_dlg));
    EXPECT_EQ(LogLines(*m_dlg), QStringList{SyncSteps::kAdjustFailed});

    m_dlg->m_sntpClient->SetClockApi(*m_clock);
    m_dlg->OnAdjust();
    ASSERT_EQ(m_clock->Settings().size(), 1u);
    const double moved =
        CNtpTimestamp::FromSystemTime(m_clock->Settings()[0]).Difference(CNtpTimestamp::Now());
    EXPECT_NEAR(moved, 3600.25, 1.0);
    ASSERT_TRUE(WaitIdle(*m_dlg));
    EXPECT_EQ(LogLines(*m_dlg), QStringList{SyncSteps::kAdjusted});

    m_dlg->OnAdjust();
    ASSERT_TRUE(WaitIdle(*m_dlg));
    EXPECT_EQ(m_clock->Settings().size(), 1u);
    EXPECT_EQ(LogLines(*m_dlg), kNoAnswer);
    EXPECT_EQ(m_starts, 2);
}

// A socket library failure's text replaces the look-up line; the next "OK" starts a new worker.
TEST_F(CommandsTest, SocketLibraryFailuresShowOnlyTheirText)
{
    const std::tuple<FakeSockets::Mode, const char*, int> failures[] = {
        {FakeSockets::Mode::Fails, SyncSteps::kSocketsFailed, 0},
        {FakeSockets::Mode::WrongVersion, SyncSteps::kSocketsVersion, 1},
    };
    for (const auto& [mode, text, cleanups] : failures) {
        m_sockets->mode = mode;
        m_sockets->cleanedUp = 0;
        m_dlg->OnOK();
        ASSERT_TRUE(WaitIdle(*m_dlg));
        EXPECT_EQ(m_dlg->m_editLog->toPlainText(), QString(text).replace("\r\n", "\n"));
        EXPECT_EQ(m_sockets->cleanedUp, cleanups);
    }
    m_sockets->mode = FakeSockets::Mode::Works;
    m_dlg->OnOK();
    ASSERT_TRUE(WaitIdle(*m_dlg));
    EXPECT_EQ(m_starts, 3);
    EXPECT_EQ(LogLines(*m_dlg), kNoAnswer);
}

// Closing while the worker waits for a server returns at once; the worker ends after the
// engine's timeout without touching the window.
TEST_F(CommandsTest, ClosingDuringAWorkerDoesNotWaitForIt)
{
    SilentServer silent;
    ASSERT_TRUE(silent.error.empty()) << silent.error;
    m_dlg->m_comboServer->setEditText(kSilentAddress);
    m_dlg->OnOK();
    ASSERT_TRUE(WaitUntil([&] { return m_sockets->started == 1; }));
    QElapsedTimer closing;
    closing.start();
    m_dlg.reset();
    EXPECT_LT(closing.elapsed(), 500);
    EXPECT_TRUE(WaitUntil([&] { return m_sockets->cleanedUp == 1; }, 10s));
}

} // namespace
