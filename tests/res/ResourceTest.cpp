#include "res/resource.h"
#include "res/ResourceLoader.h"
#include "res/Version.h"

#include <QFile>
#include <QFontDatabase>
#include <QRawFont>
#include <QtEndian>
#include <gtest/gtest.h>

#include <set>

namespace
{

// The raw bytes of an embedded file.
QByteArray File(int id)
{
    QFile file(ResourceLoader::Path(id));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A little-endian number of 2 or 4 bytes in a file's header; 0 past its end.
template <typename T> T Read(const QByteArray& data, qsizetype at)
{
    return data.size() >= at + qsizetype(sizeof(T)) ? qFromLittleEndian<T>(data.constData() + at)
                                                    : 0;
}

} // namespace

// Uncompressed 24-bit bitmaps of their sizes; the strips hold three frames, all different.
TEST(BitmapTest, HeadersSizesAndFrames)
{
    for (const auto& [id, width, height, frames] :
         {std::tuple(IDB_SKIN, 270, 240, 1), std::tuple(IDB_GET, 120, 22, 3),
          std::tuple(IDB_SET, 120, 22, 3), std::tuple(IDB_MINIMIZE, 45, 15, 3),
          std::tuple(IDB_ABOUT, 45, 15, 3), std::tuple(IDB_CLOSE, 45, 15, 3)}) {
        SCOPED_TRACE(id);
        const QByteArray data = File(id);
        EXPECT_TRUE(data.startsWith("BM"));
        EXPECT_EQ(Read<qint32>(data, 18), width);
        EXPECT_EQ(Read<qint32>(data, 22), height); // positive: rows bottom-up
        EXPECT_EQ(Read<quint16>(data, 28), 24);
        EXPECT_EQ(Read<quint32>(data, 30), 0u); // BI_RGB
        const QImage image = ResourceLoader::LoadBitmap(id);
        ASSERT_EQ(image.size(), QSize(width, height));
        const int w = width / frames;
        for (int i = 1; i < frames; ++i)
            for (int j = 0; j < i; ++j)
                EXPECT_NE(image.copy(i * w, 0, w, height), image.copy(j * w, 0, w, height)) << i;
    }
}

// The skin shows the panel's plain grey where the controls paint their own, and each face's
// corners match the skin under its button, so that nothing shows a seam.
TEST(BitmapTest, ControlsSitOnTheSkinWithoutSeams)
{
    const QImage skin = ResourceLoader::LoadBitmap(IDB_SKIN);
    for (const QRect& r : {QRect(27, 34, 45, 45), QRect(104, 36, 144, 42), QRect(23, 91, 221, 94)})
        for (const QPoint p : {r.topLeft(), r.center(), r.bottomRight()})
            EXPECT_EQ(skin.pixel(p), qRgb(192, 192, 192)) << p.x() << "," << p.y();
    for (const auto& [id, at] :
         {std::pair(IDB_CLOSE, QPoint(246, 5)), std::pair(IDB_ABOUT, QPoint(228, 5)),
          std::pair(IDB_MINIMIZE, QPoint(210, 5)), std::pair(IDB_GET, QPoint(165, 200)),
          std::pair(IDB_SET, QPoint(210, 200))}) {
        const QImage strip = ResourceLoader::LoadBitmap(id);
        const int w = strip.width() / 3, h = strip.height();
        for (int frame = 0; frame < 3; ++frame)
            for (const QPoint c :
                 {QPoint(0, 0), QPoint(w - 1, 0), QPoint(0, h - 1), QPoint(w - 1, h - 1)})
                EXPECT_EQ(strip.pixel(frame * w + c.x(), c.y()), skin.pixel(at + c))
                    << id << " frame " << frame;
    }
}

// 32 x 32 monochrome .cur files with hot spot (7, 0); the first black row is the outline over
// the fingertip, right under the hot spot, with the white finger below it.
TEST(CursorTest, HotSpotAndFingertipRow)
{
    for (const auto& [id, tip] : {std::pair(IDC_HAND, 1), std::pair(IDC_HAND_PRESSED, 4)}) {
        SCOPED_TRACE(id);
        const QByteArray data = File(id);
        ASSERT_GE(data.size(), 22 + 40);      // the directory and the bitmap header
        EXPECT_EQ(Read<quint16>(data, 2), 2); // a cursor, not an icon
        EXPECT_TRUE(data[6] == 32 && data[7] == 32) << "32 x 32";
        EXPECT_EQ(QPoint(Read<quint16>(data, 10), Read<quint16>(data, 12)), QPoint(7, 0));
        EXPECT_EQ(Read<quint16>(data, Read<quint32>(data, 18) + 14), 1); // bits per pixel
        const QCursor cursor = ResourceLoader::LoadCursor(id);
        EXPECT_EQ(cursor.hotSpot(), QPoint(7, 0));
        const QImage black = cursor.bitmap().toImage().convertToFormat(QImage::Format_Mono);
        const QImage drawn = cursor.mask().toImage().convertToFormat(QImage::Format_Mono);
        ASSERT_EQ(drawn.size(), QSize(32, 32));
        const auto isBlack = [&](int x, int y) {
            return drawn.pixelIndex(x, y) && black.pixelIndex(x, y);
        };
        int firstBlack = -1; // row by row from the top
        for (int i = 0; i < 32 * 32 && firstBlack < 0; ++i)
            firstBlack = isBlack(i % 32, i / 32) ? i / 32 : -1;
        EXPECT_EQ(firstBlack, tip);
        EXPECT_TRUE(isBlack(7, tip));
        EXPECT_TRUE(drawn.pixelIndex(7, tip + 1) && !isBlack(7, tip + 1)); // white
    }
}

// Each size of an icon comes in 8-bit and in 32-bit colour.
TEST(IconTest, HoldsItsSizes)
{
    for (const auto& [id, sizes] :
         {std::pair(IDR_MAINFRAME, QList<int>{16, 24, 32}), std::pair(IDI_ABOUT, QList<int>{48})}) {
        const QByteArray data = File(id);
        EXPECT_EQ(Read<quint16>(data, 2), 1);            // an icon, not a cursor
        std::set<std::pair<int, int>> entries, expected; // size and bits per pixel
        for (int i = 0; i < Read<quint16>(data, 4); ++i)
            entries.insert({quint8(data[6 + 16 * i]), Read<quint16>(data, 12 + 16 * i)});
        for (int size : sizes)
            expected.insert({{size, 8}, {size, 32}});
        EXPECT_EQ(entries, expected) << id;
        QList<int> loaded;
        for (const QSize& size : ResourceLoader::LoadIcon(id).availableSizes())
            loaded.append(size.width());
        std::sort(loaded.begin(), loaded.end());
        EXPECT_EQ(loaded, sizes) << id;
    }
}

TEST(FontTest, SegmaticIsFixedPitchWithEqualDigits)
{
    const QByteArray data = ResourceLoader::LoadData(RT_TTF, IDR_SEGMATIC);
    EXPECT_LT(data.size(), 16 * 1024);
    const int id = QFontDatabase::addApplicationFontFromData(data);
    ASSERT_NE(id, -1);
    EXPECT_EQ(QFontDatabase::applicationFontFamilies(id), QStringList{"Segmatic"});
    EXPECT_TRUE(QFontDatabase::isFixedPitch("Segmatic"));
    QFontDatabase::removeApplicationFont(id);
    // The clock asks for a 39-pixel cell: ascent plus descent must be exactly that.
    const QRawFont font(data, 39);
    EXPECT_DOUBLE_EQ(font.ascent() + font.descent(), 39.0);
    const QList<quint32> glyphs = font.glyphIndexesForString(QStringLiteral("0123456789: "));
    const QList<QPointF> advances = font.advancesForGlyphIndexes(glyphs);
    ASSERT_EQ(advances.size(), 12);
    for (int i = 0; i < 12; ++i) {
        EXPECT_NE(glyphs[i], 0u) << i; // not .notdef
        EXPECT_EQ(advances[i].x(), advances[0].x()) << i;
    }
}

TEST(LookupTest, EveryIdFindsItsResourceAndNoOtherDoes)
{
    for (int id : {IDR_MAINFRAME, IDI_ABOUT, IDB_SKIN, IDR_SEGMATIC, IDB_GET, IDB_SET, IDB_MINIMIZE,
                   IDB_ABOUT, IDB_CLOSE, IDC_HAND_PRESSED, IDC_HAND})
        EXPECT_TRUE(QFile::exists(ResourceLoader::Path(id))) << id;
    EXPECT_TRUE(ResourceLoader::Path(9999).isEmpty());
    EXPECT_TRUE(ResourceLoader::LoadBitmap(IDC_HAND).isNull());
    EXPECT_TRUE(ResourceLoader::LoadData(RT_TTF, IDB_SKIN).isEmpty());
    EXPECT_TRUE(ResourceLoader::LoadIcon(IDB_SKIN).isNull());
    EXPECT_EQ(ResourceLoader::LoadCursor(9999).shape(), Qt::ArrowCursor);
    EXPECT_EQ(ResourceLoader::LoadString(IDS_SOCKETS_INIT_FAILED),
              QStringLiteral("Windows sockets initialization failed."));
}

TEST(VersionTest, AgreesWithTheBuild)
{
    EXPECT_STREQ(Version::kVersion, HORALINK_BUILD_VERSION);
}
