#pragma once

#include <QFocusEvent>

// Whether a control marks its focus after a focus event: the keyboard brought it (Tab,
// Shift+Tab); a mark already shown stays while the focus leaves and comes back with the window's
// activation or a popup (Alt+Tab away and back, the window menu), so a keyboard user never loses
// sight of it. A click or any other way in shows none, as the mouse never sees a mark.
inline bool FocusCueAfter(const QFocusEvent& event, bool shown)
{
    switch (event.reason()) {
    case Qt::TabFocusReason:
    case Qt::BacktabFocusReason:
        return event.gotFocus();
    case Qt::ActiveWindowFocusReason:
    case Qt::PopupFocusReason:
        return shown;
    default:
        return false;
    }
}
