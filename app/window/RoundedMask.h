#pragma once

#include <QBitmap>
#include <QSize>

// The window's outline: the skin's rectangle with rounded corners (ellipses 12 x 12), as a mask
// that is symmetric on all four corners. With a device pixel ratio the mask counts the pixels of
// a skin drawn that much denser (the same outline, corners that many times larger).
QBitmap RoundedMask(QSize skin, qreal devicePixelRatio = 1.0);

// A rounded-rectangle region whose right and bottom are one past the last pixel and which
// gives up one more, so (0, 0, w + 1, h + 1) covers exactly w x h pixels.
QBitmap RoundRectRegion(QSize bitmap, int left, int top, int right, int bottom, int ellipseWidth,
                        int ellipseHeight);
