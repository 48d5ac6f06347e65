#pragma once

#include <QPixmap>
#include <QTest>
#include <QWidget>
#include <gtest/gtest.h>

// What the controls' tests look at: rendered pixels and cursors.
namespace TestPixels
{

// The widget as its paint event leaves it, over magenta so that pixels it leaves show.
inline QImage Render(QWidget& widget)
{
    QPixmap pixmap(widget.size());
    pixmap.fill(Qt::magenta);
    widget.render(&pixmap, QPoint(), QRegion(), QWidget::RenderFlags());
    return pixmap.toImage().convertToFormat(QImage::Format_RGB32);
}

struct Pixel {
    int x, y;
    QColor color;
};

// Expects each listed pixel of the image in its colour.
inline void Expect(const QImage& image, std::initializer_list<Pixel> pixels)
{
    for (const Pixel& p : pixels)
        EXPECT_EQ(QColor(image.pixel(p.x, p.y)), p.color) << "pixel " << p.x << "," << p.y;
}

// The number of pixels of exactly this colour inside a rectangle.
inline int Count(const QImage& image, const QRect& rect, const QColor& color)
{
    int n = 0;
    for (int y = rect.top(); y <= rect.bottom(); ++y)
        for (int x = rect.left(); x <= rect.right(); ++x)
            n += image.pixel(x, y) == color.rgb() ? 1 : 0;
    return n;
}

inline bool SameCursor(const QCursor& a, const QCursor& b)
{
    return a.hotSpot() == b.hotSpot() && a.bitmap().toImage() == b.bitmap().toImage();
}

} // namespace TestPixels
