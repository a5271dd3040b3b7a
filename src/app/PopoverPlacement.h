#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>

// Where the popover opens, in screen coordinates of its top-left corner. Always inside the
// screen's available area, so that no part of it hides behind a panel or off the screen.
namespace PopoverPlacement {

// Gap between the tray icon and the popover, and between the popover and the screen's edges.
inline constexpr int gap = 4;
inline constexpr int margin = 8;

// Centred under the icon; above it when the icon sits in the lower half of the screen (a panel
// at the bottom).
QPoint besideTrayIcon(const QRect &trayIcon, const QRect &availableScreen, const QSize &size);

// The top-right corner of the screen: where the tray usually is, for a tray that does not say
// where its icon is.
QPoint topRightOf(const QRect &availableScreen, const QSize &size);

} // namespace PopoverPlacement
