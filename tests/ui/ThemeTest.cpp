#include "ui/Theme.h"

#include <QGuiApplication>
#include <QMetaProperty>
#include <QPalette>
#include <gtest/gtest.h>

namespace {

// What a view's binding such as `Theme.colors.text` reads.
QVariant read(const Theme &theme, const char *group, const char *name)
{
    const QVariant value = theme.property(group);
    const QMetaObject *meta = value.metaType().metaObject();
    return meta->property(meta->indexOfProperty(name)).readOnGadget(value.constData());
}

TEST(Theme, ViewsReadGroupsByNameAndSeeAnnouncedPaletteChanges)
{
    const QPalette original = QGuiApplication::palette();
    Theme theme;
    int changes = 0;
    QObject::connect(&theme, &Theme::colorsChanged, [&changes] { ++changes; });
    QPalette palette;
    palette.setColor(QPalette::WindowText, QColor(1, 2, 3));
    palette.setColor(QPalette::Mid, QColor(4, 5, 6));
    QGuiApplication::setPalette(palette);

    EXPECT_GE(changes, 1);
    EXPECT_EQ(read(theme, "colors", "text").value<QColor>(), QColor(1, 2, 3));
    EXPECT_EQ(read(theme, "colors", "toolCardBorder").value<QColor>(), QColor(4, 5, 6));
    EXPECT_EQ(read(theme, "spacing", "xxl").toDouble(), Theme::Spacing::xxl);
    EXPECT_EQ(read(theme, "typography", "headline").value<QFont>(),
              Theme::Typography::headline.font());
    EXPECT_EQ(read(theme, "animation", "spring").value<AnimationCurve>().response,
              Theme::Animation::spring.response);
    QGuiApplication::setPalette(original);
}

} // namespace
