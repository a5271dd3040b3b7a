#include "ui/Theme.h"

#include <QGuiApplication>
#include <QMetaProperty>
#include <QPalette>
#include <algorithm>
#include <cstdlib>
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

// The largest step of one channel between two colours, 0 to 255.
int distance(const QColor &a, const QColor &b)
{
    return std::max({std::abs(a.red() - b.red()), std::abs(a.green() - b.green()),
                     std::abs(a.blue() - b.blue())});
}

// A palette whose window, control and text backgrounds are one colour, as Qt's own palette gives
// the window and the controls when no desktop theme is loaded.
QPalette flat(const char *hex)
{
    QPalette palette;
    for (const QPalette::ColorRole role : {QPalette::Window, QPalette::Button, QPalette::Base})
        palette.setColor(role, QColor(QString::fromLatin1(hex)));
    return palette;
}

class ThemeSurfaces : public testing::TestWithParam<const char *>
{
protected:
    ~ThemeSurfaces() override { QGuiApplication::setPalette(original); }
    const QPalette original = QGuiApplication::palette();
};

TEST_P(ThemeSurfaces, BubbleAndToolGroupStandOutFromTheWindowBehindThem)
{
    QGuiApplication::setPalette(flat(GetParam()));
    const QColor window = Theme::Colors::backgroundRoot();

    EXPECT_EQ(window, QColor(QString::fromLatin1(GetParam())));
    EXPECT_GE(distance(Theme::Colors::assistantBubble(), window), 10);
    EXPECT_GE(distance(Theme::Colors::backgroundDefault(), window), 10);
    EXPECT_GE(distance(Theme::Colors::backgroundSecondary(), window), 10);
    EXPECT_GE(distance(Theme::Colors::toolCardBackground(), window), 10);
}

INSTANTIATE_TEST_SUITE_P(FlatPalettes, ThemeSurfaces,
                         testing::Values("#efefef", "#1e1e1e", "#ffffff", "#000000", "#f8f2fa"));

} // namespace
