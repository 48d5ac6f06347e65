#include "controls/AboutDlg.h"
#include "controls/AccessibleControls.h"
#include "controls/HoverButton.h"
#include "controls/LinkLabel.h"

#include "controls/TahomaFont.h"
#include "res/ResourceLoader.h"
#include "res/SkinLayout.h"
#include "res/resource.h"

#include "TestPixels.h"

#include <QAccessible>
#include <QAccessibleActionInterface>

#include <QDesktopServices>
#include <QEnterEvent>
#include <QFontDatabase>
#include <QLabel>
#include <QPainter>
#include <QSignalSpy>
#include <QTextBrowser>

#include <cmath>
#include <tuple>
#include <utility>

// A face with a one-pixel frame of `outline` drawn over it.
static QImage Outlined(QImage face, const QColor& outline)
{
    QPainter painter(&face);
    painter.setPen(outline);
    painter.drawRect(face.rect().adjusted(0, 0, -1, -1));
    return face;
}

// The screen shows the face of each state from the strip. The hot face ends on the leave, and
// where no leave comes (the window loses the activation, or is hidden under the pointer) all the
// same; pressed wins over hot and the release shows the face of before, the pressed hand cursor
// while held; the mouse over a disabled button leaves it normal. Focus the keyboard brings is
// outlined one pixel wide, in the skin's text colour around a light normal face (mean grey 128 and
// up) and in white around a dark one, every pixel counted exactly; a click's focus shows the face
// alone, and away and back with the window's activation a mark shown stays and none appears. Enter
// and Space press the button, whatever the dialog's default.
TEST(HoverButton, ShowsTheFaceOfEachStateAndTheKeyboardsFocus)
{
    // Normal faces of 7 x 5; the last is grey 128 but for one pixel of 127 in its first row and
    // column: mean 127.97, but 128 with that pixel left out or one unit more.
    for (const auto& [normal, edged, outline] :
         {std::tuple(QColor(Qt::yellow), false, SkinLayout::kText),
          {QColor(16, 32, 78), false, QColor(Qt::white)},
          {QColor(128, 128, 128), false, SkinLayout::kText},
          {QColor(128, 128, 128), true, QColor(Qt::white)}}) {
        SCOPED_TRACE(normal.name().toStdString() + (edged ? ", edged" : ""));
        // Normal, pressed and hot; the two magenta columns left over never show.
        QImage strip = Plain(QSize(23, 5), Qt::magenta);
        QPainter painter(&strip);
        painter.fillRect(0, 0, 7, 5, normal);
        painter.fillRect(7, 0, 7, 5, Qt::green);
        painter.fillRect(14, 0, 7, 5, Qt::blue);
        painter.end();
        strip.setPixelColor(0, 0, edged ? QColor(127, 127, 127) : normal);
        CHoverButton button;
        ASSERT_TRUE(button.LoadFaces(strip));
        button.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&button));
        const auto shows = [&](int face) { return Shown(button) == strip.copy(7 * face, 0, 7, 5); };
        QEnterEvent enter(QPointF(1, 1), QPointF(1, 1), QPointF(1, 1));
        QEvent leave(QEvent::Leave), deactivate(QEvent::WindowDeactivate);
        QHideEvent hidden; // as hiding or minimizing the window sends it
        for (QEvent* end : {&leave, &deactivate, static_cast<QEvent*>(&hidden)}) {
            QApplication::sendEvent(&button, &enter);
            for (const int face : {2, 0}) {
                EXPECT_TRUE(shows(face)) << face;
                QTest::mousePress(&button, Qt::LeftButton, {}, QPoint(3, 2));
                EXPECT_TRUE(shows(1) && ShowsCursor(button, IDC_HAND_PRESSED)) << face;
                QTest::mouseRelease(&button, Qt::LeftButton, {}, QPoint(3, 2));
                EXPECT_TRUE(shows(face) && ShowsCursor(button, IDC_HAND)) << face;
                QApplication::sendEvent(&button, end);
            }
        }

        for (const auto& [reason, marked] : {std::pair(Qt::TabFocusReason, true),
                                             {Qt::BacktabFocusReason, true},
                                             {Qt::MouseFocusReason, false}}) {
            const QImage shown =
                marked ? Outlined(strip.copy(0, 0, 7, 5), outline) : strip.copy(0, 0, 7, 5);
            Focus(button, QEvent::FocusIn, reason);
            EXPECT_EQ(Shown(button), shown) << reason;
            Focus(button, QEvent::FocusOut, Qt::ActiveWindowFocusReason);
            Focus(button, QEvent::FocusIn, Qt::ActiveWindowFocusReason);
            EXPECT_EQ(Shown(button), shown) << reason;
            Focus(button, QEvent::FocusOut, Qt::TabFocusReason);
            EXPECT_TRUE(shows(0));
        }
        QSignalSpy clicks(&button, &QPushButton::clicked);
        for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Space}) {
            QTest::keyClick(&button, key);
        }
        EXPECT_EQ(clicks.count(), 3);
        button.setEnabled(false);
        QApplication::sendEvent(&button, &enter);
        EXPECT_TRUE(shows(0));
    }
}

// Every press Qt delivers as one is a click, even a quick second one a few pixels away (Qt made
// no double click of it); so are Enter, Space and the press of assistive technology, to which
// the label is a link named by its text. The hand closes while pressed. Tab marks its focus, a
// click never does, and the mark goes with the focus. Before it has a background brush it shows its
// background colour.
TEST(LinkLabel, PressesKeysAndAssistiveTechnologyClickIt)
{
    CLinkLabel label;
    label.resize(150, 13);
    EXPECT_EQ(Render(label), Plain(label.size(), label.BkColor())); // no brush set yet
    label.SetBkColor(Qt::white);
    label.SetLink(QStringLiteral("https://horalink.org"), Qt::blue);
    label.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&label));
    QSignalSpy clicks(&label, &CLinkLabel::clicked);
    for (int x : {3, 10}) {
        QMouseEvent press(QEvent::MouseButtonPress, QPointF(x, 3), label.mapToGlobal(QPointF(x, 3)),
                          Qt::LeftButton, Qt::LeftButton, {});
        press.setTimestamp(1000 + x);
        QApplication::sendEvent(&label, &press);
    }
    EXPECT_TRUE(ShowsCursor(label, IDC_HAND_PRESSED));
    QTest::mouseRelease(&label, Qt::LeftButton, {}, QPoint(10, 3));
    EXPECT_TRUE(ShowsCursor(label, IDC_HAND));
    QAccessibleInterface* link = QAccessible::queryAccessibleInterface(&label);
    ASSERT_NE(link, nullptr);
    EXPECT_EQ(link->role(), QAccessible::Link);
    EXPECT_EQ(link->text(QAccessible::Name), QStringLiteral("https://horalink.org"));
    link->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Space}) {
        QTest::keyClick(&label, key);
    }
    EXPECT_EQ(clicks.count(), 6);

    const QImage plain = Shown(label);
    for (const auto& [type, reason, marked] :
         {std::tuple(QEvent::FocusIn, Qt::MouseFocusReason, false),
          {QEvent::FocusIn, Qt::TabFocusReason, true},
          {QEvent::FocusOut, Qt::TabFocusReason, false}}) {
        Focus(label, type, reason);
        EXPECT_EQ(Shown(label) != plain, marked) << reason;
    }
}

// Each opening is built afresh; its links open through the desktop and leave it open.
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
// 4.5:1 needs, on light, mid and dark backgrounds alike, the About box's under a dark theme too.
TEST(LinkLabel, LinkColourReadsOnAnyBackground)
{
    for (const auto& [back, blue] : {std::pair(QColor(255, 255, 255), true),
                                     {QColor(212, 208, 200), true},
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

// With a font half as large again as the form's (as 144 dpi gives without Qt's scaling) the box
// grows, every text fits its control however long, the links clear their labels and everything lies
// inside the box. At the form's own font the gallery's docs/controls/aboutbox.png shows its layout.
TEST(AboutDlg, LaidOutFromItsFontItNeverClips)
{
    CAboutDlg box;
    const int formWidth = box.width();
    for (QLabel* label : box.findChildren<QLabel*>()) {
        const QString longer = label->text() + QStringLiteral(" and then some more words");
        if (auto* link = qobject_cast<CLinkLabel*>(label)) {
            link->SetLink(longer, Qt::blue);
        } else if (!label->text().isEmpty()) { // not the icon
            label->setText(longer);
        }
    }
    QFont larger = box.font();
    larger.setPointSizeF(larger.pointSizeF() * 1.5);
    box.setFont(larger);
    EXPECT_GT(box.width(), formWidth);
    for (QLabel* label : box.findChildren<QLabel*>()) {
        if (label->text().isEmpty()) {
            continue; // the icon
        }
        auto* link = qobject_cast<CLinkLabel*>(label);
        const QFontMetrics metrics(link != nullptr ? link->LinkFont() : label->font());
        const std::string name = label->objectName().toStdString();
        EXPECT_GE(label->width(), metrics.horizontalAdvance(label->text())) << name;
        EXPECT_GE(label->height(), metrics.height()) << name;
        EXPECT_TRUE(box.rect().contains(label->geometry())) << name;
    }
    for (const auto& [label, link] :
         {std::pair("labelHome", "linkHome"), {"labelMail", "linkMail"}}) {
        EXPECT_LT(box.findChild<QLabel*>(QString::fromLatin1(label))->geometry().right(),
                  box.findChild<QLabel*>(QString::fromLatin1(link))->x());
    }
}

// A face without Windows metrics (no OS/2 table) takes the largest size whose cell, ascent plus
// descent, fits the cell height asked for.
TEST(TahomaFont, AFaceWithoutWindowsMetricsFillsTheCellAskedFor)
{
    QByteArray face = ResourceLoader::LoadData(RT_TTF, IDR_SEGMATIC);
    face.replace(face.indexOf("OS/2"), 4, "XS/2"); // its entry in the table directory, up front
    QFont font(
        QFontDatabase::applicationFontFamilies(QFontDatabase::addApplicationFontFromData(face))
            .value(0));
    CTahomaFont::SetLogHeight(font, 30);
    const auto cell = [font](int pixels) {
        QFont sized = font;
        sized.setPixelSize(pixels);
        return QFontMetrics(sized).ascent() + QFontMetrics(sized).descent();
    };
    EXPECT_LE(cell(font.pixelSize()), 30);
    EXPECT_GT(cell(font.pixelSize() + 1), 30);
}
