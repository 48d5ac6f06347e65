#include "AppTestSupport.h"

#include "app/FontDescription.h"
#include "app/SyncApp.h"
#include "app/SyncSteps.h"
#include "app/TitleDrag.h"
#include "app/WindowMenu.h"
#include "controls/AnalogClock.h"
#include "controls/HoverButton.h"
#include "controls/IComboBox.h"
#include "controls/TahomaFont.h"
#include "res/ResourceLoader.h"
#include "res/resource.h"
#include "sntp/NtpTimestamp.h"

#include <QAbstractItemView>
#include <QDateTime>
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

namespace
{

template <typename Widget> Widget* Control(QWidget* window, const char* name)
{
    auto* control = window->findChild<Widget*>(QString::fromLatin1(name));
    EXPECT_NE(control, nullptr) << name;
    return control;
}

// The window's picture with both clocks held at one time.
QImage Still(QWidget* window)
{
    auto* clock = Control<CAnalogClock>(window, "IDC_CLOCK");
    clock->Run(false);
    clock->ShowTime(6, 30, 45, 0);
    Control<QLineEdit>(window, "IDC_EDIT_TIME")->setText(QStringLiteral("12:34:56"));
    Control<CIComboBox>(window, "IDC_COMBO_SERVER")->setEditText(QStringLiteral("pool.ntp.org"));
    return window->grab().toImage();
}

// The extent, in columns, of the dark pixels of a rendered field.
std::pair<int, int> DarkColumns(QWidget* field)
{
    const QImage image = field->grab().toImage();
    int first = image.width(), last = -1;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (qGray(image.pixel(x, y)) < 100) {
                first = std::min(first, x);
                last = std::max(last, x);
            }
        }
    }
    return {first, last};
}

} // namespace

// Each button shows the normal face of its own strip; the analogue clock has the skin's grey
// face and hour marks only. Under a dark desktop theme the window looks the same, the selector's
// edit field included, which has the log pane's colours.
TEST_F(SyncDlgTest, ControlsTakeTheSkinsLookWhateverTheDesktopTheme)
{
    for (const auto& [name, strip] : {std::pair("IDOK", IDB_GET),
                                      {"IDC_BTN_ADJUST", IDB_SET},
                                      {"IDC_BTN_MINIMIZE", IDB_MINIMIZE},
                                      {"IDC_BTN_ABOUT", IDB_ABOUT},
                                      {"IDCANCEL", IDB_CLOSE}}) {
        auto* button = Control<CHoverButton>(m_dlg.get(), name);
        const QImage faces = ResourceLoader::LoadBitmap(strip);
        EXPECT_EQ(button->grab().toImage().convertToFormat(QImage::Format_RGB32),
                  faces.copy(0, 0, faces.width() / 3, faces.height())
                      .convertToFormat(QImage::Format_RGB32))
            << name;
    }
    const QImage light = Still(m_dlg.get());
    CAnalogClock reference;
    reference.Run(false);
    reference.resize(45, 45);
    reference.SetBkColor(QColor(192, 192, 192));
    reference.ShowMinuteTicks(false);
    reference.ShowTime(6, 30, 45, 0);
    EXPECT_EQ(light.copy(27, 34, 45, 45).convertToFormat(QImage::Format_RGB32),
              reference.grab().toImage().convertToFormat(QImage::Format_RGB32));

    const QPalette original = QApplication::palette();
    QPalette dark(QColor(40, 40, 48), QColor(30, 30, 36));
    dark.setColor(QPalette::Base, QColor(20, 20, 24));
    dark.setColor(QPalette::Text, QColor(230, 230, 230));
    dark.setColor(QPalette::Highlight, QColor(200, 90, 0));
    QApplication::setPalette(dark);
    TempExeDir folder;
    CSyncDlg themed;
    themed.SetExeDir(folder.path());
    themed.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&themed));
    const QImage shown = Still(&themed);
    QApplication::setPalette(original);
    EXPECT_EQ(shown, light);
    // The edit field: the log pane's grey behind its dark blue text.
    QLineEdit* field = Control<CIComboBox>(&themed, "IDC_COMBO_SERVER")->lineEdit();
    const QImage edit = field->grab().toImage();
    EXPECT_EQ(QColor(edit.pixel(edit.width() - 2, 1)), QColor(192, 192, 192));
    QRgb darkest = qRgb(255, 255, 255);
    for (int y = 0; y < edit.height(); ++y) {
        for (int x = 0; x < edit.width(); ++x) {
            darkest = qGray(edit.pixel(x, y)) < qGray(darkest) ? edit.pixel(x, y) : darkest;
        }
    }
    EXPECT_EQ(QColor(darkest), QColor(0, 0, 50));
}

// The digital clock changes a few milliseconds after each wall-clock second, second by second.
// Minimised or hidden, both clocks stop; shown again, they catch up at once.
TEST_F(SyncDlgTest, ClocksFollowTheWallClockSecondsAndSleepWhileNotShown)
{
    auto* time = Control<QLineEdit>(m_dlg.get(), "IDC_EDIT_TIME");
    auto* clock = Control<CAnalogClock>(m_dlg.get(), "IDC_CLOCK");
    QList<QDateTime> changes;
    QObject::connect(time, &QLineEdit::textChanged, time,
                     [&changes] { changes << QDateTime::currentDateTime(); });
    ASSERT_TRUE(QTest::qWaitFor([&] { return changes.size() == 4; }, 4500));
    for (int i = 0; i < 4; ++i) {
        // Generous for a loaded machine; a free-running timer keeps a phase anywhere in the second.
        EXPECT_LT(changes[i].time().msec(), 40) << i;
        if (i > 0) {
            EXPECT_EQ(changes[i].toSecsSinceEpoch() - changes[i - 1].toSecsSinceEpoch(), 1) << i;
        }
    }
    EXPECT_EQ(time->text(), changes.last().toString("HH:mm:ss"));

    for (const bool minimise : {true, false}) {
        SCOPED_TRACE(minimise ? "minimised" : "hidden");
        minimise ? m_dlg->showMinimized() : m_dlg->hide();
        EXPECT_FALSE(clock->IsRunning());
        const QString before = time->text();
        QTest::qWait(1100);
        EXPECT_EQ(time->text(), before);
        minimise ? m_dlg->showNormal() : m_dlg->show();
        EXPECT_TRUE(clock->IsRunning());
        EXPECT_EQ(time->text(), QDateTime::currentDateTime().toString("HH:mm:ss"));
    }
}

// Without its faces: Tahoma's stand-in is a sans face, and the clock's fallback (Tahoma bold,
// cell height 38, sized by the face's Windows metrics) shows the whole time from its first
// character in the digital clock's field.
TEST_F(SyncDlgTest, FallbackFacesAreSansAndTheFallbackClockShowsTheWholeTime)
{
    FontDescription missing{-11, 400, false, true, QStringLiteral("No Such Face")};
    EXPECT_EQ(QFontInfo(missing.CreateFont()).family(),
              QFontInfo(QFont(QStringLiteral("Sans Serif"))).family());

    FontDescription fallback{38, 700, false, true, CTahomaFont::Family()};
    auto* time = Control<QLineEdit>(m_dlg.get(), "IDC_EDIT_TIME");
    time->setFont(fallback.CreateFont());
    const QFontMetrics metrics(time->font());
    time->clear();
    m_dlg->OnTimer(CSyncDlg::kClockTimer);
    const auto [first, last] = DarkColumns(time);
    EXPECT_NEAR(last - first + 1, metrics.boundingRect(time->text()).width(), 3)
        << time->text().toStdString();
    EXPECT_GT(first, 0);
}
