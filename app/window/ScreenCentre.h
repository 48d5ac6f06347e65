#pragma once

class QWidget;

// Places a window in the middle of its screen's available area. A frameless dialog needs it: the
// centring Qt does for a dialog without a parent allows for a guessed title bar and frame, and
// leaves a window that has none 10 pixels left and 40 above the middle.
void CentreOnScreen(QWidget* window);
