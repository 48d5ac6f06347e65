#include "app/window/ScreenPixelShape.h"

#include "app/window/RoundedMask.h"

#include <QGuiApplication>
#include <QRegion>
#include <QWidget>

#include <xcb/shape.h>
#include <xcb/xcb.h>

#include <vector>

void ShapeInScreenPixels(QWidget* window, QSize skin)
{
    const auto* x11 = qApp->nativeInterface<QNativeInterface::QX11Application>();
    const qreal ratio = window->devicePixelRatioF();
    if (x11 == nullptr || x11->connection() == nullptr || ratio == 1.0 ||
        !window->testAttribute(Qt::WA_WState_Created)) {
        return;
    }
    const QRegion outline(RoundedMask(skin, ratio));
    std::vector<xcb_rectangle_t> rects;
    for (const QRect& r : outline) {
        rects.push_back({static_cast<int16_t>(r.x()), static_cast<int16_t>(r.y()),
                         static_cast<uint16_t>(r.width()), static_cast<uint16_t>(r.height())});
    }
    const auto id = static_cast<xcb_window_t>(window->winId());
    // The bounding shape cuts what is seen, the input shape what takes the pointer; both go out
    // with the next flush (the first showing's own, or the event loop's).
    for (const xcb_shape_kind_t kind : {XCB_SHAPE_SK_BOUNDING, XCB_SHAPE_SK_INPUT}) {
        xcb_shape_rectangles(x11->connection(), XCB_SHAPE_SO_SET, kind, XCB_CLIP_ORDERING_UNSORTED,
                             id, 0, 0, static_cast<uint32_t>(rects.size()), rects.data());
    }
}
