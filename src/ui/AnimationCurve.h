#pragma once

#include <QEasingCurve>
#include <QObject>
#include <QtQml/qqmlregistration.h>

// An animation: either an eased curve over a fixed duration, or a spring.
struct AnimationCurve
{
    Q_GADGET
    QML_VALUE_TYPE(animationCurve)
    Q_PROPERTY(bool isSpring MEMBER isSpring CONSTANT)
    Q_PROPERTY(QEasingCurve::Type easing MEMBER easing CONSTANT)
    Q_PROPERTY(double duration MEMBER duration CONSTANT)
    Q_PROPERTY(int durationMilliseconds READ durationMilliseconds CONSTANT)
    Q_PROPERTY(double response MEMBER response CONSTANT)
    Q_PROPERTY(double dampingFraction MEMBER dampingFraction CONSTANT)
    Q_PROPERTY(double blendDuration MEMBER blendDuration CONSTANT)

public:
    bool isSpring = false;
    QEasingCurve::Type easing = QEasingCurve::Linear;
    // Seconds; eased curves only.
    double duration = 0;
    // Seconds, fraction and seconds; springs only.
    double response = 0;
    double dampingFraction = 0;
    double blendDuration = 0;

    int durationMilliseconds() const { return static_cast<int>(duration * 1000 + 0.5); }

    static constexpr AnimationCurve easeInOut(double seconds)
    {
        return {false, QEasingCurve::InOutQuad, seconds, 0, 0, 0};
    }
    static constexpr AnimationCurve spring(double response, double dampingFraction,
                                           double blendDuration)
    {
        return {true, QEasingCurve::Linear, 0, response, dampingFraction, blendDuration};
    }
};
