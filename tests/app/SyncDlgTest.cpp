#include "AppTestSupport.h"

#include "app/SyncDlg.h"
#include "app/TitleDrag.h"
#include "app/WindowMenu.h"
#include "controls/AnalogClock.h"
#include "controls/HoverButton.h"
#include "controls/IComboBox.h"
#include "res/ResourceLoader.h"
#include "res/resource.h"
#include "tests/app/QStringPrinter.h"

#include <QAbstractItemView>
#include <QFileInfo>
#include <QFontInfo>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QTest>

#include <gtest/gtest.h>

#include <ctime>

namespace
{

using namespace std::chrono_literals;

const QColor kFace(192, 192, 192);
const QColor kText(0, 0, 50);

QString LocalTime(std::time_t t)
{
    std::tm local{};
    localtime_r(&t, &local);
    char text[16] = {};
    std::strftime(text, sizeof text, "%H:%M:%S", &local);
    return QString::fromLatin1(text);
}

// The window shown from a temporary folder; "OK" counts the workers it would start.
class SyncDlgTest : public testing::Test
{
protected:
    void SetUp() override
    {
        m_dlg.SetExeDir(m_folder.Path());
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
    EXPECT_TRUE(m_dlg.windowFlags().testFlag(Qt::FramelessWindowHint));
    EXPECT_EQ(m_dlg.size(), QSize(270, 240));
    EXPECT_EQ(m_dlg.m_staticSkin->geometry(), QRect(0, 0, 270, 240));
    EXPECT_FALSE(m_dlg.m_staticSkin->pixmap().isNull());
    EXPECT_FALSE(m_dlg.windowIcon().isNull());

    // The offscreen platform does not apply masks; the mask itself is what the window asks for.
    const QRegion mask = m_dlg.mask();
    for (const QPoint corner : {QPoint(0, 0), QPoint(269, 0), QPoint(0, 239), QPoint(269, 239)}) {
        EXPECT_FALSE(mask.contains(corner)) << corner.x() << "," << corner.y();
    }
    for (const QPoint edge : {QPoint(1, 120), QPoint(268, 120), QPoint(135, 1), QPoint(135, 238)}) {
        EXPECT_TRUE(mask.contains(edge)) << edge.x() << "," << edge.y();
    }

    const std::pair<QWidget*, QRect> places[] = {
        {m_dlg.m_btnClose, {246, 5, 15, 15}},      {m_dlg.m_btnAbout, {228, 5, 15, 15}},
        {m_dlg.m_btnMinimize, {210, 5, 15, 15}},   {m_dlg.m_clock, {27, 34, 45, 45}},
        {m_dlg.m_editTime, {104, 36, 144, 42}},    {m_dlg.m_editLog, {23, 91, 221, 94}},
        {m_dlg.m_staticFrame, {17, 83, 234, 109}}, {m_dlg.m_btnOK, {165, 200, 40, 22}},
        {m_dlg.m_btnAdjust, {210, 200, 40, 22}},
    };
    for (const auto& [control, rect] : places) {
        EXPECT_EQ(control->geometry(), rect) << control->objectName().toStdString();
    }
    EXPECT_EQ(m_dlg.m_comboServer->geometry().topLeft(), QPoint(17, 200));
    EXPECT_EQ(m_dlg.m_comboServer->width(), 141);

    // Each button shows one face of its three-face strip.
    const std::pair<CHoverButton*, int> faces[] = {
        {m_dlg.m_btnOK, IDB_GET},
        {m_dlg.m_btnAdjust, IDB_SET},
        {m_dlg.m_btnMinimize, IDB_MINIMIZE},
        {m_dlg.m_btnClose, IDB_CLOSE},
        {m_dlg.m_btnAbout, IDB_ABOUT},
    };
    for (const auto& [button, id] : faces) {
        const QImage strip = ResourceLoader::LoadBitmap(id);
        EXPECT_EQ(QSize(button->FaceWidth(), button->FaceHeight()),
                  QSize(strip.width() / 3, strip.height()))
            << id;
        EXPECT_EQ(button->size(), QSize(button->FaceWidth(), button->FaceHeight())) << id;
    }

    // Dark blue on the skin's grey, and a white frame line around the log pane.
    for (const QWidget* control :
         {static_cast<QWidget*>(m_dlg.m_editLog), static_cast<QWidget*>(m_dlg.m_editTime),
          static_cast<QWidget*>(m_dlg.m_comboServer->view())}) {
        EXPECT_EQ(control->palette().color(QPalette::Base), kFace);
        EXPECT_EQ(control->palette().color(QPalette::Text), kText);
    }
    EXPECT_EQ(m_dlg.grab().toImage().pixelColor(17, 120), QColor(Qt::white));
}

TEST_F(SyncDlgTest, FontsAndTheDigitalClockFollowingLocalTime)
{
    EXPECT_EQ(QFontInfo(m_dlg.m_editTime->font()).family(), "Segmatic");
    EXPECT_TRUE(QFileInfo::exists(m_folder.Path() + "/Segmatic.ttf"));
    EXPECT_EQ(m_dlg.m_editLog->font().pixelSize(), 11);
    EXPECT_EQ(m_dlg.m_editLog->font().weight(), QFont::Bold);
    EXPECT_EQ(m_dlg.m_comboServer->font().pixelSize(), 11);
    EXPECT_EQ(m_dlg.m_comboServer->font().weight(), QFont::Normal);

    const QString shown = m_dlg.m_editTime->text();
    const std::time_t now = std::time(nullptr);
    EXPECT_TRUE(shown == LocalTime(now) || shown == LocalTime(now - 1)) << shown.toStdString();
    // Timer 1 moves it on with the clock.
    ASSERT_TRUE(WaitUntil([&] { return m_dlg.m_editTime->text() != shown; }, 2500ms));
    EXPECT_EQ(m_dlg.m_editTime->text(), LocalTime(std::time(nullptr)));
}

TEST_F(SyncDlgTest, EnterRunsOkAndStaysOpenWhileEscapeCloses)
{
    QTest::keyClick(m_dlg.m_editLog, Qt::Key_Return);
    QTest::keyClick(m_dlg.m_btnOK, Qt::Key_Enter);
    m_dlg.accept();
    EXPECT_EQ(m_starts, 3);
    EXPECT_TRUE(m_dlg.isVisible());
    QTest::keyClick(m_dlg.m_btnOK, Qt::Key_Escape);
    EXPECT_FALSE(m_dlg.isVisible());
    EXPECT_EQ(m_dlg.result(), QDialog::Rejected);
}

TEST_F(SyncDlgTest, TheCloseButtonAndTheMenusCloseEndIt)
{
    m_dlg.m_btnClose->click();
    EXPECT_FALSE(m_dlg.isVisible());
    m_dlg.show();
    QMenu* menu = m_dlg.findChild<WindowMenu*>()->Menu();
    const QList<QAction*> actions = menu->actions();
    ASSERT_GE(actions.size(), 2);
    EXPECT_TRUE(actions[actions.size() - 2]->isSeparator());
    EXPECT_EQ(actions.back()->text(), "About ...");
    actions[1]->trigger(); // "Close"
    EXPECT_FALSE(m_dlg.isVisible());
}

TEST_F(SyncDlgTest, TheSkinDragsInItsTopBandAndTheDigitalClockPassesTheFocusOn)
{
    int moves = 0;
    m_dlg.findChild<TitleDrag*>()->SetSystemMove([&](QWindow*) { return ++moves, true; });
    // Presses on the skin and the analogue clock reach the window.
    QTest::mouseClick(m_dlg.m_staticSkin, Qt::LeftButton, {}, QPoint(120, 34));
    QTest::mouseClick(m_dlg.m_clock, Qt::LeftButton, {}, QPoint(20, 0));
    QTest::mouseClick(m_dlg.m_staticSkin, Qt::LeftButton, {}, QPoint(120, 35));
    EXPECT_EQ(moves, 2);

    QTest::mouseClick(m_dlg.m_editTime, Qt::LeftButton);
    EXPECT_TRUE(m_dlg.m_btnOK->hasFocus());
    EXPECT_FALSE(m_dlg.m_editTime->hasFocus());
}

} // namespace
