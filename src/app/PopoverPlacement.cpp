#include "app/PopoverPlacement.h"

#include <algorithm>

namespace PopoverPlacement {

namespace {

QPoint keptInside(QPoint topLeft, const QRect &available, const QSize &size)
{
    // A screen smaller than the popover shows its top-left part.
    const int right = std::max(available.left(), available.right() + 1 - size.width());
    const int bottom = std::max(available.top(), available.bottom() + 1 - size.height());
    return {std::clamp(topLeft.x(), available.left(), right),
            std::clamp(topLeft.y(), available.top(), bottom)};
}

} // namespace

QPoint besideTrayIcon(const QRect &trayIcon, const QRect &availableScreen, const QSize &size)
{
    const int x = trayIcon.x() + (trayIcon.width() - size.width()) / 2;
    const bool iconAtBottom = trayIcon.center().y() > availableScreen.center().y();
    const int y = iconAtBottom ? trayIcon.top() - gap - size.height() : trayIcon.bottom() + 1 + gap;
    return keptInside({x, y}, availableScreen, size);
}

QPoint topRightOf(const QRect &availableScreen, const QSize &size)
{
    return keptInside(
        {availableScreen.right() + 1 - margin - size.width(), availableScreen.top() + margin},
        availableScreen, size);
}

} // namespace PopoverPlacement
