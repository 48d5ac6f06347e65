#include "controls/LinkLabel.h"

#include "TestPixels.h"
#include "controls/TahomaFont.h"
#include "res/ResourceLoader.h"
#include "res/resource.h"

#include <QFontInfo>
#include <QFontMetrics>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

using TestPixels::At;
using TestPixels::Count;
using TestPixels::Render;

namespace
{

const QColor kBlue(0, 0, 255);
const QColor kFace(192, 192, 192);
const QString kLink = QStringLiteral("https://horalink.org");

int RowsWith(const QImage& image, const QColor& color)
{
    int rows = 0;
    for (int y = 0; y < image.height(); ++y) {
        rows += Count(image, QRect(0, y, image.width(), 1), color) > 0 ? 1 : 0;
    }
    return rows;
}

int LowestRowWith(const QImage& image, const QColor& color)
{
    for (int y = image.height() - 1; y >= 0; --y) {
        if (Count(image, QRect(0, y, image.width(), 1), color) > 0) {
            return y;
        }
    }
    return -1;
}

} // namespace

TEST(LinkLabel, BoldUnderlinedTahomaElevenPixels)
{
    CLinkLabel label;
    const QFont font = label.LinkFont();
    EXPECT_TRUE(font.bold());
    EXPECT_TRUE(font.underline());
    EXPECT_EQ(font.pixelSize(), 11);
    EXPECT_EQ(font.family(), CTahomaFont::Family());
    if (QFile::exists("/usr/share/wine/fonts/tahomabd.ttf")) {
        EXPECT_EQ(QFontInfo(font).family(), QStringLiteral("Tahoma"));
    }
}

TEST(TahomaFont, NegativeHeightsAreEmSizesPositiveOnesCellHeights)
{
    EXPECT_EQ(CTahomaFont::Font(-11).pixelSize(), 11);
    for (int cell : {13, 16, 24}) {
        const QFontMetrics metrics(CTahomaFont::Font(cell, QFont::Bold));
        EXPECT_NEAR(metrics.ascent() + metrics.descent(), cell, 1) << cell;
    }
}

TEST(LinkLabel, DrawsTheTextFromTheTopLeftInItsColoursAndClipsIt)
{
    CLinkLabel wide;
    wide.resize(200, 40);
    wide.SetBkColor(kFace);
    wide.SetLink(kLink, kBlue);
    EXPECT_EQ(wide.text(), kLink);
    const QImage image = Render(wide);
    EXPECT_EQ(At(image, 199, 39), kFace);
    // The underline is a full run of the text colour; the text sits at the top, not centred.
    EXPECT_GT(Count(image, image.rect(), kBlue), 40);
    EXPECT_LT(LowestRowWith(image, kBlue), 14);
    EXPECT_EQ(Count(image, image.rect(), QColor(255, 0, 255)), 0);

    // A narrow label shows the same left part, clipped at its right edge, never wrapped.
    CLinkLabel narrow;
    narrow.resize(40, 40);
    narrow.SetBkColor(kFace);
    narrow.SetLink(kLink, kBlue);
    const QImage clipped = Render(narrow);
    EXPECT_EQ(clipped, image.copy(0, 0, 40, 40));
    EXPECT_EQ(RowsWith(clipped, kBlue), RowsWith(image.copy(0, 0, 40, 40), kBlue));

    // A new text changes what is drawn and the label's text.
    narrow.SetLink(QStringLiteral("x"), QColor(255, 0, 0));
    EXPECT_EQ(narrow.text(), QStringLiteral("x"));
    EXPECT_EQ(Count(Render(narrow), narrow.rect(), kBlue), 0);
}

TEST(LinkLabel, BackgroundBeforeAnyColourIsWhite)
{
    CLinkLabel label;
    label.resize(30, 10);
    EXPECT_EQ(Count(Render(label), label.rect(), QColor(255, 255, 255)), 300);
    label.SetBkColor(kFace);
    label.SetBkColor(kFace);
    EXPECT_EQ(Count(Render(label), label.rect(), kFace), 300);
}

TEST(LinkLabel, HandCursorsOnlyWhileItHasText)
{
    const QCursor hand = ResourceLoader::LoadCursor(IDC_HAND);
    const QCursor pressing = ResourceLoader::LoadCursor(IDC_HAND_PRESSED);
    QWidget parent;
    CLinkLabel& label = *new CLinkLabel(&parent);
    label.resize(100, 14);

    // No text: the cursor is left to the parent, and presses do not change it.
    QTest::mousePress(&label, Qt::LeftButton, {}, QPoint(5, 5));
    QTest::mouseRelease(&label, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_FALSE(label.testAttribute(Qt::WA_SetCursor));

    label.SetLink(kLink, kBlue);
    EXPECT_TRUE(TestPixels::SameCursor(label.cursor(), hand));
    QTest::mousePress(&label, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_TRUE(TestPixels::SameCursor(label.cursor(), pressing));
    QTest::mouseMove(&label, QPoint(8, 5));
    EXPECT_TRUE(TestPixels::SameCursor(label.cursor(), hand));
    QTest::mouseRelease(&label, Qt::LeftButton, {}, QPoint(8, 5));
    EXPECT_TRUE(TestPixels::SameCursor(label.cursor(), hand));

    label.SetLink(QString(), kBlue);
    EXPECT_FALSE(label.testAttribute(Qt::WA_SetCursor));
}

TEST(LinkLabel, ReportsAClickWhenTheLeftButtonGoesDownOncePerDoubleClick)
{
    CLinkLabel label;
    label.resize(100, 14);
    label.SetLink(kLink, kBlue);
    QSignalSpy clicks(&label, &CLinkLabel::clicked);
    auto press = [&label](Qt::MouseButton button, quint64 timestamp) {
        QMouseEvent event(QEvent::MouseButtonPress, QPointF(5, 5), label.mapToGlobal(QPointF(5, 5)),
                          button, button, Qt::NoModifier);
        event.setTimestamp(timestamp);
        QApplication::sendEvent(&label, &event);
    };
    press(Qt::LeftButton, 1000);
    EXPECT_EQ(clicks.count(), 1);
    // The second press of a double click is no click of its own; a third one is.
    press(Qt::LeftButton, 1100);
    EXPECT_EQ(clicks.count(), 1);
    press(Qt::LeftButton, 1200);
    EXPECT_EQ(clicks.count(), 2);
    press(Qt::RightButton, 5000);
    EXPECT_EQ(clicks.count(), 2);
    press(Qt::LeftButton, 10000);
    EXPECT_EQ(clicks.count(), 3);
}
