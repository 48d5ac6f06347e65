#include "res/ResourceLoader.h"
#include "res/resource.h"

#include <gtest/gtest.h>

#include <QFontDatabase>
#include <QPainterPath>
#include <QRawFont>

namespace
{

const QString kClockCharacters = QStringLiteral("0123456789: ");

QByteArray FontData()
{
    return ResourceLoader::LoadData(RT_TTF, IDR_SEGMATIC);
}

quint32 GlyphIndex(const QRawFont& font, QChar ch)
{
    const QList<quint32> indexes = font.glyphIndexesForString(QString(ch));
    return indexes.isEmpty() ? 0 : indexes.first();
}

TEST(SegmaticTest, RegistersAsFixedPitchFamilySegmatic)
{
    const QByteArray data = FontData();
    ASSERT_FALSE(data.isEmpty());
    EXPECT_LT(data.size(), 16 * 1024);
    const int id = QFontDatabase::addApplicationFontFromData(data);
    ASSERT_NE(id, -1);
    EXPECT_EQ(QFontDatabase::applicationFontFamilies(id), QStringList{"Segmatic"});
    EXPECT_TRUE(QFontDatabase::isFixedPitch("Segmatic"));
    QFontDatabase::removeApplicationFont(id);
}

// The clock sets the pixel size so that ascent plus descent is its cell height, 39 pixels.
TEST(SegmaticTest, CellHeightEqualsPixelSize)
{
    const QRawFont font(FontData(), 39);
    ASSERT_TRUE(font.isValid());
    EXPECT_DOUBLE_EQ(font.ascent() + font.descent(), 39.0);
    // "HH:MM:SS" must fit the clock's 144-pixel box at that size.
    EXPECT_LT(8 * font.averageCharWidth(), 144.0);
}

TEST(SegmaticTest, DigitsColonAndSpaceHaveGlyphsOfEqualAdvance)
{
    const QRawFont font(FontData(), 39);
    ASSERT_TRUE(font.isValid());
    QList<quint32> glyphs;
    for (const QChar ch : kClockCharacters) {
        EXPECT_TRUE(font.supportsCharacter(ch)) << ch.toLatin1();
        const quint32 glyph = GlyphIndex(font, ch);
        EXPECT_NE(glyph, 0u) << ch.toLatin1();
        glyphs.append(glyph);
    }
    glyphs.append(0); // .notdef: a fixed-pitch font has no other width
    const QList<QPointF> advances = font.advancesForGlyphIndexes(glyphs);
    ASSERT_EQ(advances.size(), glyphs.size());
    for (const QPointF& a : advances) {
        EXPECT_DOUBLE_EQ(a.x(), advances.first().x());
        EXPECT_GT(a.x(), 0.0);
    }
}

// Seven-segment digits: each digit is its lit segments, one closed outline each, and every
// segment of every digit is also one of 8's, which lights them all.
TEST(SegmaticTest, DigitsAreSevenSegmentShapes)
{
    const QRawFont font(FontData(), 100);
    const int litSegments[] = {6, 2, 5, 5, 4, 5, 6, 3, 7, 6};
    QList<QPainterPath> paths;
    for (const QChar ch : QStringLiteral("0123456789")) {
        paths.append(font.pathForGlyph(GlyphIndex(font, ch)));
    }
    const QRectF box = paths[8].boundingRect();
    for (int digit = 0; digit < 10; ++digit) {
        EXPECT_EQ(paths[digit].toSubpathPolygons().size(), litSegments[digit]) << digit;
        for (double y = box.top(); y < box.bottom(); y += 1.0) {
            for (double x = box.left(); x < box.right(); x += 1.0) {
                if (paths[digit].contains(QPointF(x, y))) {
                    ASSERT_TRUE(paths[8].contains(QPointF(x, y)))
                        << digit << " at " << x << "," << y;
                }
            }
        }
    }
    EXPECT_TRUE(font.pathForGlyph(GlyphIndex(font, QChar(' '))).isEmpty());
    EXPECT_EQ(font.pathForGlyph(GlyphIndex(font, QChar(':'))).toSubpathPolygons().size(), 2);
}

} // namespace
