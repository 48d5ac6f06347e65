#pragma once

#include <QSize>

class QWidget;

// Cuts an X11 window to the rounded outline of a skin of the given logical size, in the screen's
// own pixels. Qt scales a window's mask by whole logical pixels, which at 1.25 or 1.5 leaves
// stepped corners; at a ratio of 1, or on other window systems, the mask Qt sets is already
// exact and this does nothing. The window must exist (shown).
void ShapeInScreenPixels(QWidget* window, QSize skin);
