#include "controls/HoverButton.h"

#include "TestPixels.h"
#include "res/ResourceLoader.h"
#include "res/resource.h"

#include <QEnterEvent>
#include <QPainter>

TEST(HoverButton, ShowsTheFaceAndHandOfEachState)
{
    const QColor faces[] = {Qt::red, Qt::green, Qt::blue}; // normal, pressed, hot
    const auto shows = [](CHoverButton& button, const QColor& face) {
        return TestPixels::Count(TestPixels::Render(button), QRect(0, 0, 7, 5), face) == 35 &&
               button.size() == QSize(7, 5);
    };
    const QCursor hand = ResourceLoader::LoadCursor(IDC_HAND);
    const QCursor pressing = ResourceLoader::LoadCursor(IDC_HAND_PRESSED);
    ASSERT_FALSE(TestPixels::SameCursor(hand, pressing));
    CHoverButton button;
    button.setGeometry(5, 7, 4, 4); // before any strip: nothing drawn
    EXPECT_EQ(TestPixels::Count(TestPixels::Render(button), button.rect(), Qt::magenta), 16);

    // Width 23 gives faces of 7 x 5; the two yellow columns left over never show.
    QImage strip(23, 5, QImage::Format_RGB32);
    strip.fill(Qt::yellow);
    for (int i = 0; i < 3; ++i)
        QPainter(&strip).fillRect(7 * i, 0, 7, 5, faces[i]);
    EXPECT_TRUE(button.LoadFaces(strip));
    EXPECT_EQ(button.pos(), QPoint(5, 7));
    QEnterEvent enter(QPointF(1, 1), QPointF(1, 1), QPointF(1, 1));
    QApplication::sendEvent(&button, &enter);
    for (const bool hover : {true, false}) {
        QEvent leave(QEvent::Leave);
        if (!hover)
            QApplication::sendEvent(&button, &leave);
        EXPECT_TRUE(shows(button, faces[hover ? 2 : 0])) << hover;
        QTest::mousePress(&button, Qt::LeftButton, {}, QPoint(3, 2));
        EXPECT_TRUE(shows(button, faces[1])) << hover; // pressed wins over hot
        EXPECT_TRUE(TestPixels::SameCursor(button.cursor(), pressing));
        QTest::mouseRelease(&button, Qt::LeftButton, {}, QPoint(3, 2));
        EXPECT_TRUE(shows(button, faces[hover ? 2 : 0])) << hover;
        EXPECT_TRUE(TestPixels::SameCursor(button.cursor(), hand));
    }

    // A second strip, by resource id, replaces the first.
    EXPECT_TRUE(button.LoadFaces(IDB_CLOSE));
    EXPECT_EQ(button.geometry(), QRect(5, 7, 15, 15));
    const QImage close = ResourceLoader::LoadBitmap(IDB_CLOSE).copy(0, 0, 15, 15);
    EXPECT_EQ(TestPixels::Render(button), close.convertToFormat(QImage::Format_RGB32));
}
