#pragma once

#include "res/ResourceLoader.h"

#include <QBitmap>
#include <QScreen>
#include <QTest>
#include <gtest/gtest.h>

// What the controls' tests look at: rendered pixels.

// An image of one colour, to compare a whole face or area with.
inline QImage Plain(const QSize& size, const QColor& color)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(color);
    return image;
}

// The widget as its paint event leaves it, over magenta so that pixels it leaves show.
inline QImage Render(QWidget& widget)
{
    QImage image = Plain(widget.size(), Qt::magenta);
    widget.render(&image, QPoint(), QRegion(), QWidget::RenderFlags());
    return image;
}

// A shown window as the screen shows it once the paints asked for have run: a change of look
// that asks for no paint never shows here.
inline QImage Shown(QWidget& window)
{
    QCoreApplication::processEvents();
    const QPixmap shown = window.screen()->grabWindow(window.winId());
    return shown.toImage().convertToFormat(QImage::Format_RGB32);
}

// Sends the widget a focus event as the window system's would come.
inline void Focus(QWidget& widget, QEvent::Type type, Qt::FocusReason reason)
{
    QFocusEvent event(type, reason);
    QApplication::sendEvent(&widget, &event);
}

// Whether the widget shows the cursor of resource `id`.
inline bool ShowsCursor(const QWidget& widget, int id)
{
    return widget.cursor().bitmap().toImage() ==
           ResourceLoader::LoadCursor(id, widget.devicePixelRatioF()).bitmap().toImage();
}
