#include "controls/AboutDlg.h"
#include "controls/HoverButton.h"
#include "controls/LinkLabel.h"

#include "TestPixels.h"

#include <QDesktopServices>
#include <QEnterEvent>
#include <QPainter>
#include <QSignalSpy>
#include <QTextBrowser>

TEST(HoverButton, ShowsTheFaceOfEachStateFromItsStrip)
{
    const QColor faces[] = {Qt::red, Qt::green, Qt::blue}; // normal, pressed, hot
    // Width 23 gives faces of 7 x 5; the two yellow columns left over never show.
    QImage strip = Plain(QSize(23, 5), Qt::yellow);
    for (int i = 0; i < 3; ++i) {
        QPainter(&strip).fillRect(7 * i, 0, 7, 5, faces[i]);
    }
    CHoverButton button;
    ASSERT_TRUE(button.LoadFaces(strip));
    const auto shows = [&](int face) { return Render(button) == Plain(QSize(7, 5), faces[face]); };
    // The hot face ends on the leave, and where no leave comes (the window loses the
    // activation, or is hidden under the pointer) all the same. Pressed wins over hot, and the
    // release shows the face of before.
    QEnterEvent enter(QPointF(1, 1), QPointF(1, 1), QPointF(1, 1));
    QEvent leave(QEvent::Leave), deactivate(QEvent::WindowDeactivate);
    QHideEvent hidden; // as hiding or minimizing the window sends it
    for (QEvent* end : {&leave, &deactivate, static_cast<QEvent*>(&hidden)}) {
        QApplication::sendEvent(&button, &enter);
        for (const int face : {2, 0}) {
            EXPECT_TRUE(shows(face)) << face;
            QTest::mousePress(&button, Qt::LeftButton, {}, QPoint(3, 2));
            EXPECT_TRUE(shows(1)) << face;
            QTest::mouseRelease(&button, Qt::LeftButton, {}, QPoint(3, 2));
            EXPECT_TRUE(shows(face)) << face;
            QApplication::sendEvent(&button, end);
        }
    }
    button.setEnabled(false); // the mouse over a disabled button leaves it normal
    QApplication::sendEvent(&button, &enter);
    EXPECT_TRUE(shows(0));
}

// Presses reach the label only when Qt made no double click of them: each is a click, even a
// quick second one a few pixels away.
TEST(LinkLabel, EveryPressQtDeliversIsAClick)
{
    CLinkLabel label;
    label.SetLink(QStringLiteral("https://horalink.org"), Qt::blue);
    QSignalSpy clicks(&label, &CLinkLabel::clicked);
    for (int x : {3, 10}) {
        QMouseEvent press(QEvent::MouseButtonPress, QPointF(x, 3), label.mapToGlobal(QPointF(x, 3)),
                          Qt::LeftButton, Qt::LeftButton, {});
        press.setTimestamp(1000 + x);
        QApplication::sendEvent(&label, &press);
    }
    EXPECT_EQ(clicks.count(), 2);
}

// Each opening is built afresh; its links open through the
// desktop and leave it open.
TEST(AboutDlg, LinksOpenThroughTheDesktopAndEachOpeningIsBuiltAfresh)
{
    QTextBrowser desktop; // stands in for the browser and the mail program: its signal records
    QSignalSpy opened(&desktop, &QTextBrowser::anchorClicked);
    QDesktopServices::setUrlHandler(QStringLiteral("https"), &desktop, "anchorClicked");
    QDesktopServices::setUrlHandler(QStringLiteral("mailto"), &desktop, "anchorClicked");
    for (int opening = 0; opening < 2; ++opening) {
        CAboutDlg dialog;
        dialog.show();
        for (const auto& [name, url] :
             {std::pair("linkHome", "https://horalink.org"),
              {"linkMail", "mailto:support@horalink.org?subject=%22Horalink%201.3%20support%22"}}) {
            CLinkLabel* link = dialog.findChild<CLinkLabel*>(name);
            ASSERT_NE(link, nullptr) << name;
            QTest::mouseClick(link, Qt::LeftButton, {}, QPoint(3, 3));
            link->SetLink(QStringLiteral("changed"), Qt::red); // not to be seen again
            ASSERT_EQ(opened.count(), 1) << name;
            EXPECT_EQ(opened.takeFirst()[0].toUrl().toEncoded(), url);
        }
        EXPECT_TRUE(dialog.isVisible());
    }
}
