#pragma once

#include <QPixmap>
#include <QTest>
#include <QWidget>
#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>

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

using Pixel = std::tuple<int, int, QColor>; // x, y, colour

// Expects each listed pixel of the image in its colour.
inline void Expect(const QImage& image, std::initializer_list<Pixel> pixels)
{
    for (const auto& [x, y, color] : pixels)
        EXPECT_EQ(QColor(image.pixel(x, y)), color) << "pixel " << x << "," << y;
}

// The number of pixels of exactly this colour inside a rectangle.
inline int Count(const QImage& image, const QRect& rect, const QColor& color)
{
    const QImage part = image.copy(rect);
    const auto* pixels = reinterpret_cast<const QRgb*>(part.constBits());
    return int(std::count(pixels, pixels + part.width() * part.height(), color.rgb()));
}

} // namespace TestPixels
