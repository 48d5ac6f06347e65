#include "app/window/RoundedMask.h"

#include <QPainter>

QBitmap RoundedMask(QSize skin, qreal devicePixelRatio)
{
    const QSize pixels = (QSizeF(skin) * devicePixelRatio).toSize();
    const int ellipse = qRound(12 * devicePixelRatio);
    return RoundRectRegion(pixels, 0, 0, pixels.width() + 1, pixels.height() + 1, ellipse, ellipse);
}

QBitmap RoundRectRegion(QSize bitmap, int left, int top, int right, int bottom, int ellipseWidth,
                        int ellipseHeight)
{
    QBitmap mask(bitmap);
    mask.fill(Qt::color0);
    QPainter painter(&mask);
    // Without antialiasing and without a pen the fill is mirror-symmetric; a pen or a polygon
    // from a path leaves the right and bottom corners a pixel off.
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::color1);
    const QRect covered(left, top, right - left - 1, bottom - top - 1);
    painter.drawRoundedRect(covered, ellipseWidth / 2.0, ellipseHeight / 2.0, Qt::AbsoluteSize);
    return mask;
}
