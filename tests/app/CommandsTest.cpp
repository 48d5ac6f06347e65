#include "AppTestSupport.h"

#include "app/SyncDlg.h"
#include "app/SyncSteps.h"
#include "sntp/NtpTimestamp.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QPlainTextEdit>

#include <gtest/gtest.h>

#include <thread>

namespace
{

using namespace std::chrono_literals;

QString Lookup(const char* server)
{
    return QString::fromStdString(SyncSteps::LookupLine(server));
}

// The window, set up in a temporary folder, with a short pace, counted workers, a fake socket
// library and a fake clock.
class CommandsTest : public testing::Test
{
protected:
    void SetUp() override
    {
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
    }

    void TearDown() override
    {
        if (m_dlg) {
            EXPECT_TRUE(WaitIdle(*m_dlg));
        }
    }

    void Select(const char* server) { m_dlg->m_comboServer->setEditText(server); }

    TempExeDir m_folder;
    std::shared_ptr<FakeSockets> m_sockets = std::make_shared<FakeSockets>();
    // Shared, because a worker may outlive the window and still hold the client.
    std::shared_ptr<FakeClock> m_clock = std::make_shared<FakeClock>();
    std::unique_ptr<CSyncDlg> m_dlg = std::make_unique<CSyncDlg>();
    std::atomic<int> m_starts = 0;
};

TEST_F(CommandsTest, OkWithAnEmptySelectorOnlyClears)
{
    m_dlg->AppendLog("old text");
    Select("");
    m_dlg->OnOK();
    EXPECT_TRUE(WaitIdle(*m_dlg));
    EXPECT_EQ(m_dlg->m_editLog->toPlainText(), "");
    EXPECT_EQ(m_starts, 0);
}

TEST_F(CommandsTest, OkWithNoAnswerWritesTheFailureLine)
{
    Select(kRefusingAddress);
    m_dlg->OnOK();
    EXPECT_TRUE(m_dlg->IsBusy());
    ASSERT_TRUE(WaitIdle(*m_dlg));
    EXPECT_EQ(LogLines(*m_dlg),
              QStringList({Lookup(kRefusingAddress), SyncSteps::kRetrieveFailed}));
    EXPECT_EQ(m_sockets->Started(), 1);
    EXPECT_EQ(m_sockets->CleanedUp(), 1);
    EXPECT_EQ(m_dlg->m_lastReply.destination.Value(), 0u);
}

TEST_F(CommandsTest, TwoQuickPressesRunOneWorker)
{
    Select(kRefusingAddress);
    m_dlg->OnOK();
    m_dlg->OnOK();
    ASSERT_TRUE(WaitIdle(*m_dlg));
    EXPECT_EQ(m_starts, 1);
    EXPECT_EQ(LogLines(*m_dlg),
              QStringList({Lookup(kRefusingAddress), SyncSteps::kRetrieveFailed}));
}

TEST_F(CommandsTest, AdjustWithoutARetrieveRetrieves)
{
    Select(kRefusingAddress);
    m_dlg->OnAdjust();
    ASSERT_TRUE(WaitIdle(*m_dlg));
    EXPECT_EQ(m_starts, 1);
    EXPECT_EQ(LogLines(*m_dlg),
              QStringList({Lookup(kRefusingAddress), SyncSteps::kRetrieveFailed}));
    EXPECT_TRUE(m_clock->Settings().empty());
}

// The offset of a retrieve long ago is applied to the time of the adjustment, once.
TEST_F(CommandsTest, AdjustSetsTheClockByTheOffsetOnceThenRetrievesAgain)
{
    Select(kRefusingAddress);
    m_dlg->m_lastReply.destination = CNtpTimestamp::Now().AddSeconds(-7200);
    m_dlg->m_lastReply.clockOffset = 3600.25;
    m_dlg->OnAdjust();
    ASSERT_EQ(m_clock->Settings().size(), 1u);
    const double moved =
        CNtpTimestamp::FromSystemTime(m_clock->Settings()[0]).Difference(CNtpTimestamp::Now());
    EXPECT_NEAR(moved, 3600.25, 1.0);
    ASSERT_TRUE(WaitIdle(*m_dlg));
    EXPECT_EQ(LogLines(*m_dlg), QStringList{SyncSteps::kAdjusted});
    EXPECT_EQ(m_starts, 0);

    m_dlg->OnAdjust();
    ASSERT_TRUE(WaitIdle(*m_dlg));
    EXPECT_EQ(m_starts, 1);
    EXPECT_EQ(m_clock->Settings().size(), 1u);
    EXPECT_EQ(LogLines(*m_dlg).value(0), Lookup(kRefusingAddress));
}

TEST_F(CommandsTest, AFailedAdjustmentKeepsTheOffset)
{
    auto refusing = std::make_shared<FakeClock>(false);
    m_dlg->m_sntpClient->SetClockApi(*refusing);
    m_clock = refusing;
    m_dlg->m_lastReply.destination = CNtpTimestamp::Now();
    m_dlg->m_lastReply.clockOffset = -2.5;
    m_dlg->OnAdjust();
    ASSERT_TRUE(WaitIdle(*m_dlg));
    EXPECT_EQ(LogLines(*m_dlg), QStringList{SyncSteps::kAdjustFailed});
    EXPECT_NE(m_dlg->m_lastReply.destination.Value(), 0u);
    EXPECT_EQ(m_starts, 0);
}

struct SocketFailure {
    FakeSockets::Mode mode;
    const char* text;
    int cleanups;
};

class SocketFailureTest : public CommandsTest, public testing::WithParamInterface<SocketFailure>
{
};

// The failure replaces the look-up line; the marker is cleared, so the next "OK" starts anew.
TEST_P(SocketFailureTest, ShowsOnlyItsTextAndLetsTheNextOkStartAWorker)
{
    m_sockets->SetMode(GetParam().mode);
    Select(kRefusingAddress);
    m_dlg->OnOK();
    ASSERT_TRUE(WaitIdle(*m_dlg));
    EXPECT_EQ(m_dlg->m_editLog->toPlainText(), QString(GetParam().text).replace("\r\n", "\n"));
    EXPECT_EQ(m_sockets->CleanedUp(), GetParam().cleanups);

    m_sockets->SetMode(FakeSockets::Mode::Works);
    m_dlg->OnOK();
    ASSERT_TRUE(WaitIdle(*m_dlg));
    EXPECT_EQ(m_starts, 2);
    EXPECT_EQ(LogLines(*m_dlg),
              QStringList({Lookup(kRefusingAddress), SyncSteps::kRetrieveFailed}));
}

INSTANTIATE_TEST_SUITE_P(
    Library, SocketFailureTest,
    testing::Values(SocketFailure{FakeSockets::Mode::Fails, SyncSteps::kSocketsFailed, 0},
                    SocketFailure{FakeSockets::Mode::WrongVersion, SyncSteps::kSocketsVersion, 1}));

TEST_F(CommandsTest, CommandLineRunWritesItsLookUpLineFirst)
{
    CSyncDlg dlg;
    dlg.SetExeDir(m_folder.Path());
    dlg.SetLogPace(1ms);
    dlg.m_sntpClient->SetClockApi(*m_clock);
    dlg.SetCommandLine(CommandLine::Parse({kRefusingAddress, "y"}));
    dlg.OnInitDialog();
    EXPECT_TRUE(dlg.IsBusy());
    ASSERT_TRUE(WaitIdle(dlg));
    EXPECT_EQ(LogLines(dlg), QStringList({Lookup(kRefusingAddress), SyncSteps::kRetrieveFailed}));
}

// Closing while the worker waits for a server returns at once; the worker finishes later
// without touching the window.
TEST_F(CommandsTest, ClosingDuringAWorkerDoesNotWaitForIt)
{
    SilentServer silent;
    ASSERT_TRUE(silent.IsOpen()) << silent.Error();
    Select(kSilentAddress);
    m_dlg->OnOK();
    ASSERT_TRUE(WaitUntil([&] { return m_sockets->Started() == 1; }));
    QElapsedTimer closing;
    closing.start();
    m_dlg.reset();
    EXPECT_LT(closing.elapsed(), 500);
    // The engine gives up after its timeout; the worker then ends through the closed crossing.
    EXPECT_TRUE(WaitUntil([&] { return m_sockets->CleanedUp() == 1; }, 10s));
}

} // namespace
