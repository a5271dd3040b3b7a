#pragma once

#include "ui/ThemeAnimation.h"
#include "ui/ThemeColors.h"
#include "ui/ThemeCornerRadius.h"
#include "ui/ThemeSpacing.h"
#include "ui/ThemeTypography.h"

#include <QObject>
#include <QtQml/qqmlregistration.h>

class QEvent;

// The visual constants of every screen, read by group and name: Theme::Colors::accent(),
// Theme::Spacing::md, Theme::Typography::body.font(). An instance exposes the same groups as
// properties for the views; `colors` changes whenever the desktop palette does.
class Theme : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON
    Q_PROPERTY(ThemeColors colors READ colors NOTIFY colorsChanged)
    Q_PROPERTY(ThemeSpacing spacing READ spacing CONSTANT)
    Q_PROPERTY(ThemeCornerRadius cornerRadius READ cornerRadius CONSTANT)
    Q_PROPERTY(ThemeTypography typography READ typography CONSTANT)
    Q_PROPERTY(ThemeAnimation animation READ animation CONSTANT)

public:
    using Colors = ThemeColors;
    using Spacing = ThemeSpacing;
    using CornerRadius = ThemeCornerRadius;
    using Typography = ThemeTypography;
    using Animation = ThemeAnimation;

    explicit Theme(QObject *parent = nullptr);

    ThemeColors colors() const { return {}; }
    ThemeSpacing spacing() const { return {}; }
    ThemeCornerRadius cornerRadius() const { return {}; }
    ThemeTypography typography() const { return {}; }
    ThemeAnimation animation() const { return {}; }

signals:
    void colorsChanged();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
};
