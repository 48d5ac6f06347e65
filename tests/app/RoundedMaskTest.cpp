#include "app/RoundedMask.h"

#include <QImage>
#include <gtest/gtest.h>

namespace
{

bool Inside(const QImage& mask, int x, int y)
{
    return mask.pixelIndex(x, y) == 1;
}

TEST(RoundedMask, CutsTheFourCornersAndKeepsTheEdges)
{
    const QImage mask = RoundedMask(QSize(270, 240)).toImage();
    ASSERT_EQ(mask.size(), QSize(270, 240));
    EXPECT_FALSE(Inside(mask, 0, 0));
    EXPECT_FALSE(Inside(mask, 269, 0));
    EXPECT_FALSE(Inside(mask, 0, 239));
    EXPECT_FALSE(Inside(mask, 269, 239));
    // The skin's edges stay whole between the corners: one in from each edge's middle, and the
    // edge pixels themselves.
    EXPECT_TRUE(Inside(mask, 1, 120));
    EXPECT_TRUE(Inside(mask, 268, 120));
    EXPECT_TRUE(Inside(mask, 135, 1));
    EXPECT_TRUE(Inside(mask, 135, 238));
    EXPECT_TRUE(Inside(mask, 269, 120));
    EXPECT_TRUE(Inside(mask, 135, 239));
    // A 12 x 12 ellipse: the cut reaches a few pixels along each edge, not more than six.
    EXPECT_FALSE(Inside(mask, 1, 0));
    EXPECT_TRUE(Inside(mask, 6, 0));
    EXPECT_TRUE(Inside(mask, 0, 6));
    EXPECT_TRUE(Inside(mask, 6, 6));
}

TEST(RoundedMask, IsMirrorSymmetric)
{
    for (const QSize size : {QSize(270, 240), QSize(31, 20)}) {
        const QImage mask = RoundedMask(size).toImage();
        const int w = size.width();
        const int h = size.height();
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                ASSERT_EQ(Inside(mask, x, y), Inside(mask, w - 1 - x, y)) << x << "," << y;
                ASSERT_EQ(Inside(mask, x, y), Inside(mask, x, h - 1 - y)) << x << "," << y;
            }
        }
    }
}

} // namespace
