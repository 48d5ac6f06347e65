#pragma once

#include <QImage>
#include <QTest>
#include <QWidget>
#include <gtest/gtest.h>

// What the controls' tests look at: rendered pixels.

// An image of one colour, to compare a whole face or area with.
inline QImage Plain(const QSize& size, const QColor& color)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(color);
    return image;
}

// The widget as its paint event leaves it, over magenta so that pixels it leaves show.
inline QImage Render(QWidget& widget)
{
    QImage image = Plain(widget.size(), Qt::magenta);
    widget.render(&image, QPoint(), QRegion(), QWidget::RenderFlags());
    return image;
}
