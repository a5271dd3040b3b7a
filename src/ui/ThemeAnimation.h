#pragma once

#include "ui/AnimationCurve.h"

#include <QObject>
#include <QtQml/qqmlregistration.h>

// The three animation curves of every screen.
class ThemeAnimation
{
    Q_GADGET
    QML_VALUE_TYPE(themeAnimation)
    Q_PROPERTY(AnimationCurve standard MEMBER standard CONSTANT)
    Q_PROPERTY(AnimationCurve quick MEMBER quick CONSTANT)
    Q_PROPERTY(AnimationCurve spring MEMBER spring CONSTANT)

public:
    static constexpr AnimationCurve standard = AnimationCurve::easeInOut(0.25);
    static constexpr AnimationCurve quick = AnimationCurve::easeInOut(0.15);
    static constexpr AnimationCurve spring = AnimationCurve::spring(0.35, 0.7, 0);
};
