#include "controls/AboutDlg.h"

#include "TestPixels.h"
#include "controls/LinkLabel.h"

#include <QDesktopServices>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <gtest/gtest.h>

#include <vector>

namespace
{

const QColor kBlue(0, 0, 255);

// Stands in for the browser and the mail program.
class UrlCatcher : public QObject
{
    Q_OBJECT

public:
    UrlCatcher()
    {
        for (const char* scheme : {"https", "http", "mailto"}) {
            QDesktopServices::setUrlHandler(QString::fromLatin1(scheme), this, "Open");
        }
    }
    ~UrlCatcher() override
    {
        for (const char* scheme : {"https", "http", "mailto"}) {
            QDesktopServices::unsetUrlHandler(QString::fromLatin1(scheme));
        }
    }

    std::vector<QUrl> opened;

public slots:
    void Open(const QUrl& url) { opened.push_back(url); }
};

CLinkLabel* Link(QDialog& dialog, const char* name)
{
    return dialog.findChild<CLinkLabel*>(QString::fromLatin1(name));
}

void ExpectBuiltFresh(CAboutDlg& dialog)
{
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("About program"));
    auto* product = dialog.findChild<QLabel*>(QStringLiteral("IDC_PRODUCT"));
    ASSERT_NE(product, nullptr);
    EXPECT_EQ(product->text(), QStringLiteral("Horalink v1.3"));
    EXPECT_TRUE(product->font().bold());

    const QColor face = dialog.palette().color(QPalette::Button);
    for (const char* name : {"IDC_LINK_HOME", "IDC_LINK_MAIL"}) {
        CLinkLabel* link = Link(dialog, name);
        ASSERT_NE(link, nullptr) << name;
        EXPECT_EQ(link->TextColor(), kBlue);
        EXPECT_EQ(link->BkColor(), face);
        const QImage image = TestPixels::Render(*link);
        EXPECT_GT(TestPixels::Count(image, image.rect(), kBlue), 20) << name;
        EXPECT_EQ(TestPixels::At(image, image.width() - 1, image.height() - 1), face);
    }
    EXPECT_EQ(Link(dialog, "IDC_LINK_HOME")->LinkText(), QStringLiteral("https://horalink.org"));
    EXPECT_EQ(Link(dialog, "IDC_LINK_MAIL")->LinkText(), QStringLiteral("support@horalink.org"));
}

} // namespace

TEST(AboutDlg, LinksOpenThroughTheDesktopAndTheBoxStaysOpen)
{
    UrlCatcher catcher;
    CAboutDlg dialog;
    dialog.show();
    QTest::mouseClick(Link(dialog, "IDC_LINK_HOME"), Qt::LeftButton, {}, QPoint(3, 3));
    QTest::mouseClick(Link(dialog, "IDC_LINK_MAIL"), Qt::LeftButton, {}, QPoint(3, 3));
    EXPECT_TRUE(dialog.isVisible());

    ASSERT_EQ(catcher.opened.size(), 2u);
    EXPECT_EQ(catcher.opened[0], QUrl(QStringLiteral("https://horalink.org")));
    const QUrl& mail = catcher.opened[1];
    EXPECT_EQ(mail.scheme(), QStringLiteral("mailto"));
    EXPECT_EQ(mail.path(), QStringLiteral("support@horalink.org"));
    // The quotes are part of the subject; on the way out QUrl writes them as %22.
    EXPECT_EQ(mail.query(QUrl::FullyDecoded), QStringLiteral("subject=\"Horalink 1.3 support\""));
    EXPECT_EQ(mail.toEncoded(),
              QByteArray("mailto:support@horalink.org?subject=%22Horalink%201.3%20support%22"));
}

TEST(AboutDlg, EachShowingIsBuiltAfreshAndEndsWithOkEscapeOrClose)
{
    UrlCatcher catcher;
    {
        CAboutDlg first;
        ExpectBuiltFresh(first);
        Link(first, "IDC_LINK_HOME")->SetLink(QStringLiteral("changed"), QColor(255, 0, 0));
        QTimer::singleShot(0, &first, [&first] {
            QTest::mouseClick(first.findChild<QPushButton*>(QStringLiteral("IDOK")),
                              Qt::LeftButton);
        });
        EXPECT_EQ(first.exec(), QDialog::Accepted);
    }
    {
        CAboutDlg second;
        ExpectBuiltFresh(second);
        QTimer::singleShot(0, &second, [&second] { QTest::keyClick(&second, Qt::Key_Escape); });
        EXPECT_EQ(second.exec(), QDialog::Rejected);
    }
    {
        CAboutDlg third;
        QTimer::singleShot(0, &third, [&third] { third.close(); });
        EXPECT_EQ(third.exec(), QDialog::Rejected);
    }
    EXPECT_TRUE(catcher.opened.empty());
}

#include "AboutDlgTest.moc"
