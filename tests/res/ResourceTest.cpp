#include "res/resource.h"
#include "res/ResourceLoader.h"

#include <QBitmap>
#include <QFile>
#include <QIcon>
#include <gtest/gtest.h>

#include <algorithm>

// On a denser screen (ratio 1.25 to 2) each bitmap comes as its drawing at twice the density,
// covering the 1x bitmap's logical pixels, and each hand as its drawing in twice the pixels with
// the hot spot on the same point of the finger; at 1 the 1x drawings. (The hands' pixels are the
// generator's, held by tools/check-generated; the parser's reading of them is the artwork
// sheet's, compared by docs_pictures.) The window's icon holds each of its sizes once, in its
// deepest colours (with edges blended into the background), not the first image of each size in
// the file; the 8-bit images beside them have only their mask: drawn or not. None of it maps an
// image plugin but the icons' own: asked to detect a file's format, Qt's image reader would load
// every one, a start-up cost the loader spares itself.
TEST(ResourceLoader, DenseScreensGetTheDenseDrawingsAndTheIconItsDeepestColours)
{
    for (const int id : {IDB_SKIN, IDB_CLOSE, IDB_ABOUT, IDB_MINIMIZE, IDB_GET, IDB_SET}) {
        const QSize plain = ResourceLoader::LoadBitmap(id).size();
        for (const qreal ratio : {1.0, 1.25, 1.5, 2.0}) {
            const QImage image = ResourceLoader::LoadBitmap(id, ratio);
            EXPECT_EQ(image.size(), plain * (ratio > 1.0 ? 2 : 1)) << id << " at " << ratio;
            EXPECT_EQ(image.deviceIndependentSize(), QSizeF(plain)) << id << " at " << ratio;
        }
    }
    for (const int id : {IDC_HAND, IDC_HAND_PRESSED}) {
        const QCursor dense = ResourceLoader::LoadCursor(id, 2.0);
        EXPECT_EQ(std::pair(dense.bitmap().size(), dense.hotSpot()),
                  std::pair(QSize(64, 64), 2 * ResourceLoader::LoadCursor(id).hotSpot()))
            << id;
    }

    const QIcon icon = ResourceLoader::LoadIcon(IDR_MAINFRAME);
    ASSERT_EQ(icon.availableSizes(), (QList<QSize>{{16, 16}, {24, 24}, {32, 32}}));
    for (const QSize& size : icon.availableSizes()) {
        const QImage alpha = icon.pixmap(size).toImage().convertToFormat(QImage::Format_Alpha8);
        const uchar* a = alpha.constBits(); // no padding: the widths are multiples of 4
        EXPECT_TRUE(std::any_of(a, a + alpha.sizeInBytes(), [](uchar v) { return v % 255 != 0; }))
            << size.width();
    }
    QFile maps(QStringLiteral("/proc/self/maps"));
    ASSERT_TRUE(maps.open(QIODevice::ReadOnly));
    const QByteArray mapped = maps.readAll();
    EXPECT_EQ(mapped.count("/imageformats/"), mapped.count("/imageformats/libqico"));
}
