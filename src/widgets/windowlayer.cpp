#include "widgets/windowlayer.h"

#include <QVariant>
#include <QWidget>
#include <QWindow>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace WindowLayer {

namespace {
constexpr const char* TopmostProperty = "tarnoluxTopmost";
}

void setTopmost(QWidget* window, bool on)
{
    window->setProperty(TopmostProperty, on);
#ifdef Q_OS_WIN
    SetWindowPos(reinterpret_cast<HWND>(window->winId()), on ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0,
                 SWP_NOSIZE | SWP_NOMOVE);
#else
    // QWidget::setWindowFlag would hide the window; the window handle's flag does not.
    window->winId();
    if (QWindow* handle = window->windowHandle())
        handle->setFlag(Qt::WindowStaysOnTopHint, on);
#endif
}

bool isTopmost(const QWidget* window)
{
    return window->property(TopmostProperty).toBool();
}

} // namespace WindowLayer
