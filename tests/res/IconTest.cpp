#include "ResourceFile.h"
#include "res/resource.h"

#include <gtest/gtest.h>

#include <ostream>

#include <QBuffer>
#include <QIcon>
#include <QImageReader>

#include <algorithm>
#include <set>
#include <utility>
#include <vector>

namespace
{

using SizeAndDepth = std::pair<int, int>;

// The (size, bits per pixel) of every image in an icon file's directory.
std::set<SizeAndDepth> Directory(const QByteArray& data)
{
    std::set<SizeAndDepth> entries;
    for (int i = 0; i < U16(data, 4); ++i) {
        const qsizetype entry = 6 + 16 * i;
        const int size = static_cast<unsigned char>(data[entry]);
        entries.insert({size == 0 ? 256 : size, U16(data, entry + 6)});
    }
    return entries;
}

struct IconCase {
    int id;
    std::vector<int> sizes;
};

// Names the case by its id in test listings.
void PrintTo(const IconCase& c, std::ostream* os)
{
    *os << "icon " << c.id;
}

class IconTest : public testing::TestWithParam<IconCase>
{
};

TEST_P(IconTest, HoldsEverySizeIn8And32BitColour)
{
    const QByteArray data = ResourceFile(GetParam().id);
    ASSERT_GE(data.size(), 6);
    EXPECT_EQ(U16(data, 2), 1); // icon, not cursor
    std::set<SizeAndDepth> expected;
    for (int size : GetParam().sizes) {
        expected.insert({size, 8});
        expected.insert({size, 32});
    }
    EXPECT_EQ(Directory(data), expected);
}

TEST_P(IconTest, EveryImageDecodesAtItsSize)
{
    QByteArray data = ResourceFile(GetParam().id);
    QBuffer buffer(&data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "ico");
    const int count = reader.imageCount();
    ASSERT_EQ(count, static_cast<int>(2 * GetParam().sizes.size()));
    for (int i = 0; i < count; ++i) {
        ASSERT_TRUE(reader.jumpToImage(i));
        const QImage image = reader.read();
        ASSERT_FALSE(image.isNull()) << reader.errorString().toStdString();
        EXPECT_EQ(image.width(), image.height());
        // The corners are transparent and the centre is not: the clock is round.
        EXPECT_EQ(qAlpha(image.pixel(0, 0)), 0);
        EXPECT_EQ(qAlpha(image.pixel(image.width() / 2, image.height() / 2)), 255);
    }
}

TEST_P(IconTest, LoadsEverySizeOnce)
{
    const QIcon icon = ResourceLoader::LoadIcon(GetParam().id);
    std::vector<int> sizes;
    for (const QSize& s : icon.availableSizes()) {
        EXPECT_EQ(s.width(), s.height());
        sizes.push_back(s.width());
    }
    std::sort(sizes.begin(), sizes.end());
    EXPECT_EQ(sizes, GetParam().sizes);
}

INSTANTIATE_TEST_SUITE_P(Resources, IconTest,
                         testing::Values(IconCase{IDR_MAINFRAME, {16, 24, 32}},
                                         IconCase{IDI_ABOUT, {48}}),
                         [](const auto& test) { return std::to_string(test.param.id); });

TEST(IconLookupTest, UnknownIdGivesAnEmptyIcon)
{
    EXPECT_TRUE(ResourceLoader::LoadIcon(IDB_SKIN).isNull());
}

} // namespace
