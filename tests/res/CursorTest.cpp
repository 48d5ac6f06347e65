#include "ResourceFile.h"
#include "res/resource.h"

#include <gtest/gtest.h>

#include <ostream>

#include <QBitmap>
#include <QImage>

namespace
{

// What a cursor shows at a pixel: Qt's bitmap is 1 for black, its mask 1 for drawn.
enum class Ink { Clear, Black, White };

struct CursorPixels {
    QImage bitmap;
    QImage mask;

    Ink at(int x, int y) const
    {
        if (mask.pixelIndex(x, y) == 0) {
            return Ink::Clear;
        }
        return bitmap.pixelIndex(x, y) == 1 ? Ink::Black : Ink::White;
    }

    int firstRowWith(Ink ink) const
    {
        for (int y = 0; y < mask.height(); ++y) {
            for (int x = 0; x < mask.width(); ++x) {
                if (at(x, y) == ink) {
                    return y;
                }
            }
        }
        return -1;
    }
};

CursorPixels Pixels(const QCursor& cursor)
{
    return {cursor.bitmap().toImage().convertToFormat(QImage::Format_Mono),
            cursor.mask().toImage().convertToFormat(QImage::Format_Mono)};
}

struct CursorCase {
    int id;
    int tipRow; // first row with a black pixel: the outline over the fingertip
};

// Names the case by its id in test listings.
void PrintTo(const CursorCase& c, std::ostream* os)
{
    *os << "cursor " << c.id;
}

class CursorTest : public testing::TestWithParam<CursorCase>
{
};

TEST_P(CursorTest, FileIsA32PixelMonochromeCursorWithHotSpot7_0)
{
    const QByteArray data = ResourceFile(GetParam().id);
    ASSERT_GE(data.size(), 22 + 40);
    EXPECT_EQ(U16(data, 2), 2); // cursor, not icon
    EXPECT_EQ(static_cast<unsigned char>(data[6]), 32);
    EXPECT_EQ(static_cast<unsigned char>(data[7]), 32);
    EXPECT_EQ(U16(data, 10), 7);
    EXPECT_EQ(U16(data, 12), 0);
    EXPECT_EQ(U16(data, U32(data, 18) + 14), 1); // one bit per pixel
}

TEST_P(CursorTest, LoadsWithItsHotSpotAndFingertipRow)
{
    const QCursor cursor = ResourceLoader::LoadCursor(GetParam().id);
    ASSERT_EQ(cursor.shape(), Qt::BitmapCursor);
    EXPECT_EQ(cursor.hotSpot(), QPoint(7, 0));
    const CursorPixels px = Pixels(cursor);
    ASSERT_EQ(px.mask.size(), QSize(32, 32));
    EXPECT_EQ(px.firstRowWith(Ink::Black), GetParam().tipRow);
    EXPECT_EQ(px.firstRowWith(Ink::White), GetParam().tipRow + 1);
    // The fingertip is right under the hot spot.
    EXPECT_EQ(px.at(7, GetParam().tipRow), Ink::Black);
    EXPECT_EQ(px.at(7, GetParam().tipRow + 1), Ink::White);
}

INSTANTIATE_TEST_SUITE_P(Resources, CursorTest,
                         testing::Values(CursorCase{IDC_HAND, 1}, CursorCase{IDC_HAND_PRESSED, 4}),
                         [](const auto& test) { return std::to_string(test.param.id); });

TEST(HandCursorsTest, PressedHandIsThePointingHandWithAShorterFinger)
{
    const CursorPixels pointing = Pixels(ResourceLoader::LoadCursor(IDC_HAND));
    const CursorPixels pressed = Pixels(ResourceLoader::LoadCursor(IDC_HAND_PRESSED));
    int differing = 0;
    for (int y = 0; y < 32; ++y) {
        for (int x = 0; x < 32; ++x) {
            if (pointing.at(x, y) != pressed.at(x, y)) {
                EXPECT_LT(y, 5) << "pixel " << x << "," << y << " differs below the fingertip";
                ++differing;
            }
        }
    }
    EXPECT_GT(differing, 0);
}

TEST(HandCursorsTest, UnknownIdGivesTheArrow)
{
    EXPECT_EQ(ResourceLoader::LoadCursor(IDB_SKIN).shape(), Qt::ArrowCursor);
    EXPECT_EQ(ResourceLoader::LoadCursor(9999).shape(), Qt::ArrowCursor);
}

} // namespace
