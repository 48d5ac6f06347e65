#pragma once

#include <QColor>
#include <QCursor>
#include <QImage>
#include <QPixmap>
#include <QWidget>

// What the controls' tests look at: rendered pixels and cursors.
namespace TestPixels
{

// The widget as its paint event leaves it, drawn over a known colour so that pixels it does
// not paint keep that colour.
inline QImage Render(QWidget& widget, const QColor& underlay = QColor(255, 0, 255))
{
    QPixmap pixmap(widget.size());
    pixmap.fill(underlay);
    widget.render(&pixmap, QPoint(), QRegion(), QWidget::RenderFlags());
    return pixmap.toImage().convertToFormat(QImage::Format_RGB32);
}

inline QColor At(const QImage& image, int x, int y)
{
    return QColor(image.pixel(x, y));
}

inline bool SameCursor(const QCursor& a, const QCursor& b)
{
    if (a.shape() != b.shape() || a.hotSpot() != b.hotSpot()) {
        return false;
    }
    return a.pixmap().toImage() == b.pixmap().toImage() &&
           a.bitmap().toImage() == b.bitmap().toImage();
}

// The number of pixels of exactly this colour inside a rectangle.
inline int Count(const QImage& image, const QRect& rect, const QColor& color)
{
    int n = 0;
    for (int y = rect.top(); y <= rect.bottom(); ++y) {
        for (int x = rect.left(); x <= rect.right(); ++x) {
            n += QColor(image.pixel(x, y)) == color ? 1 : 0;
        }
    }
    return n;
}

} // namespace TestPixels
