#include "ui/ThemeColors.h"

#include "ui/HexColor.h"

#include <QGuiApplication>
#include <QPalette>

namespace {

QColor system(QPalette::ColorRole role)
{
    return QGuiApplication::palette().color(QPalette::Active, role);
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
    return system(QPalette::Button);
}

QColor ThemeColors::backgroundSecondary()
{
    return system(QPalette::Base);
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
