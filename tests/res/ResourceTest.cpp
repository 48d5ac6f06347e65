#include "res/resource.h"
#include "res/ResourceLoader.h"

#include <QBitmap>
#include <QFile>
#include <QIcon>
#include <gtest/gtest.h>

#include <algorithm>

// The image plugins mapped into this process but the icons' own: asked to detect a file's
// format, Qt's image reader would load every one, a start-up cost the loader spares itself.
static qsizetype OtherImagePlugins()
{
    QFile maps(QStringLiteral("/proc/self/maps"));
    const QByteArray mapped = maps.open(QIODevice::ReadOnly) ? maps.readAll() : QByteArray();
    return mapped.count("/imageformats/") - mapped.count("/imageformats/libqico");
}

// On a denser screen (ratio 1.25 to 2) each bitmap comes as its drawing at twice the density,
// covering the 1x bitmap's logical pixels; at 1 the 1x bitmap.
TEST(BitmapTest, DenseScreensGetTheDenseDrawings)
{
    for (const int id : {IDB_SKIN, IDB_CLOSE, IDB_ABOUT, IDB_MINIMIZE, IDB_GET, IDB_SET}) {
        const QSize plain = ResourceLoader::LoadBitmap(id).size();
        for (const qreal ratio : {1.0, 1.25, 1.5, 2.0}) {
            const QImage image = ResourceLoader::LoadBitmap(id, ratio);
            EXPECT_EQ(image.size(), plain * (ratio > 1.0 ? 2 : 1)) << id << " at " << ratio;
            EXPECT_EQ(image.deviceIndependentSize(), QSizeF(plain)) << id << " at " << ratio;
        }
    }
    EXPECT_EQ(OtherImagePlugins(), 0);
}

// The hand at twice the density is the 1x hand enlarged, but for a pixel off each fingertip's
// corner, with the hot spot on the same point of the finger; both white inside a black outline.
TEST(CursorTest, DenseHandIsTheSameHandInTwiceThePixels)
{
    for (const int id : {IDC_HAND, IDC_HAND_PRESSED}) {
        const QCursor plain = ResourceLoader::LoadCursor(id);
        const QCursor dense = ResourceLoader::LoadCursor(id, 2.0);
        ASSERT_EQ(dense.bitmap().size(), QSize(64, 64)) << id;
        EXPECT_EQ(dense.hotSpot(), 2 * plain.hotSpot()) << id;
        const QImage small = plain.mask().toImage().convertToFormat(QImage::Format_RGB32);
        const QImage big = dense.mask().toImage().convertToFormat(QImage::Format_RGB32);
        const QImage inkSmall = plain.bitmap().toImage().convertToFormat(QImage::Format_RGB32);
        const QImage inkBig = dense.bitmap().toImage().convertToFormat(QImage::Format_RGB32);
        int drawn = 0, black = 0, differing = 0;
        for (int y = 0; y < 64; ++y) {
            for (int x = 0; x < 64; ++x) {
                differing += small.pixel(x / 2, y / 2) != big.pixel(x, y) ||
                             inkSmall.pixel(x / 2, y / 2) != inkBig.pixel(x, y);
                drawn += qGray(big.pixel(x, y)) < 128;
                black += qGray(big.pixel(x, y)) < 128 && qGray(inkBig.pixel(x, y)) < 128;
            }
        }
        EXPECT_LT(differing, 64) << id; // 44 corner pixels; a shift by one gives hundreds
        // White inside a thin black outline: black is about a quarter of the hand.
        EXPECT_TRUE(drawn > 800 && black > 0 && 3 * black < drawn) << black << " of " << drawn;
    }
}

// The window's icon holds each of its sizes once, in its deepest colours (with edges blended into
// the background), not the first image of each size in the file; the 8-bit images beside them
// have only their mask: drawn or not.
TEST(IconTest, EachSizeOnceInItsDeepestColours)
{
    const QIcon icon = ResourceLoader::LoadIcon(IDR_MAINFRAME);
    ASSERT_EQ(icon.availableSizes(), (QList<QSize>{{16, 16}, {24, 24}, {32, 32}}));
    for (const QSize& size : icon.availableSizes()) {
        const QImage alpha = icon.pixmap(size).toImage().convertToFormat(QImage::Format_Alpha8);
        const uchar* a = alpha.constBits(); // no padding: the widths are multiples of 4
        EXPECT_TRUE(std::any_of(a, a + alpha.sizeInBytes(), [](uchar v) { return v % 255 != 0; }))
            << size.width();
    }
    EXPECT_EQ(OtherImagePlugins(), 0);
}
