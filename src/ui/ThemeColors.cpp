#include "ui/ThemeColors.h"

#include "ui/HexColor.h"

#include <QGuiApplication>
#include <QPalette>
#include <algorithm>
#include <cstdlib>

namespace {

QColor system(QPalette::ColorRole role)
{
    return QGuiApplication::palette().color(QPalette::Active, role);
}

// How far, in steps of one channel, a surface drawn on the window must be from the window colour
// to be seen: the light appearance's control background sits this far above its window.
constexpr int minimumSurfaceDistance = 10;

int distance(const QColor &a, const QColor &b)
{
    return std::max({std::abs(a.red() - b.red()), std::abs(a.green() - b.green()),
                     std::abs(a.blue() - b.blue())});
}

QColor shifted(const QColor &color, int step)
{
    return QColor(std::clamp(color.red() + step, 0, 255), std::clamp(color.green() + step, 0, 255),
                  std::clamp(color.blue() + step, 0, 255), color.alpha());
}

// A surface that lies on the window (a bubble, a card, a tool group). Many palettes give the
// window and the controls one colour (Qt's own does, with no desktop theme loaded), which would
// hide the surface; then it is the window colour moved the minimum distance away, the way the
// palette leans (lighter when it does not), or the other way when there is no room.
QColor onWindow(QPalette::ColorRole role)
{
    const QColor surface = system(role);
    const QColor window = system(QPalette::Window);
    if (distance(surface, window) >= minimumSurfaceDistance)
        return surface;
    const bool darker = surface.red() + surface.green() + surface.blue() <
                        window.red() + window.green() + window.blue();
    const int step = darker ? -minimumSurfaceDistance : minimumSurfaceDistance;
    const QColor moved = shifted(window, step);
    return distance(moved, window) >= minimumSurfaceDistance ? moved : shifted(window, -step);
}

const QColor &brand()
{
    static const QColor color = colorFromHex(u"c17f59");
    return color;
}

} // namespace

QColor ThemeColors::text()
{
    return system(QPalette::WindowText);
}

QColor ThemeColors::textSecondary()
{
    return system(QPalette::PlaceholderText);
}

QColor ThemeColors::textOnAccent()
{
    return QColor(Qt::white);
}

QColor ThemeColors::backgroundRoot()
{
    return system(QPalette::Window);
}

QColor ThemeColors::backgroundDefault()
{
    return onWindow(QPalette::Button);
}

QColor ThemeColors::backgroundSecondary()
{
    return onWindow(QPalette::Base);
}

QColor ThemeColors::border()
{
    return system(QPalette::Mid);
}

QColor ThemeColors::accent()
{
    return brand();
}

QColor ThemeColors::userBubble()
{
    return brand();
}

QColor ThemeColors::assistantBubble()
{
    return backgroundDefault();
}

QColor ThemeColors::toolCardBackground()
{
    return backgroundSecondary();
}

QColor ThemeColors::toolCardBorder()
{
    return border();
}

QColor ThemeColors::success()
{
    static const QColor color = colorFromHex(u"4CAF50");
    return color;
}

QColor ThemeColors::error()
{
    static const QColor color = colorFromHex(u"E53935");
    return color;
}

QColor ThemeColors::warning()
{
    static const QColor color = colorFromHex(u"FF9800");
    return color;
}
