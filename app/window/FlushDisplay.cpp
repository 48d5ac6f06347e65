#include "app/window/FlushDisplay.h"

#include <QGuiApplication>

#include <xcb/xcb.h>

void FlushDisplay()
{
    const auto* x11 = qApp->nativeInterface<QNativeInterface::QX11Application>();
    if (x11 == nullptr || x11->connection() == nullptr) {
        return;
    }
    xcb_flush(x11->connection());
}
