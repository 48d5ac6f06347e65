#include "controls/HoverButton.h"

#include "TestPixels.h"
#include "res/ResourceLoader.h"
#include "res/resource.h"

#include <QEnterEvent>
#include <QPainter>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

using TestPixels::At;
using TestPixels::Count;
using TestPixels::Render;

namespace
{

const QColor kNormal(200, 0, 0);
const QColor kPressed(0, 200, 0);
const QColor kHot(0, 0, 200);
const QColor kLeftOver(200, 200, 0);
const QColor kUnderlay(255, 0, 255);

// Three faces of faceWidth x height in plain colours, then the columns left over.
QImage Strip(int faceWidth, int height, int leftOver = 0)
{
    QImage strip(3 * faceWidth + leftOver, height, QImage::Format_RGB32);
    QPainter painter(&strip);
    painter.fillRect(0, 0, faceWidth, height, kNormal);
    painter.fillRect(faceWidth, 0, faceWidth, height, kPressed);
    painter.fillRect(2 * faceWidth, 0, faceWidth, height, kHot);
    painter.fillRect(3 * faceWidth, 0, leftOver, height, kLeftOver);
    return strip;
}

// The one colour the whole button shows, or an invalid colour when it shows more than one.
QColor Face(CHoverButton& button)
{
    const QImage image = Render(button);
    const QColor first = At(image, 0, 0);
    return Count(image, image.rect(), first) == image.width() * image.height() ? first : QColor();
}

void Enter(QWidget& widget)
{
    QEnterEvent enter(QPointF(1, 1), QPointF(1, 1), widget.mapToGlobal(QPointF(1, 1)));
    QApplication::sendEvent(&widget, &enter);
}

void Leave(QWidget& widget)
{
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(&widget, &leave);
}

} // namespace

TEST(HoverButton, ShowsTheFaceOfEachState)
{
    CHoverButton button;
    QSignalSpy clicks(&button, &QAbstractButton::clicked);
    button.LoadFaces(Strip(7, 5));
    EXPECT_EQ(Face(button), kNormal);

    Enter(button);
    EXPECT_EQ(Face(button), kHot);
    QTest::mousePress(&button, Qt::LeftButton, {}, QPoint(3, 2));
    EXPECT_EQ(Face(button), kPressed); // pressed wins over hot
    QTest::mouseRelease(&button, Qt::LeftButton, {}, QPoint(3, 2));
    EXPECT_EQ(Face(button), kHot); // hot again without a new hover
    EXPECT_EQ(clicks.count(), 1);

    Leave(button);
    EXPECT_EQ(Face(button), kNormal);
    QTest::mousePress(&button, Qt::LeftButton, {}, QPoint(3, 2));
    EXPECT_EQ(Face(button), kPressed);
    QTest::mouseRelease(&button, Qt::LeftButton, {}, QPoint(3, 2));
    EXPECT_EQ(Face(button), kNormal);

    // Focus and disabled states have no face of their own; no focus rectangle either.
    button.show();
    button.setFocus();
    EXPECT_EQ(Face(button), kNormal);
    button.setEnabled(false);
    EXPECT_EQ(Face(button), kNormal);
}

TEST(HoverButton, SizesItselfToOneFaceAndPaintsNothingElse)
{
    CHoverButton button;
    button.move(5, 7);
    // Before any strip: 0 x 0 faces, nothing drawn.
    button.resize(4, 4);
    EXPECT_EQ(button.FaceWidth(), 0);
    EXPECT_EQ(button.FaceHeight(), 0);
    EXPECT_EQ(Count(Render(button), QRect(0, 0, 4, 4), kUnderlay), 16);

    // Width 23 gives faces of 7; the two columns left over never show.
    EXPECT_TRUE(button.LoadFaces(Strip(7, 5, 2)));
    EXPECT_EQ(button.size(), QSize(7, 5));
    EXPECT_EQ(button.pos(), QPoint(5, 7));
    Enter(button);
    EXPECT_EQ(Face(button), kHot);

    // A larger button keeps the area outside the face unpainted: no background erase.
    button.resize(10, 6);
    const QImage larger = Render(button);
    EXPECT_EQ(Count(larger, QRect(0, 0, 7, 5), kHot), 35);
    EXPECT_EQ(Count(larger, QRect(7, 0, 3, 6), kUnderlay), 18);
    EXPECT_EQ(Count(larger, QRect(0, 5, 10, 1), kUnderlay), 10);

    // A second strip replaces the first and resizes the button again.
    EXPECT_TRUE(button.LoadFaces(Strip(3, 2)));
    EXPECT_EQ(button.size(), QSize(3, 2));
    EXPECT_EQ(button.pos(), QPoint(5, 7));
    EXPECT_EQ(Face(button), kHot);
}

TEST(HoverButton, LoadsStripsByResourceId)
{
    CHoverButton button;
    EXPECT_TRUE(button.LoadFaces(IDB_GET));
    EXPECT_EQ(button.size(), QSize(40, 22));
    // The high 16 bits of the id are ignored.
    EXPECT_TRUE(button.LoadFaces(0x10000u | IDB_CLOSE));
    EXPECT_EQ(button.size(), QSize(15, 15));
    const QImage strip = ResourceLoader::LoadBitmap(IDB_CLOSE);
    EXPECT_EQ(Render(button), strip.copy(0, 0, 15, 15).convertToFormat(QImage::Format_RGB32));

    // An id without a bitmap still reports success and leaves no faces.
    EXPECT_TRUE(button.LoadFaces(1u));
    EXPECT_EQ(button.FaceWidth(), 0);
    EXPECT_EQ(Count(Render(button), button.rect(), kUnderlay), 15 * 15);
}

TEST(HoverButton, PointingHandAndPressingHandWhileTheButtonGoesDown)
{
    const QCursor hand = ResourceLoader::LoadCursor(IDC_HAND);
    const QCursor pressing = ResourceLoader::LoadCursor(IDC_HAND_PRESSED);
    ASSERT_FALSE(TestPixels::SameCursor(hand, pressing));

    CHoverButton button;
    button.LoadFaces(Strip(7, 5));
    EXPECT_TRUE(TestPixels::SameCursor(button.cursor(), hand));
    QTest::mousePress(&button, Qt::LeftButton, {}, QPoint(3, 2));
    EXPECT_TRUE(TestPixels::SameCursor(button.cursor(), pressing));
    QTest::mouseRelease(&button, Qt::LeftButton, {}, QPoint(3, 2));
    EXPECT_TRUE(TestPixels::SameCursor(button.cursor(), hand));
}
