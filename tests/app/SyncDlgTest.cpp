#include "AppTestSupport.h"

#include "app/SyncApp.h"
#include "app/TitleDrag.h"
#include "app/WindowMenu.h"
#include "controls/AnalogClock.h"
#include "controls/HoverButton.h"
#include "controls/IComboBox.h"
#include "res/ResourceLoader.h"
#include "res/resource.h"

#include <QAbstractItemView>
#include <QFontInfo>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>
#include <gtest/gtest.h>

namespace
{

using namespace std::chrono_literals;

// The window shown from a temporary folder, started with a server on its command line; no
// worker can start, so the set-up has to go on without one and "OK" tries again.
class SyncDlgTest : public testing::Test
{
protected:
    void SetUp() override
    {
        m_dlg.SetExeDir(m_folder.Path());
        m_dlg.SetCommandLine(CommandLine::Parse({"t.example", "yes"}));
        m_dlg.SetThreadStarter([this](const std::function<void()>&) { return ++m_starts, false; });
        m_dlg.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&m_dlg));
    }

    TempExeDir m_folder;
    CSyncDlg m_dlg;
    int m_starts = 0;
};

TEST_F(SyncDlgTest, AFramelessRoundedSkinWithEveryControlInPlace)
{
    EXPECT_STREQ(g_szServerArg, "t.example");
    EXPECT_EQ(m_starts, 1);
    EXPECT_FALSE(m_dlg.IsBusy());
    EXPECT_EQ(m_dlg.m_comboServer->count(), 3);

    EXPECT_TRUE(m_dlg.windowFlags().testFlag(Qt::FramelessWindowHint));
    EXPECT_EQ(m_dlg.size(), QSize(270, 240));
    EXPECT_EQ(m_dlg.m_staticSkin->pixmap().size(), QSize(270, 240));

    // Offscreen windows ignore masks: the mask asked for is what counts. The four corners are
    // cut alike, the edges stay whole.
    const QRegion mask = m_dlg.mask();
    for (const QPoint p : {QPoint(0, 0), QPoint(1, 0), QPoint(0, 2), QPoint(2, 2), QPoint(5, 0)}) {
        EXPECT_EQ(mask.contains(QPoint(269 - p.x(), 239 - p.y())), mask.contains(p)) << p.x();
        EXPECT_EQ(mask.contains(QPoint(269 - p.x(), p.y())), mask.contains(p)) << p.x();
    }
    EXPECT_FALSE(mask.contains(QPoint(0, 0)) || mask.contains(QPoint(1, 0)));
    EXPECT_TRUE(mask.contains(QPoint(6, 0)) && mask.contains(QPoint(1, 120)) &&
                mask.contains(QPoint(135, 238)));

    const std::pair<QWidget*, QRect> places[] = {
        {m_dlg.m_btnClose, {246, 5, 15, 15}},      {m_dlg.m_btnAbout, {228, 5, 15, 15}},
        {m_dlg.m_btnMinimize, {210, 5, 15, 15}},   {m_dlg.m_clock, {27, 34, 45, 45}},
        {m_dlg.m_editTime, {104, 36, 144, 42}},    {m_dlg.m_editLog, {23, 91, 221, 94}},
        {m_dlg.m_staticFrame, {17, 83, 234, 109}}, {m_dlg.m_btnOK, {165, 200, 40, 22}},
        {m_dlg.m_btnAdjust, {210, 200, 40, 22}},   {m_dlg.m_comboServer, {17, 200, 141, 21}},
    };
    for (const auto& [control, rect] : places) {
        EXPECT_EQ(control->geometry(), rect) << control->objectName().toStdString();
    }
    // Each button shows one face of its three-face strip.
    for (const auto& [button, id] : {std::pair{m_dlg.m_btnOK, IDB_GET},
                                     {m_dlg.m_btnAdjust, IDB_SET},
                                     {m_dlg.m_btnMinimize, IDB_MINIMIZE},
                                     {m_dlg.m_btnClose, IDB_CLOSE},
                                     {m_dlg.m_btnAbout, IDB_ABOUT}}) {
        EXPECT_EQ(QSize(button->FaceWidth() * 3, button->FaceHeight()),
                  ResourceLoader::LoadBitmap(id).size());
    }
    // Dark blue on the skin's grey, and a white frame line around the log pane.
    for (const QWidget* control :
         {static_cast<QWidget*>(m_dlg.m_editLog), static_cast<QWidget*>(m_dlg.m_editTime),
          static_cast<QWidget*>(m_dlg.m_comboServer->view())}) {
        EXPECT_EQ(control->palette().color(QPalette::Base), QColor(192, 192, 192));
        EXPECT_EQ(control->palette().color(QPalette::Text), QColor(0, 0, 50));
    }
    EXPECT_EQ(m_dlg.grab().toImage().pixelColor(17, 120), QColor(Qt::white));
}

// Segmatic from the file written beside the executable; Tahoma 11 bold in the log pane.
TEST_F(SyncDlgTest, FontsAndTheDigitalClockFollowingLocalTime)
{
    EXPECT_EQ(QFontInfo(m_dlg.m_editTime->font()).family(), "Segmatic");
    EXPECT_EQ(m_dlg.m_editLog->font().pixelSize(), 11);
    EXPECT_EQ(m_dlg.m_editLog->font().weight(), QFont::Bold);

    const QString shown = m_dlg.m_editTime->text();
    const QTime now = QTime::currentTime();
    EXPECT_TRUE(shown == now.toString("HH:mm:ss") || shown == now.addSecs(-1).toString("HH:mm:ss"));
    ASSERT_TRUE(WaitUntil([&] { return m_dlg.m_editTime->text() != shown; }, 2500ms));
    EXPECT_EQ(m_dlg.m_editTime->text(), QTime::currentTime().toString("HH:mm:ss"));
}

TEST_F(SyncDlgTest, EnterRunsOkWhileEscapeTheCloseButtonAndTheMenuEndIt)
{
    QTest::keyClick(m_dlg.m_editLog, Qt::Key_Return);
    QTest::keyClick(m_dlg.m_btnOK, Qt::Key_Enter);
    m_dlg.accept();
    EXPECT_EQ(m_starts, 4);
    EXPECT_TRUE(m_dlg.isVisible());
    QTest::keyClick(m_dlg.m_btnOK, Qt::Key_Escape);
    EXPECT_FALSE(m_dlg.isVisible());

    m_dlg.show();
    m_dlg.m_btnClose->click();
    EXPECT_FALSE(m_dlg.isVisible());

    m_dlg.show();
    const QList<QAction*> actions = m_dlg.findChild<WindowMenu*>()->Menu()->actions();
    ASSERT_EQ(actions.size(), 4);
    EXPECT_TRUE(actions[2]->isSeparator() && actions[3]->text() == "About ...");
    actions[1]->trigger(); // "Close"
    EXPECT_FALSE(m_dlg.isVisible());
}

// Presses on the skin and the analogue clock reach the window, which follows the mouse when the
// window system cannot move it (a bare X server); the band ends at y 35.
TEST_F(SyncDlgTest, TheTopBandDragsWhileTheDigitalClockPassesTheFocusOn)
{
    m_dlg.findChild<TitleDrag*>()->SetSystemMove([](QWindow*) { return false; });
    for (const auto& [target, at, moves] :
         {std::tuple<QWidget*, QPoint, bool>{m_dlg.m_staticSkin, {120, 34}, true},
          {m_dlg.m_clock, {20, 0}, true},
          {m_dlg.m_staticSkin, {120, 35}, false},
          {m_dlg.m_btnAbout, {7, 7}, false}}) {
        const QPoint start = m_dlg.pos();
        QTest::mousePress(target, Qt::LeftButton, {}, at);
        QMouseEvent move(QEvent::MouseMove, at, target->mapToGlobal(at) + QPoint(40, 25),
                         Qt::NoButton, Qt::LeftButton, {});
        QApplication::sendEvent(&m_dlg, &move);
        QTest::mouseRelease(&m_dlg, Qt::LeftButton, {}, at);
        EXPECT_EQ(m_dlg.pos() - start, moves ? QPoint(40, 25) : QPoint()) << at.y();
    }
    QTest::mouseClick(m_dlg.m_editTime, Qt::LeftButton);
    EXPECT_TRUE(m_dlg.m_btnOK->hasFocus());
}

// Without a socket library only the message shows, captioned with the executable's name, with
// an OK button only; otherwise the window runs modally and is gone once InitInstance returns.
TEST(SyncApp, RunsTheWindowModallyOrShowsOnlyTheSocketMessage)
{
    CSyncApp failing([]() -> std::unique_ptr<QDialog> { throw std::logic_error("no window"); });
    failing.SetSocketStarter([] { return false; });
    QStringList shown;
    failing.SetMessageBox(
        [&](const QString& caption, const QString& text) { shown << caption << text; });
    EXPECT_FALSE(failing.InitInstance());
    EXPECT_EQ(shown, QStringList({"app_tests", "Windows sockets initialization failed."}));
    EXPECT_EQ(CSyncApp::CreateMessageBox("", "")->standardButtons(), QMessageBox::Ok);

    QPointer<QDialog> window;
    bool wasModal = false;
    CSyncApp app([&] {
        auto dialog = std::make_unique<QDialog>();
        window = dialog.get();
        return dialog;
    });
    app.SetSocketStarter([] { return true; });
    QTimer::singleShot(0, [&] {
        wasModal = window->isVisible() && window->isModal();
        window->reject();
    });
    EXPECT_FALSE(app.InitInstance());
    EXPECT_TRUE(wasModal && window.isNull());
}

} // namespace
