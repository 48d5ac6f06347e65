#include "app/window/FontDescription.h"

#include <QFontMetrics>

QFont FontDescription::CreateFont() const
{
    QFont font(face);
    font.setWeight(static_cast<QFont::Weight>(weight));
    font.setFixedPitch(fixedPitch);
    if (romanFamily) {
        font.setStyleHint(QFont::Serif, QFont::PreferQuality);
    } else {
        font.setStyleStrategy(QFont::PreferQuality);
    }
    if (height < 0) {
        font.setPixelSize(-height);
    } else if (height > 0) {
        font.setPixelSize(PixelSizeForCellHeight(font, height));
    }
    return font;
}

int FontDescription::PixelSizeForCellHeight(QFont font, int cellHeight)
{
    // Integer metrics are what the text is laid out with, so search them rather than scale: the
    // cell grows with the pixel size, and it is never smaller than the em.
    for (int pixels = cellHeight; pixels > 1; --pixels) {
        font.setPixelSize(pixels);
        const QFontMetrics metrics(font);
        if (metrics.ascent() + metrics.descent() <= cellHeight) {
            return pixels;
        }
    }
    return 1;
}
