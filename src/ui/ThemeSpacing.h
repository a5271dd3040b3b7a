#pragma once

#include <QObject>
#include <QtQml/qqmlregistration.h>

// Spacing scale, in points.
class ThemeSpacing
{
    Q_GADGET
    QML_VALUE_TYPE(themeSpacing)
    Q_PROPERTY(double xs MEMBER xs CONSTANT)
    Q_PROPERTY(double sm MEMBER sm CONSTANT)
    Q_PROPERTY(double md MEMBER md CONSTANT)
    Q_PROPERTY(double lg MEMBER lg CONSTANT)
    Q_PROPERTY(double xl MEMBER xl CONSTANT)
    Q_PROPERTY(double xxl MEMBER xxl CONSTANT)
    Q_PROPERTY(double xxxl MEMBER xxxl CONSTANT)
    Q_PROPERTY(double xxxxl MEMBER xxxxl CONSTANT)
    Q_PROPERTY(double xxxxxl MEMBER xxxxxl CONSTANT)

public:
    static constexpr double xs = 4;
    static constexpr double sm = 8;
    static constexpr double md = 12;
    static constexpr double lg = 16;
    static constexpr double xl = 20;
    static constexpr double xxl = 24;
    static constexpr double xxxl = 32;
    static constexpr double xxxxl = 40;
    static constexpr double xxxxxl = 48;
};
