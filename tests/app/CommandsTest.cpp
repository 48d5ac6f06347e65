#include "AppTestSupport.h"

#include "app/ServerListFile.h"
#include "app/SyncSteps.h"
#include "controls/IComboBox.h"
#include "sntp/NtpTimestamp.h"

#include <QElapsedTimer>
#include <gtest/gtest.h>

#include <optional>
#include <thread>
#include <tuple>

namespace
{

using namespace std::chrono_literals;

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

    // Runs a command and returns the log once everything is written.
    QStringList Run(void (CSyncDlg::*command)())
    {
        (m_dlg.get()->*command)();
        EXPECT_TRUE(WaitIdle(*m_dlg));
        return LogLines(*m_dlg);
    }

    const QStringList m_noAnswer = {QString::fromStdString(SyncSteps::LookupLine(kRefusingAddress)),
                                    SyncSteps::kRetrieveFailed};
    TempExeDir m_folder;
    std::shared_ptr<FakeSockets> m_sockets = std::make_shared<FakeSockets>();
    // Shared: a worker may outlive the window and still hold the client that points here.
    std::shared_ptr<FakeClock> m_clock = std::make_shared<FakeClock>();
    std::unique_ptr<CSyncDlg> m_dlg = std::make_unique<CSyncDlg>();
    std::atomic<int> m_starts = 0;
};

// Two quick presses run one worker, which reports after the second look-up line.
TEST_F(CommandsTest, OkRunsOneWorkerAtATime)
{
    m_dlg->OnOK();
    EXPECT_EQ(Run(&CSyncDlg::OnOK), m_noAnswer);
    EXPECT_EQ(m_starts, 1);
    EXPECT_EQ(m_sockets->cleanedUp, 1);
}

// Before any retrieve "Adjust" retrieves; after one it sets the clock by the offset relative
// to now, however old the retrieve, and forgets the offset once it is applied.
TEST_F(CommandsTest, AdjustRetrievesOrAppliesTheOffsetOnce)
{
    EXPECT_EQ(Run(&CSyncDlg::OnAdjust), m_noAnswer);

    m_dlg->m_lastReply.destination = CNtpTimestamp::Now().AddSeconds(-7200);
    m_dlg->m_lastReply.clockOffset = 3600.25;
    FakeClock refusing(false);
    m_dlg->m_sntpClient->SetClockApi(refusing);
    EXPECT_EQ(Run(&CSyncDlg::OnAdjust), QStringList{SyncSteps::kAdjustFailed});

    m_dlg->m_sntpClient->SetClockApi(*m_clock);
    EXPECT_EQ(Run(&CSyncDlg::OnAdjust), QStringList{SyncSteps::kAdjusted});
    ASSERT_EQ(m_clock->Settings().size(), 1u);
    const CNtpTimestamp set = CNtpTimestamp::FromSystemTime(m_clock->Settings()[0]);
    EXPECT_NEAR(set.Difference(CNtpTimestamp::Now()), 3600.25, 1.0);

    EXPECT_EQ(Run(&CSyncDlg::OnAdjust), m_noAnswer);
    EXPECT_EQ(m_clock->Settings().size(), 1u);
    EXPECT_EQ(m_starts, 2);
}

// A socket library failure's text replaces the look-up line; the next "OK" starts a new worker.
TEST_F(CommandsTest, SocketLibraryFailuresShowOnlyTheirText)
{
    for (const auto& [mode, text, cleanups] :
         {std::tuple{FakeSockets::Mode::Fails, SyncSteps::kSocketsFailed, 0},
          {FakeSockets::Mode::WrongVersion, SyncSteps::kSocketsVersion, 1}}) {
        m_sockets->mode = mode;
        m_sockets->cleanedUp = 0;
        Run(&CSyncDlg::OnOK);
        EXPECT_EQ(m_dlg->m_editLog->toPlainText(), QString(text).replace("\r\n", "\n"));
        EXPECT_EQ(m_sockets->cleanedUp, cleanups);
    }
    m_sockets->mode = FakeSockets::Mode::Works;
    EXPECT_EQ(Run(&CSyncDlg::OnOK), m_noAnswer);
    EXPECT_EQ(m_starts, 3);
}

// Closing while the worker waits for a server returns at once; the worker ends after the
// engine's timeout without touching the window.
TEST_F(CommandsTest, ClosingDuringAWorkerDoesNotWaitForIt)
{
    SilentServer silent;
    ASSERT_TRUE(silent.bound);
    m_dlg->m_comboServer->setEditText(kSilentAddress);
    m_dlg->OnOK();
    ASSERT_TRUE(WaitUntil([&] { return m_sockets->started == 1; }));
    QElapsedTimer closing;
    closing.start();
    m_dlg.reset();
    EXPECT_LT(closing.elapsed(), 500);
    EXPECT_TRUE(WaitUntil([&] { return m_sockets->cleanedUp == 1; }, 10s));
}

// The server list file's entries, sorted ignoring case as they go into the selector; the
// built-in servers when it gives none. The first entry is selected.
TEST(ServerList, FillsTheSelectorInItsOrder)
{
    const QStringList builtIns = {"pool.ntp.org", "time.cloudflare.com", "time.nist.gov"};
    const std::pair<std::optional<QByteArray>, QStringList> cases[] = {
        {std::nullopt, builtIns},
        {"# servers\r\n#time.example\r\n", builtIns},
        // Duplicates kept, trailing blanks and tabs gone, "#" a comment only in the first
        // column, no final line end needed.
        {"zeta.example \t\r\nAlpha.example\r\n #kept\r\nzeta.example",
         {" #kept", "Alpha.example", "zeta.example", "zeta.example"}},
        // A blank line is an entry; line feeds alone end lines too.
        {"b.example\na.example\n \t\n", {"", "a.example", "b.example"}},
        // A long line is taken whole.
        {QByteArray(30000, 'a') + "\n", {QString(30000, 'a')}},
    };
    for (const auto& [content, entries] : cases) {
        TempExeDir folder;
        if (content) {
            folder.WriteServerList(*content);
        }
        CSyncDlg dlg;
        dlg.SetExeDir(folder.Path());
        dlg.SetExeDirCurrent();
        dlg.LoadServerList();
        QStringList shown;
        for (int i = 0; i < dlg.m_comboServer->count(); ++i) {
            shown.append(dlg.m_comboServer->itemText(i));
        }
        EXPECT_EQ(shown, entries);
        EXPECT_EQ(dlg.m_comboServer->currentIndex(), 0);
    }
}

// Past the byte limit nothing more is read, nor the line it cuts through; and no more than the
// entry limit is kept, so a runaway file cannot stall the window.
TEST(ServerList, StopsAtItsLimits)
{
    TempExeDir folder;
    folder.WriteServerList("a.example\n" + QByteArray(3 * ServerListFile::kMaxBytes, 'x'));
    EXPECT_EQ(ServerListFile::Read(folder.Path() + "/url/time.txt"), QStringList{"a.example"});
    folder.WriteServerList(QByteArray("s.example\n").repeated(3000));
    EXPECT_EQ(ServerListFile::Read(folder.Path() + "/url/time.txt").size(),
              ServerListFile::kMaxEntries);
}

} // namespace
