#include "AppTestSupport.h"

#include "app/SyncApp.h"
#include "app/SyncSteps.h"
#include "app/TitleDrag.h"
#include "app/WindowMenu.h"
#include "controls/AnalogClock.h"
#include "controls/HoverButton.h"
#include "controls/IComboBox.h"
#include "sntp/NtpTimestamp.h"

#include <QElapsedTimer>
#include <QFontInfo>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <gtest/gtest.h>

#include <thread>
#include <tuple>

// The window shown from a temporary folder with a short pace, a fake socket library and clock,
// and the server that refuses at once in its selector. Its command line asks for a worker that
// cannot be created, so the set-up has to go on without one.
class SyncDlgTest : public testing::Test
{
protected:
    void SetUp() override
    {
        m_dlg->SetExeDir(m_folder.path());
        m_dlg->SetLogPace(std::chrono::milliseconds(1));
        m_dlg->SetSocketLibrary(m_sockets);
        m_dlg->m_sntpClient->SetClockApi(*m_clock);
        m_dlg->SetCommandLine(CommandLine::Parse({"t.example", "yes"}));
        m_dlg->SetThreadStarter([this](std::function<void()> body) {
            if (++m_starts, m_threads) {
                std::thread(std::move(body)).detach();
            }
            return m_threads.load();
        });
        m_dlg->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(m_dlg.get()));
        m_dlg->m_comboServer->setEditText(QString::fromStdString(kRefusingAddress));
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
    std::atomic<bool> m_threads = false;
};

TEST_F(SyncDlgTest, AFramelessRoundedSkinWithItsControlsInPlaceDraggedByItsTopBand)
{
    EXPECT_EQ(m_starts, 1);
    EXPECT_TRUE(m_dlg->windowFlags().testFlag(Qt::FramelessWindowHint));
    EXPECT_EQ(m_dlg->size(), QSize(270, 240));

    // Offscreen windows ignore masks: the mask asked for is what counts. The four corners are
    // cut alike, the edges stay whole.
    const QRegion mask = m_dlg->mask();
    const std::pair<QPoint, bool> probes[] = {{{0, 0}, false}, {{1, 0}, false}, {{0, 1}, false},
                                              {{6, 0}, true},  {{0, 6}, true},  {{135, 0}, true},
                                              {{0, 120}, true}};
    for (const auto& [p, inside] : probes) {
        for (const QPoint q : {p, QPoint(269 - p.x(), p.y()), QPoint(p.x(), 239 - p.y()),
                               QPoint(269 - p.x(), 239 - p.y())}) {
            EXPECT_EQ(mask.contains(q), inside) << q.x() << ',' << q.y();
        }
    }

    const std::pair<QWidget*, QRect> places[] = {
        {m_dlg->m_btnClose, {246, 5, 15, 15}},      {m_dlg->m_btnAbout, {228, 5, 15, 15}},
        {m_dlg->m_btnMinimize, {210, 5, 15, 15}},   {m_dlg->m_clock, {27, 34, 45, 45}},
        {m_dlg->m_editTime, {104, 36, 144, 42}},    {m_dlg->m_editLog, {23, 91, 221, 94}},
        {m_dlg->m_staticFrame, {17, 83, 234, 109}}, {m_dlg->m_btnOK, {165, 200, 40, 22}},
        {m_dlg->m_btnAdjust, {210, 200, 40, 22}},   {m_dlg->m_comboServer, {17, 200, 141, 21}},
    };
    for (const auto& [control, rect] : places) {
        EXPECT_EQ(control->geometry(), rect) << control->objectName().toStdString();
    }

    // Segmatic from the file written beside the executable; Tahoma 11 bold in the log pane.
    EXPECT_EQ(QFontInfo(m_dlg->m_editTime->font()).family(), "Segmatic");
    EXPECT_EQ(std::pair(m_dlg->m_editLog->font().pixelSize(), m_dlg->m_editLog->font().weight()),
              std::pair(11, QFont::Bold));

    // Presses on the skin and the analogue clock reach the window, which follows the mouse when
    // the window system cannot move it (a bare X server); the band ends at y 35. The digital
    // clock shows local time and passes the focus on.
    m_dlg->findChild<TitleDrag*>()->SetSystemMove([](QWindow*) { return false; });
    const std::tuple<QWidget*, QPoint, bool> presses[] = {{m_dlg->m_staticSkin, {120, 34}, true},
                                                          {m_dlg->m_clock, {20, 0}, true},
                                                          {m_dlg->m_staticSkin, {120, 35}, false},
                                                          {m_dlg->m_btnAbout, {7, 7}, false}};
    for (const auto& [target, at, moves] : presses) {
        const QPoint start = m_dlg->pos();
        QTest::mousePress(target, Qt::LeftButton, {}, at);
        QMouseEvent move(QEvent::MouseMove, at, target->mapToGlobal(at) + QPoint(40, 25),
                         Qt::NoButton, Qt::LeftButton, {});
        QApplication::sendEvent(m_dlg.get(), &move);
        QTest::mouseRelease(m_dlg.get(), Qt::LeftButton, {}, at);
        EXPECT_EQ(m_dlg->pos() - start, moves ? QPoint(40, 25) : QPoint()) << at.y();
    }

    const QString shown = m_dlg->m_editTime->text();
    ASSERT_TRUE(QTest::qWaitFor([&] { return m_dlg->m_editTime->text() != shown; }, 2500));
    const QTime now = QTime::currentTime();
    EXPECT_TRUE(m_dlg->m_editTime->text() == now.toString("HH:mm:ss") ||
                m_dlg->m_editTime->text() == now.addSecs(-1).toString("HH:mm:ss"));
    QTest::mouseClick(m_dlg->m_editTime, Qt::LeftButton);
    EXPECT_TRUE(m_dlg->m_btnOK->hasFocus());
}

// Enter runs "OK" (and tries again the worker that could not start) without closing.
TEST_F(SyncDlgTest, EnterRunsOkWhileEscapeTheCloseButtonAndTheMenuEndIt)
{
    QTest::keyClick(m_dlg->m_editLog, Qt::Key_Return);
    QTest::keyClick(m_dlg->m_btnOK, Qt::Key_Enter);
    EXPECT_EQ(m_starts, 3);
    EXPECT_TRUE(m_dlg->isVisible());
    QTest::keyClick(m_dlg->m_btnOK, Qt::Key_Escape);
    EXPECT_FALSE(m_dlg->isVisible());

    m_dlg->show();
    m_dlg->m_btnClose->click();
    EXPECT_FALSE(m_dlg->isVisible());

    m_dlg->show();
    const QList<QAction*> actions = m_dlg->findChild<WindowMenu*>()->Menu()->actions();
    ASSERT_EQ(actions.size(), 4);
    EXPECT_TRUE(actions[2]->isSeparator() && actions[3]->text() == "About ...");
    actions[1]->trigger(); // "Close"
    EXPECT_FALSE(m_dlg->isVisible());
}

// With workers that run, asking the refusing address. A socket library failure's text replaces
// the look-up line; the next "OK" starts a new worker, and a second press while it waits runs no
// other and leads its lines. Before any retrieve "Adjust" retrieves; after one it sets the clock
// by the offset relative to now, however old the retrieve, and forgets the offset once it is
// applied, not before. Closing while a worker waits for its line returns at once and lets the
// worker go; it ends without touching the window.
TEST_F(SyncDlgTest, CommandsRunOneWorkerAtATimeApplyAnOffsetOnceAndLetGoOnClose)
{
    if (!IsUdpPortFree(123, kRefusingAddress)) {
        GTEST_SKIP() << "UDP port 123 is taken at " << kRefusingAddress;
    }
    m_threads = true;
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
    m_dlg->SetLogPace(std::chrono::milliseconds(10));
    m_dlg->OnOK();
    ASSERT_TRUE(QTest::qWaitFor([&] { return m_sockets->started == 3; }));
    QTest::qWait(100); // refused at once: by now the worker's line waits behind the look-up line
    EXPECT_EQ(Run(&CSyncDlg::OnOK), m_noAnswer);
    EXPECT_EQ(m_starts, 4);

    m_dlg->SetLogPace(std::chrono::milliseconds(1));
    EXPECT_EQ(Run(&CSyncDlg::OnAdjust), m_noAnswer);
    m_dlg->m_lastReply.destination = CNtpTimestamp::Now().AddSeconds(-7200);
    m_dlg->m_lastReply.clockOffset = -3600.25;
    FakeClock refusing(false);
    m_dlg->m_sntpClient->SetClockApi(refusing);
    EXPECT_EQ(Run(&CSyncDlg::OnAdjust), QStringList{SyncSteps::kAdjustFailed});
    m_dlg->m_sntpClient->SetClockApi(*m_clock);
    EXPECT_EQ(Run(&CSyncDlg::OnAdjust), QStringList{SyncSteps::kAdjusted});
    ASSERT_EQ(m_clock->m_settings.size(), 1u);
    EXPECT_NEAR(
        CNtpTimestamp::FromSystemTime(m_clock->m_settings[0]).Difference(CNtpTimestamp::Now()),
        -3600.25, 1.0);
    EXPECT_EQ(Run(&CSyncDlg::OnAdjust), m_noAnswer);
    EXPECT_EQ(m_clock->m_settings.size(), 1u);

    m_dlg->SetLogPace(std::chrono::seconds(1));
    const int started = m_sockets->started, cleanedUp = m_sockets->cleanedUp;
    m_dlg->OnOK();
    ASSERT_TRUE(QTest::qWaitFor([&] { return m_sockets->started == started + 1; }));
    QTest::qWait(100); // refused at once: by now the worker waits for its line
    QElapsedTimer closing;
    closing.start();
    m_dlg.reset();
    EXPECT_LT(closing.elapsed(), 500);
    EXPECT_TRUE(QTest::qWaitFor([&] { return m_sockets->cleanedUp == cleanedUp + 1; }));
}

// Without a socket library only the message shows, captioned with the executable's name, and
// no window is made.
TEST(SyncApp, ShowsOnlyTheSocketMessageWithoutASocketLibrary)
{
    CSyncApp app([]() -> std::unique_ptr<QDialog> { throw std::logic_error("no window"); });
    app.SetSocketStarter([] { return false; });
    QStringList shown;
    app.SetMessageBox(
        [&](const QString& caption, const QString& text) { shown << caption << text; });
    EXPECT_FALSE(app.InitInstance());
    EXPECT_EQ(shown, QStringList({"app_tests", "Windows sockets initialization failed."}));
}
