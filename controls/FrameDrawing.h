#pragma once

#include <QColor>
#include <QPainter>
#include <QRect>

// The one-pixel frames and solid fills of the skinned controls, pixel for pixel.
namespace FrameDrawing
{

// Fills a rectangle; an empty or negative size fills nothing.
inline void FillSolidRect(QPainter* pDC, int x, int y, int cx, int cy, const QColor& color)
{
    if (const QRect rect(x, y, cx, cy); rect.isValid()) {
        pDC->fillRect(rect, color);
    }
}

// A one-pixel frame: the top row and the left column, each without its last pixel, in the
// top-left colour; then the right column and the bottom row in full in the bottom-right colour.
inline void Draw3dRect(QPainter* pDC, const QRect& rect, const QColor& clrTopLeft,
                       const QColor& clrBottomRight)
{
    const int x = rect.x();
    const int y = rect.y();
    const int cx = rect.width();
    const int cy = rect.height();
    FillSolidRect(pDC, x, y, cx - 1, 1, clrTopLeft);
    FillSolidRect(pDC, x, y, 1, cy - 1, clrTopLeft);
    FillSolidRect(pDC, x + cx - 1, y, 1, cy, clrBottomRight);
    FillSolidRect(pDC, x, y + cy - 1, cx, 1, clrBottomRight);
}

} // namespace FrameDrawing
