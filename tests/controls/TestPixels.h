#pragma once

#include <QPixmap>
#include <QTest>
#include <QWidget>
#include <gtest/gtest.h>

#include <algorithm>

// What the controls' tests look at: rendered pixels.
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

// The number of pixels of exactly this colour inside a rectangle.
inline int Count(const QImage& image, const QRect& rect, const QColor& color)
{
    const QImage part = image.copy(rect);
    const auto* pixels = reinterpret_cast<const QRgb*>(part.constBits());
    return int(std::count(pixels, pixels + part.width() * part.height(), color.rgb()));
}

} // namespace TestPixels
