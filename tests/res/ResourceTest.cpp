#include "res/resource.h"
#include "res/ResourceLoader.h"
#include "res/SkinLayout.h"

#include <QRawFont>
#include <gtest/gtest.h>

#include <algorithm>

using namespace SkinLayout;

// The skin shows the panel's plain grey where the controls paint their own, and each face's
// corners match the skin under its button, so that nothing shows a seam.
TEST(BitmapTest, ControlsSitOnTheSkinWithoutSeams)
{
    const QImage skin = ResourceLoader::LoadBitmap(IDB_SKIN);
    for (const QRect& r : {kAnalogClock, kDigitalClock, kLog}) {
        for (const QPoint p : {r.topLeft(), r.center(), r.bottomRight()}) {
            EXPECT_EQ(skin.pixel(p), kFace.rgb()) << p.x() << "," << p.y();
        }
    }
    for (const auto& [id, at] : {std::pair(IDB_CLOSE, kClose.topLeft()),
                                 {IDB_ABOUT, kAbout.topLeft()},
                                 {IDB_MINIMIZE, kMinimize.topLeft()},
                                 {IDB_GET, kGet.topLeft()},
                                 {IDB_SET, kSet.topLeft()}}) {
        const QImage strip = ResourceLoader::LoadBitmap(id);
        const int w = strip.width() / 3, h = strip.height();
        for (int i = 0; i < 12; ++i) { // the four corners of each of the three frames
            const QPoint corner(i % 2 * (w - 1), i / 2 % 2 * (h - 1));
            EXPECT_EQ(strip.pixel(i / 4 * w + corner.x(), corner.y()), skin.pixel(at + corner))
                << id << " frame " << i / 4;
        }
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
