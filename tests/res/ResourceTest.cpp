#include "res/resource.h"
#include "res/ResourceLoader.h"
#include "res/SkinLayout.h"

#include <QBitmap>
#include <QIcon>
#include <QRawFont>
#include <gtest/gtest.h>

#include <algorithm>

using namespace SkinLayout;

// The skin shows the panel's plain grey where the controls paint their own, and each face's
// corners match the skin under its button, so that nothing shows a seam. On a denser screen
// (ratio 1.25 to 2) each bitmap comes as its drawing at twice the density, covering the 1x
// bitmap's logical pixels, and still meets the skin, now in the skin's doubled pixels; at 1 the 1x
// bitmap, untouched.
TEST(BitmapTest, ControlsSitOnTheSkinWithoutSeamsAtEveryDensity)
{
    const QImage plainSkin = ResourceLoader::LoadBitmap(IDB_SKIN);
    for (const qreal ratio : {1.0, 1.25, 1.5, 2.0}) {
        const QImage skin = ResourceLoader::LoadBitmap(IDB_SKIN, ratio);
        const int d = ratio > 1.0 ? 2 : 1;
        EXPECT_EQ(skin.size(), plainSkin.size() * d) << ratio;
        EXPECT_EQ(skin.deviceIndependentSize(), QSizeF(plainSkin.size())) << ratio;
        for (const QRect& r : {kAnalogClock, kDigitalClock, kLog}) {
            for (const QPoint p : {r.topLeft(), r.center(), r.bottomRight()}) {
                EXPECT_EQ(skin.pixel(p * d), kFace.rgb())
                    << p.x() << "," << p.y() << " at " << ratio;
            }
        }
        for (const auto& [id, at] : {std::pair(IDB_CLOSE, kClose.topLeft()),
                                     {IDB_ABOUT, kAbout.topLeft()},
                                     {IDB_MINIMIZE, kMinimize.topLeft()},
                                     {IDB_GET, kGet.topLeft()},
                                     {IDB_SET, kSet.topLeft()}}) {
            const QImage strip = ResourceLoader::LoadBitmap(id, ratio);
            EXPECT_EQ(strip.size(), ResourceLoader::LoadBitmap(id).size() * d)
                << id << " at " << ratio;
            EXPECT_EQ(strip.devicePixelRatio(), d) << id << " at " << ratio;
            const int w = strip.width() / 3, h = strip.height();
            for (int i = 0; i < 12; ++i) { // the four corners of each of the three frames
                const QPoint corner(i % 2 * (w - 1), i / 2 % 2 * (h - 1));
                EXPECT_EQ(strip.pixel(i / 4 * w + corner.x(), corner.y()),
                          skin.pixel(at * d + corner))
                    << id << " frame " << i / 4 << " at " << ratio;
            }
        }
    }
    EXPECT_EQ(plainSkin.size(), QSize(270, 240)); // the window's size in logical pixels
}

// The hand at twice the density is the 1x hand enlarged, but for a pixel off each fingertip's
// corner, with the hot spot on the same point of the finger.
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
        int drawn = 0, differing = 0;
        for (int y = 0; y < 64; ++y) {
            for (int x = 0; x < 64; ++x) {
                const bool a = small.pixel(x / 2, y / 2) == big.pixel(x, y);
                const bool b = inkSmall.pixel(x / 2, y / 2) == inkBig.pixel(x, y);
                drawn += qGray(big.pixel(x, y)) < 128;
                differing += !(a && b);
            }
        }
        EXPECT_GT(drawn, 800) << id;
        EXPECT_LT(differing, 64) << id; // 44 corner pixels; a shift by one gives hundreds
    }
}

TEST(FontTest, SegmaticFillsTheClocksCellWithEqualDigits)
{
    // The clock asks for a 39-pixel cell: ascent plus descent must be exactly that.
    const QRawFont font(ResourceLoader::LoadData(RT_TTF, IDR_SEGMATIC), 39);
    EXPECT_EQ(font.familyName(), "Segmatic"); // the name the clock asks for
    EXPECT_DOUBLE_EQ(font.ascent() + font.descent(), 39.0);
    // Every digit, the colon and the blank drawn (none is .notdef), each as wide as the others.
    const QList<quint32> glyphs = font.glyphIndexesForString(QStringLiteral("0123456789: "));
    EXPECT_FALSE(glyphs.contains(0u));
    const QList<QPointF> advances = font.advancesForGlyphIndexes(glyphs);
    EXPECT_EQ(std::ranges::count(advances, advances.value(0).x(), &QPointF::x), 12);
}

// The window's icon holds each of its sizes once, in its deepest colours (with edges blended into
// the background), not the first image of each size in the file.
TEST(IconTest, EachSizeOnceInItsDeepestColours)
{
    const QIcon icon = ResourceLoader::LoadIcon(IDR_MAINFRAME);
    ASSERT_EQ(icon.availableSizes(), (QList<QSize>{{16, 16}, {24, 24}, {32, 32}}));
    // The 8-bit images beside them have only their mask: drawn or not.
    for (const QSize& size : icon.availableSizes()) {
        const QImage image = icon.pixmap(size).toImage().convertToFormat(QImage::Format_ARGB32);
        bool blended = false;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                const int alpha = qAlpha(image.pixel(x, y));
                blended = blended || (alpha > 0 && alpha < 255);
            }
        }
        EXPECT_TRUE(blended) << size.width();
    }
}
