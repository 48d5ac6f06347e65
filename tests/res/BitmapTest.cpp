#include "ResourceFile.h"
#include "res/resource.h"

#include <gtest/gtest.h>

#include <ostream>

#include <QImage>

namespace
{

struct BitmapCase {
    int id;
    int width;
    int height;
    int frames; // faces side by side; 1 for the skin
};

constexpr BitmapCase kBitmaps[] = {
    {IDB_SKIN, 270, 240, 1},   {IDB_GET, 120, 22, 3},  {IDB_SET, 120, 22, 3},
    {IDB_MINIMIZE, 45, 15, 3}, {IDB_ABOUT, 45, 15, 3}, {IDB_CLOSE, 45, 15, 3},
};

// Names the case by its id in test listings.
void PrintTo(const BitmapCase& c, std::ostream* os)
{
    *os << "bitmap " << c.id;
}

class BitmapTest : public testing::TestWithParam<BitmapCase>
{
};

TEST_P(BitmapTest, FileIsAnUncompressed24BitBitmapOfItsSize)
{
    const BitmapCase c = GetParam();
    const QByteArray data = ResourceFile(c.id);
    ASSERT_GE(data.size(), 54);
    EXPECT_EQ(data.left(2), "BM");
    EXPECT_EQ(U32(data, 2), static_cast<quint32>(data.size()));
    EXPECT_EQ(static_cast<qint32>(U32(data, 18)), c.width);
    EXPECT_EQ(static_cast<qint32>(U32(data, 22)), c.height); // positive: rows bottom-up
    EXPECT_EQ(U16(data, 28), 24);
    EXPECT_EQ(U32(data, 30), 0u); // BI_RGB
    const quint32 stride = (c.width * 3 + 3) & ~3u;
    EXPECT_GE(static_cast<quint32>(data.size()), U32(data, 10) + stride * c.height);
}

TEST_P(BitmapTest, FramesHaveTheirSizeAndDifferFromEachOther)
{
    const BitmapCase c = GetParam();
    const QImage strip = ResourceLoader::LoadBitmap(c.id);
    ASSERT_EQ(strip.size(), QSize(c.width, c.height));
    const int w = c.width / c.frames;
    for (int i = 0; i < c.frames; ++i) {
        for (int j = i + 1; j < c.frames; ++j) {
            EXPECT_NE(strip.copy(i * w, 0, w, c.height), strip.copy(j * w, 0, w, c.height))
                << "frames " << i << " and " << j;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Resources, BitmapTest, testing::ValuesIn(kBitmaps),
                         [](const auto& test) { return std::to_string(test.param.id); });

constexpr QRgb kPanel = 0xFFC0C0C0; // the colour the controls paint their own background in

// The controls on the panel paint the panel's grey themselves, so the skin must show exactly
// that grey where they sit, or they would stand out as patches.
TEST(SkinTest, PanelIsPlainGreyWhereTheControlsSit)
{
    const QImage skin = ResourceLoader::LoadBitmap(IDB_SKIN);
    const QRect places[] = {{27, 34, 45, 45}, {104, 36, 144, 42}, {23, 91, 221, 94}};
    for (const QRect& r : places) {
        for (const QPoint p : {r.topLeft(), r.center(), r.bottomRight()}) {
            EXPECT_EQ(skin.pixel(p), kPanel) << p.x() << "," << p.y();
        }
    }
}

TEST(SkinTest, TitleBandIsBlueAndPanelBelowIt)
{
    const QImage skin = ResourceLoader::LoadBitmap(IDB_SKIN);
    for (const QPoint p : {QPoint(10, 10), QPoint(150, 2), QPoint(150, 20), QPoint(2, 120)}) {
        const QColor c = skin.pixelColor(p);
        EXPECT_GT(c.blue(), c.red() + 40) << p.x() << "," << p.y();
    }
    EXPECT_EQ(skin.pixel(135, 200), kPanel);
}

// A face's corner pixels lie outside its rounded body and must match the skin under the
// button, so that the face sits on the skin without a seam.
TEST(SkinTest, FaceCornersMatchTheSkinUnderTheirButtons)
{
    const QImage skin = ResourceLoader::LoadBitmap(IDB_SKIN);
    const struct {
        int id;
        QPoint at;
    } buttons[] = {{IDB_CLOSE, {246, 5}},
                   {IDB_ABOUT, {228, 5}},
                   {IDB_MINIMIZE, {210, 5}},
                   {IDB_GET, {165, 200}},
                   {IDB_SET, {210, 200}}};
    for (const auto& b : buttons) {
        const QImage strip = ResourceLoader::LoadBitmap(b.id);
        const int w = strip.width() / 3;
        const int h = strip.height();
        for (int frame = 0; frame < 3; ++frame) {
            for (const QPoint corner :
                 {QPoint(0, 0), QPoint(w - 1, 0), QPoint(0, h - 1), QPoint(w - 1, h - 1)}) {
                EXPECT_EQ(strip.pixel(frame * w + corner.x(), corner.y()),
                          skin.pixel(b.at + corner))
                    << "bitmap " << b.id << " frame " << frame;
            }
        }
    }
}

} // namespace
