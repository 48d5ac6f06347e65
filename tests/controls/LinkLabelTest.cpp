#include "controls/LinkLabel.h"
#include "controls/AboutDlg.h"

#include "TestPixels.h"
#include "res/ResourceLoader.h"
#include "res/resource.h"

#include <QDesktopServices>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTextBrowser>

TEST(LinkLabel, BoldUnderlinedTextFromTheTopLeftClippedNotWrapped)
{
    CLinkLabel blank, wide, narrow;
    blank.resize(30, 10); // no colour set yet: white
    EXPECT_EQ(TestPixels::Count(TestPixels::Render(blank), blank.rect(), Qt::white), 300);
    wide.resize(200, 40);
    narrow.resize(40, 40);
    for (CLinkLabel* label : {&wide, &narrow}) {
        label->SetBkColor(Qt::gray);
        label->SetLink(QStringLiteral("https://horalink.org"), Qt::blue);
    }
    EXPECT_TRUE(wide.LinkFont().bold() && wide.LinkFont().underline());
    EXPECT_EQ(wide.LinkFont().pixelSize(), 11);
    const QImage image = TestPixels::Render(wide);
    EXPECT_EQ(image.pixel(199, 39), QColor(Qt::gray).rgb());
    EXPECT_GT(TestPixels::Count(image, image.rect(), Qt::blue), 40);
    EXPECT_EQ(TestPixels::Count(image, QRect(0, 14, 200, 26), Qt::blue), 0); // top, not centred
    EXPECT_EQ(TestPixels::Render(narrow), image.copy(0, 0, 40, 40));
}

TEST(LinkLabel, HandCursorsOnlyWithTextAndOneClickPerDoubleClick)
{
    QWidget parent;
    CLinkLabel& label = *new CLinkLabel(&parent);
    EXPECT_FALSE(label.testAttribute(Qt::WA_SetCursor)); // the parent's cursor shows
    label.SetLink(QStringLiteral("x"), Qt::blue);
    QSignalSpy clicks(&label, &CLinkLabel::clicked);
    // The second press of a double click is no click of its own; a third one is.
    for (const auto& [button, ms, total] :
         {std::tuple(Qt::LeftButton, 10000, 1), std::tuple(Qt::LeftButton, 10100, 1),
          std::tuple(Qt::LeftButton, 10200, 2), std::tuple(Qt::RightButton, 15000, 2)}) {
        QMouseEvent press(QEvent::MouseButtonPress, QPointF(5, 5), QPointF(5, 5), button, button,
                          Qt::NoModifier);
        press.setTimestamp(ms);
        QApplication::sendEvent(&label, &press);
        EXPECT_EQ(clicks.count(), total) << ms;
        const int cursor = button == Qt::LeftButton ? IDC_HAND_PRESSED : IDC_HAND;
        EXPECT_TRUE(TestPixels::SameCursor(label.cursor(), ResourceLoader::LoadCursor(cursor)));
        QTest::mouseRelease(&label, button, {}, QPoint(5, 5));
        EXPECT_TRUE(TestPixels::SameCursor(label.cursor(), ResourceLoader::LoadCursor(IDC_HAND)));
    }
    label.SetLink(QString(), Qt::blue);
    EXPECT_FALSE(label.testAttribute(Qt::WA_SetCursor));
}

// Each opening is built afresh; its links open through the desktop and leave it open.
TEST(AboutDlg, LinksOpenThroughTheDesktopAndEachOpeningIsBuiltAfresh)
{
    QTextBrowser desktop; // stands in for the browser and the mail program: its signal records
    QSignalSpy opened(&desktop, &QTextBrowser::anchorClicked);
    QDesktopServices::setUrlHandler(QStringLiteral("https"), &desktop, "anchorClicked");
    QDesktopServices::setUrlHandler(QStringLiteral("mailto"), &desktop, "anchorClicked");
    for (const bool ok : {true, false}) {
        CAboutDlg dialog;
        dialog.show();
        const auto* product = dialog.findChild<QLabel*>(QStringLiteral("IDC_PRODUCT"));
        ASSERT_NE(product, nullptr);
        EXPECT_EQ(product->text(), QStringLiteral("Horalink v1.3"));
        EXPECT_TRUE(product->font().bold());
        for (const char* name : {"IDC_LINK_HOME", "IDC_LINK_MAIL"}) {
            CLinkLabel* link = dialog.findChild<CLinkLabel*>(name);
            ASSERT_NE(link, nullptr) << name;
            EXPECT_EQ(link->BkColor(), dialog.palette().color(QPalette::Button));
            const QImage image = TestPixels::Render(*link);
            EXPECT_GT(TestPixels::Count(image, image.rect(), Qt::blue), 20) << name;
            QTest::mouseClick(link, Qt::LeftButton, {}, QPoint(3, 3));
            link->SetLink(QStringLiteral("changed"), Qt::red); // not to be seen again
        }
        EXPECT_TRUE(dialog.isVisible());
        ASSERT_EQ(opened.count(), 2);
        EXPECT_EQ(opened.takeFirst()[0].toUrl(), QUrl(QStringLiteral("https://horalink.org")));
        EXPECT_EQ(opened.takeFirst()[0].toUrl().toEncoded(),
                  "mailto:support@horalink.org?subject=%22Horalink%201.3%20support%22");
        if (ok)
            QTest::mouseClick(dialog.findChild<QPushButton*>(QStringLiteral("IDOK")),
                              Qt::LeftButton);
        else
            QTest::keyClick(&dialog, Qt::Key_Escape);
        EXPECT_EQ(dialog.result(), ok ? QDialog::Accepted : QDialog::Rejected);
        EXPECT_FALSE(dialog.isVisible());
    }
}
