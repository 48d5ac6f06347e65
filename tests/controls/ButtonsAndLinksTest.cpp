#include "controls/AboutDlg.h"
#include "controls/AccessibleControls.h"
#include "controls/HoverButton.h"
#include "controls/LinkLabel.h"
#include "controls/TahomaFont.h"
#include "res/SkinLayout.h"
#include "res/resource.h"

#include "TestPixels.h"

#include <QAccessible>
#include <QDesktopServices>
#include <QFontDatabase>
#include <QPainter>
#include <QSignalSpy>
#include <QTextBrowser>
#include <QtEndian>

// The screen shows the face of each state from the strip. The hot face ends on the leave, and
// where no leave comes (the window loses the activation, or is hidden under the pointer) all the
// same; pressed wins over hot and the release shows the face of before, the pressed hand cursor
// while held; the mouse over a disabled button leaves it normal. Focus the keyboard brings is
// outlined one pixel wide, in the skin's text colour around a light normal face (mean grey 128 and
// up) and in white around a dark one, every pixel counted exactly; a click's focus shows the face
// alone, and away and back with the window's activation a mark shown stays and none appears. Enter
// and Space press the button, whatever the dialog's default. New faces show at once, and a strip
// drawn at twice the density shows each face whole, in half the pixels.
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
        QPainter(&strip).fillRect(0, 0, 7, 5, normal);
        QPainter(&strip).fillRect(7, 0, 7, 5, Qt::green);
        QPainter(&strip).fillRect(14, 0, 7, 5, Qt::blue);
        strip.setPixelColor(0, 0, edged ? QColor(127, 127, 127) : normal);
        CHoverButton button;
        button.LoadFaces(strip);
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

        QImage outlined = Plain(QSize(7, 5), outline);
        QPainter(&outlined).drawImage(1, 1, strip.copy(1, 1, 5, 3));
        for (const auto& [reason, marked] : {std::pair(Qt::TabFocusReason, true),
                                             {Qt::BacktabFocusReason, true},
                                             {Qt::MouseFocusReason, false}}) {
            const QImage shown = marked ? outlined : strip.copy(0, 0, 7, 5);
            Focus(button, QEvent::FocusIn, reason);
            EXPECT_EQ(Shown(button), shown) << reason;
            Focus(button, QEvent::FocusOut, Qt::ActiveWindowFocusReason);
            Focus(button, QEvent::FocusIn, Qt::ActiveWindowFocusReason);
            EXPECT_EQ(Shown(button), shown) << reason;
            Focus(button, QEvent::FocusOut, Qt::TabFocusReason);
            EXPECT_TRUE(shows(0));
        }
        // Pressed as the focus leaves (a switch of windows mid-press), it comes up unclicked.
        QTest::mousePress(&button, Qt::LeftButton);
        Focus(button, QEvent::FocusOut, Qt::ActiveWindowFocusReason);
        EXPECT_FALSE(button.isDown());
        QTest::mouseRelease(&button, Qt::LeftButton);
        QSignalSpy clicks(&button, &QPushButton::clicked);
        for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Space}) {
            QTest::keyClick(&button, key);
        }
        EXPECT_EQ(clicks.count(), 3);
        strip = strip.mirrored(true, false); // as new faces, drawn at twice the density
        QImage dense = strip.scaled(strip.size() * 2);
        dense.setDevicePixelRatio(2);
        button.LoadFaces(dense);
        EXPECT_TRUE(shows(0));
        QApplication::sendEvent(&button, &enter);
        EXPECT_TRUE(shows(2));
        button.setEnabled(false);
        QApplication::sendEvent(&button, &enter);
        EXPECT_TRUE(shows(0));
    }
}

// Each opening of the About box is built afresh; its links open through the desktop. Every press Qt
// delivers as one is a click, even a quick second one a few pixels away (Qt made no double click of
// it), and so are Enter, Space and the press of assistive technology, to which the label is a link
// named by its text; other buttons' presses go on to the box. The hand closes while pressed. Tab
// marks the focus, a click never does, and the mark goes with the focus. A new colour shows at
// once; before it has a background brush a link shows its background colour. OK closes the box.
TEST(LinkLabel, PressesKeysAndAssistiveTechnologyOpenTheAboutBoxsLinks)
{
    CLinkLabel fresh;
    fresh.resize(20, 13);
    EXPECT_EQ(Render(fresh), Plain(fresh.size(), fresh.BkColor()));
    QTextBrowser desktop; // stands in for the browser and the mail program: its signal records
    QSignalSpy opened(&desktop, &QTextBrowser::anchorClicked);
    QDesktopServices::setUrlHandler(QStringLiteral("https"), &desktop, "anchorClicked");
    QDesktopServices::setUrlHandler(QStringLiteral("mailto"), &desktop, "anchorClicked");
    const auto last = [&opened] { return opened.last().value(0).toUrl().toEncoded(); };
    for (int opening = 0; opening < 2; ++opening) {
        CAboutDlg box;
        box.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&box));
        auto* link = box.findChild<CLinkLabel*>(QStringLiteral("linkHome"));
        EXPECT_TRUE(ShowsCursor(*link, IDC_HAND)); // before any press
        for (const auto& [x, button] :
             {std::pair(3, Qt::LeftButton), {10, Qt::LeftButton}, {6, Qt::RightButton}}) {
            QMouseEvent press(QEvent::MouseButtonPress, QPointF(x, 3),
                              link->mapToGlobal(QPointF(x, 3)), button, button, {});
            press.setTimestamp(1000 + x);
            QApplication::sendEvent(link, &press);
            EXPECT_EQ(press.isAccepted(), button == Qt::LeftButton); // the box's to handle
        }
        EXPECT_TRUE(ShowsCursor(*link, IDC_HAND_PRESSED));
        QTest::mouseRelease(link, Qt::LeftButton, {}, QPoint(10, 3));
        EXPECT_TRUE(ShowsCursor(*link, IDC_HAND));
        QAccessibleInterface* named = QAccessible::queryAccessibleInterface(link);
        EXPECT_EQ(std::pair(named->role(), named->text(QAccessible::Name)),
                  std::pair(QAccessible::Link, QStringLiteral("https://horalink.org")));
        EXPECT_EQ(QAccessible::queryAccessibleInterface(&box)->role(), QAccessible::Dialog);
        named->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
        for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Space}) {
            QTest::keyClick(link, key);
        }
        EXPECT_EQ(opened.count(), 6);
        EXPECT_EQ(last(), "https://horalink.org");
        QTest::mouseClick(box.findChild<CLinkLabel*>(QStringLiteral("linkMail")), Qt::LeftButton);
        EXPECT_EQ(last(), "mailto:support@horalink.org?subject=%22Horalink%201.3%20support%22");
        opened.clear();

        const auto shown = [&] { return Shown(box).copy(link->geometry()); };
        const QImage plain = shown();
        for (const auto& [type, reason, marked] :
             {std::tuple(QEvent::FocusIn, Qt::MouseFocusReason, false),
              {QEvent::FocusIn, Qt::TabFocusReason, true},
              {QEvent::FocusOut, Qt::TabFocusReason, false}}) {
            Focus(*link, type, reason);
            EXPECT_EQ(shown() != plain, marked) << reason;
        }
        link->SetBkColor(Qt::yellow);
        EXPECT_EQ(shown().pixelColor(link->width() - 1, 0), QColor(Qt::yellow));
        link->SetLink(QStringLiteral("changed"), Qt::red); // not to be seen again
        QTest::mouseClick(box.findChild<QPushButton*>(QStringLiteral("btnOK")), Qt::LeftButton);
        EXPECT_FALSE(box.isVisible());
    }
}

// Links stay pure blue where it reads well and otherwise change only as far as a contrast of 4.5:1
// (WCAG 2) needs, one unit nearer blue falling short, towards white on dark and black on light
// backgrounds; the About box's under a dark theme too. With a font half as large again as the
// form's (as 144 dpi gives without Qt's scaling) every text fits its control however long, the
// links clear their labels and everything lies inside the box. At the form's own font the
// gallery's docs/controls/aboutbox.png shows its layout.
TEST(AboutDlg, LinksReadOnAnyBackgroundAndTextsNeverClip)
{
    // Where the links' colours below tell nothing: the darkest shades, measured linearly.
    EXPECT_NEAR(AccessibleControls::Contrast(QColor(5, 5, 5), Qt::black), 1.03, 0.005);
    for (const auto& [back, link] : {std::pair(QColor(255, 255, 255), QColor(0, 0, 255)),
                                     {QColor(212, 208, 200), QColor(0, 0, 255)},
                                     {QColor(119, 119, 119), QColor(0, 0, 47)},
                                     {QColor(0, 0, 0), QColor(94, 94, 255)},
                                     {QColor(0, 0, 90), QColor(107, 107, 255)}}) {
        EXPECT_EQ(AccessibleControls::LinkColourOn(back), link) << back.name().toStdString();
    }
    const QPalette original = QApplication::palette();
    QApplication::setPalette(QPalette(QColor(60, 60, 60), QColor(50, 50, 50)));
    CAboutDlg box;
    QApplication::setPalette(original);
    const CLinkLabel* home = box.findChild<CLinkLabel*>(QStringLiteral("linkHome"));
    EXPECT_GE(AccessibleControls::Contrast(home->TextColor(), home->BkColor()), 4.5);

    QList<QLabel*> texts = box.findChildren<QLabel*>();
    texts.removeIf([](const QLabel* label) { return label->text().isEmpty(); }); // the icon
    for (QLabel* label : texts) {
        label->setText(label->text() + QStringLiteral(" and then some more words"));
    }
    QFont larger = box.font();
    larger.setPointSizeF(larger.pointSizeF() * 1.5);
    box.setFont(larger);
    for (QLabel* label : texts) {
        auto* link = qobject_cast<CLinkLabel*>(label);
        const QFontMetrics metrics(link != nullptr ? link->LinkFont() : label->font());
        EXPECT_TRUE(label->width() >= metrics.horizontalAdvance(label->text()) &&
                    label->height() >= metrics.height() && box.rect().contains(label->geometry()))
            << label->objectName().toStdString();
    }
    for (const QString which : {"Home", "Mail"}) {
        EXPECT_LT(box.findChild<QLabel*>("label" + which)->geometry().right(),
                  box.findChild<QLabel*>("link" + which)->x());
    }
}

// A face without Windows metrics (no OS/2 table, or one cut short before usWinDescent) takes
// the largest size whose cell, ascent plus descent, fits the cell height asked for, and reads
// back as that cell.
TEST(TahomaFont, AFaceWithoutWindowsMetricsFillsTheCellAskedFor)
{
    const QByteArray face = ResourceLoader::LoadData(RT_TTF, IDR_SEGMATIC);
    const qsizetype entry = face.indexOf("OS/2"); // in the table directory, up front
    QByteArray renamed = face, cut = face;
    renamed.replace(entry, 4, "XS/2");
    qToBigEndian<quint32>(77, cut.data() + entry + 12); // its length
    for (const QByteArray& mended : {renamed, cut}) {
        const int added = QFontDatabase::addApplicationFontFromData(mended);
        QFont font(QFontDatabase::applicationFontFamilies(added).value(0));
        CTahomaFont::SetLogHeight(font, 30);
        auto cell = [font](int pixels) mutable {
            font.setPixelSize(pixels);
            return QFontMetrics(font).ascent() + QFontMetrics(font).descent();
        };
        EXPECT_TRUE(cell(font.pixelSize()) <= 30 && cell(font.pixelSize() + 1) > 30);
        EXPECT_NEAR(CTahomaFont::CellHeight(font), 30, 1);
        QFontDatabase::removeApplicationFont(added);
    }
}
