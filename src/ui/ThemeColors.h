#pragma once

#include <QColor>
#include <QObject>
#include <QtQml/qqmlregistration.h>

// The colours of every screen. System colours are read from the application palette each time
// they are asked for, so light and dark appearance follow the desktop; brand and status colours
// are fixed sRGB values.
class ThemeColors
{
    Q_GADGET
    QML_VALUE_TYPE(themeColors)
    Q_PROPERTY(QColor text READ text)
    Q_PROPERTY(QColor textSecondary READ textSecondary)
    Q_PROPERTY(QColor textOnAccent READ textOnAccent)
    Q_PROPERTY(QColor backgroundRoot READ backgroundRoot)
    Q_PROPERTY(QColor backgroundDefault READ backgroundDefault)
    Q_PROPERTY(QColor backgroundSecondary READ backgroundSecondary)
    Q_PROPERTY(QColor border READ border)
    Q_PROPERTY(QColor accent READ accent)
    Q_PROPERTY(QColor userBubble READ userBubble)
    Q_PROPERTY(QColor assistantBubble READ assistantBubble)
    Q_PROPERTY(QColor toolCardBackground READ toolCardBackground)
    Q_PROPERTY(QColor toolCardBorder READ toolCardBorder)
    Q_PROPERTY(QColor success READ success)
    Q_PROPERTY(QColor error READ error)
    Q_PROPERTY(QColor warning READ warning)

public:
    // Label.
    static QColor text();
    // Secondary label.
    static QColor textSecondary();
    static QColor textOnAccent();
    // Window background.
    static QColor backgroundRoot();
    // Control background; set apart from the window when the palette gives both one colour.
    static QColor backgroundDefault();
    // Text background; set apart from the window when the palette gives both one colour.
    static QColor backgroundSecondary();
    // Separator.
    static QColor border();
    static QColor accent();
    static QColor userBubble();
    static QColor assistantBubble();
    static QColor toolCardBackground();
    static QColor toolCardBorder();
    static QColor success();
    static QColor error();
    static QColor warning();
};
