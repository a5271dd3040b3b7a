#pragma once

#include <QObject>
#include <QtQml/qqmlregistration.h>

// Corner radius scale, in points. Shares member names with the spacing scale, not values.
class ThemeCornerRadius
{
    Q_GADGET
    QML_VALUE_TYPE(themeCornerRadius)
    Q_PROPERTY(double xs MEMBER xs CONSTANT)
    Q_PROPERTY(double sm MEMBER sm CONSTANT)
    Q_PROPERTY(double md MEMBER md CONSTANT)
    Q_PROPERTY(double lg MEMBER lg CONSTANT)
    Q_PROPERTY(double xl MEMBER xl CONSTANT)
    Q_PROPERTY(double xxl MEMBER xxl CONSTANT)

public:
    static constexpr double xs = 8;
    static constexpr double sm = 12;
    static constexpr double md = 16;
    static constexpr double lg = 24;
    static constexpr double xl = 30;
    static constexpr double xxl = 40;
};
