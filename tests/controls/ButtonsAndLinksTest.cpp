#include "controls/AboutDlg.h"
#include "controls/AccessibleControls.h"
#include "controls/HoverButton.h"
#include "controls/LinkLabel.h"

#include "res/SkinLayout.h"

#include "TestPixels.h"

#include <QAccessible>
#include <QAccessibleActionInterface>

#include <QDesktopServices>
#include <QEnterEvent>
#include <QFontInfo>
#include <QLabel>
#include <QPainter>
#include <QSignalSpy>
#include <QTextBrowser>

#include <cmath>
#include <utility>

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

// Focus the keyboard brings is outlined one pixel wide, in the skin's text colour around a light
// face and in white around a dark one; a click's focus shows the face alone. Enter and Space
// press the button, whatever the dialog's default.
TEST(HoverButton, KeyboardFocusIsOutlinedAndEnterOrSpacePress)
{
    for (const auto& [face, outline] : {std::pair(QColor(Qt::yellow), SkinLayout::kText),
                                        {QColor(16, 32, 78), QColor(Qt::white)}}) {
        CHoverButton button;
        ASSERT_TRUE(button.LoadFaces(Plain(QSize(21, 5), face)));
        const QImage plain = Plain(QSize(7, 5), face);
        QImage outlined = plain;
        for (int x = 0; x < 7; ++x) {
            for (int y = 0; y < 5; ++y) {
                if (x == 0 || y == 0 || x == 6 || y == 4) {
                    outlined.setPixelColor(x, y, outline);
                }
            }
        }
        QFocusEvent tab(QEvent::FocusIn, Qt::TabFocusReason);
        QFocusEvent back(QEvent::FocusIn, Qt::BacktabFocusReason);
        QFocusEvent click(QEvent::FocusIn, Qt::MouseFocusReason);
        QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
        // Away and back with the window's activation, a mark shown stays and none appears.
        QFocusEvent away(QEvent::FocusOut, Qt::ActiveWindowFocusReason);
        QFocusEvent returned(QEvent::FocusIn, Qt::ActiveWindowFocusReason);
        for (const auto& [in, shown] :
             {std::pair(&tab, outlined), {&back, outlined}, {&click, plain}}) {
            QApplication::sendEvent(&button, in);
            EXPECT_EQ(Render(button), shown) << in->reason();
            QApplication::sendEvent(&button, &away);
            QApplication::sendEvent(&button, &returned);
            EXPECT_EQ(Render(button), shown) << in->reason();
            QApplication::sendEvent(&button, &out);
            EXPECT_EQ(Render(button), plain);
        }
        QSignalSpy clicks(&button, &QPushButton::clicked);
        for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Space}) {
            QTest::keyClick(&button, key);
        }
        EXPECT_EQ(clicks.count(), 3);
    }
}

// WCAG 2 contrast, computed here from the colours' relative luminance.
static double ContrastRatio(const QColor& a, const QColor& b)
{
    const auto luminance = [](const QColor& c) {
        double sum = 0;
        const double weights[] = {0.2126, 0.7152, 0.0722};
        const double channels[] = {c.redF(), c.greenF(), c.blueF()};
        for (int i = 0; i < 3; ++i) {
            const double v = channels[i];
            sum += weights[i] * (v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4));
        }
        return sum;
    };
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// Links stay pure blue where it reads well and otherwise change only as far as a contrast of
// 4.5:1 needs, on light, mid and dark backgrounds alike.
TEST(LinkLabel, LinkColourReadsOnAnyBackground)
{
    for (const auto& [back, blue] : {std::pair(QColor(240, 240, 240), true),
                                     {QColor(255, 255, 255), true},
                                     {QColor(212, 208, 200), true},
                                     {QColor(53, 53, 53), false},
                                     {QColor(119, 119, 119), false},
                                     {QColor(0, 0, 0), false},
                                     {QColor(0, 0, 90), false}}) {
        const QColor link = AccessibleControls::LinkColourOn(back);
        EXPECT_GE(ContrastRatio(link, back), 4.5) << back.name().toStdString();
        EXPECT_EQ(link == QColor(0, 0, 255), blue) << back.name().toStdString();
    }
    const QPalette original = QApplication::palette();
    QApplication::setPalette(QPalette(QColor(60, 60, 60), QColor(50, 50, 50)));
    CAboutDlg dark;
    QApplication::setPalette(original);
    const CLinkLabel* link = dark.findChild<CLinkLabel*>(QStringLiteral("linkHome"));
    EXPECT_GE(ContrastRatio(link->TextColor(), link->BkColor()), 4.5);
}

// A link is a link to assistive technology, named by its text and pressed by its action as by
// Enter or Space; Tab marks its focus, a click never does.
TEST(LinkLabel, KeyboardAndAssistiveTechnologyOpenIt)
{
    CLinkLabel label;
    label.resize(150, 13);
    label.SetBkColor(Qt::white);
    label.SetLink(QStringLiteral("https://horalink.org"), Qt::blue);
    QSignalSpy clicks(&label, &CLinkLabel::clicked);
    QAccessibleInterface* link = QAccessible::queryAccessibleInterface(&label);
    ASSERT_NE(link, nullptr);
    EXPECT_EQ(link->role(), QAccessible::Link);
    EXPECT_EQ(link->text(QAccessible::Name), QStringLiteral("https://horalink.org"));
    link->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Space}) {
        QTest::keyClick(&label, key);
    }
    EXPECT_EQ(clicks.count(), 4);

    const QImage plain = Render(label);
    QFocusEvent tab(QEvent::FocusIn, Qt::TabFocusReason),
        click(QEvent::FocusIn, Qt::MouseFocusReason);
    QApplication::sendEvent(&label, &click);
    EXPECT_EQ(Render(label), plain);
    QApplication::sendEvent(&label, &tab);
    EXPECT_NE(Render(label), plain);
}

// At the form's own font (96 dpi) the box keeps the form's geometry. With a font half as large
// again, as 144 dpi gives without Qt's scaling, every text fits its control, the links clear
// their labels and everything lies inside the box.
TEST(AboutDlg, LaidOutFromItsFontItNeverClips)
{
    CAboutDlg box;
    ASSERT_EQ(QFontInfo(box.font()).pixelSize(), 11) << "not the form's font: its geometry differs";
    EXPECT_EQ(box.size(), QSize(406, 141));
    EXPECT_EQ(box.findChild<CLinkLabel*>(QStringLiteral("linkMail"))->geometry(),
              QRect(194, 73, 156, 13));

    QFont larger = box.font();
    larger.setPointSizeF(larger.pointSizeF() * 1.5);
    box.setFont(larger);
    EXPECT_GT(box.width(), 406);
    const QRect inside = box.rect();
    for (QLabel* label : box.findChildren<QLabel*>()) {
        if (label->text().isEmpty()) {
            continue; // the icon
        }
        auto* link = qobject_cast<CLinkLabel*>(label);
        const QFontMetrics metrics(link != nullptr ? link->LinkFont() : label->font());
        EXPECT_GE(label->width(), metrics.horizontalAdvance(label->text()))
            << label->objectName().toStdString();
        EXPECT_GE(label->height(), metrics.height()) << label->objectName().toStdString();
        EXPECT_TRUE(inside.contains(label->geometry())) << label->objectName().toStdString();
    }
    for (const auto& [label, link] :
         {std::pair("labelHome", "linkHome"), {"labelMail", "linkMail"}}) {
        EXPECT_LT(box.findChild<QLabel*>(QString::fromLatin1(label))->geometry().right(),
                  box.findChild<QLabel*>(QString::fromLatin1(link))->x());
    }
}
