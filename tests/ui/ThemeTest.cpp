#include "ui/Theme.h"

#include <QGuiApplication>
#include <QMetaProperty>
#include <QPalette>
#include <gtest/gtest.h>

namespace {

TEST(Theme, SpacingAndCornerRadiusScales)
{
    EXPECT_EQ(Theme::Spacing::xs, 4);
    EXPECT_EQ(Theme::Spacing::sm, 8);
    EXPECT_EQ(Theme::Spacing::md, 12);
    EXPECT_EQ(Theme::Spacing::lg, 16);
    EXPECT_EQ(Theme::Spacing::xl, 20);
    EXPECT_EQ(Theme::Spacing::xxl, 24);
    EXPECT_EQ(Theme::Spacing::xxxl, 32);
    EXPECT_EQ(Theme::Spacing::xxxxl, 40);
    EXPECT_EQ(Theme::Spacing::xxxxxl, 48);

    EXPECT_EQ(Theme::CornerRadius::xs, 8);
    EXPECT_EQ(Theme::CornerRadius::sm, 12);
    EXPECT_EQ(Theme::CornerRadius::md, 16);
    EXPECT_EQ(Theme::CornerRadius::lg, 24);
    EXPECT_EQ(Theme::CornerRadius::xl, 30);
    EXPECT_EQ(Theme::CornerRadius::xxl, 40);
}

TEST(Theme, FixedColours)
{
    EXPECT_EQ(Theme::Colors::accent(), QColor(193, 127, 89));
    EXPECT_EQ(Theme::Colors::userBubble(), Theme::Colors::accent());
    EXPECT_EQ(Theme::Colors::success(), QColor(76, 175, 80));
    EXPECT_EQ(Theme::Colors::error(), QColor(229, 57, 53));
    EXPECT_EQ(Theme::Colors::warning(), QColor(255, 152, 0));
    EXPECT_EQ(Theme::Colors::textOnAccent(), QColor(Qt::white));
}

// A palette whose roles all differ, so a colour read from the wrong role shows.
QPalette distinctPalette()
{
    QPalette palette;
    const QPalette::ColorRole roles[] = {QPalette::WindowText, QPalette::PlaceholderText,
                                         QPalette::Window,     QPalette::Button,
                                         QPalette::Base,       QPalette::Mid};
    int shade = 10;
    for (const QPalette::ColorRole role : roles) {
        palette.setColor(role, QColor(shade, 255 - shade, shade / 2));
        shade += 30;
    }
    return palette;
}

TEST(Theme, SystemColoursFollowThePalette)
{
    const QPalette original = QGuiApplication::palette();
    const QPalette palette = distinctPalette();
    QGuiApplication::setPalette(palette);

    EXPECT_EQ(Theme::Colors::text(), palette.color(QPalette::WindowText));
    EXPECT_EQ(Theme::Colors::textSecondary(), palette.color(QPalette::PlaceholderText));
    EXPECT_EQ(Theme::Colors::backgroundRoot(), palette.color(QPalette::Window));
    EXPECT_EQ(Theme::Colors::backgroundDefault(), palette.color(QPalette::Button));
    EXPECT_EQ(Theme::Colors::assistantBubble(), palette.color(QPalette::Button));
    EXPECT_EQ(Theme::Colors::backgroundSecondary(), palette.color(QPalette::Base));
    EXPECT_EQ(Theme::Colors::toolCardBackground(), palette.color(QPalette::Base));
    EXPECT_EQ(Theme::Colors::border(), palette.color(QPalette::Mid));
    EXPECT_EQ(Theme::Colors::toolCardBorder(), palette.color(QPalette::Mid));

    QGuiApplication::setPalette(original);
}

TEST(Theme, AnnouncesColourChangesWhenThePaletteChanges)
{
    const QPalette original = QGuiApplication::palette();
    Theme theme;
    int changes = 0;
    QObject::connect(&theme, &Theme::colorsChanged, [&changes] { ++changes; });

    QGuiApplication::setPalette(distinctPalette());
    EXPECT_GE(changes, 1);

    QGuiApplication::setPalette(original);
}

TEST(Theme, TextStyles)
{
    struct Style
    {
        TextStyle style;
        double size;
        QFont::Weight weight;
    };
    const Style styles[] = {
        {Theme::Typography::largeTitle, 26, QFont::Bold},
        {Theme::Typography::title, 22, QFont::DemiBold},
        {Theme::Typography::title2, 17, QFont::DemiBold},
        {Theme::Typography::title3, 15, QFont::Medium},
        {Theme::Typography::headline, 13, QFont::DemiBold},
        {Theme::Typography::body, 13, QFont::Normal},
        {Theme::Typography::callout, 12, QFont::Normal},
        {Theme::Typography::subheadline, 11, QFont::Normal},
        {Theme::Typography::footnote, 10, QFont::Normal},
        {Theme::Typography::caption, 10, QFont::Normal},
    };
    for (const Style &s : styles) {
        const QFont font = s.style.font();
        EXPECT_EQ(font.pointSizeF(), s.size);
        EXPECT_EQ(font.weight(), s.weight);
    }
    const QFont header = Theme::Typography::caption.font(QFont::DemiBold);
    EXPECT_EQ(header.pointSizeF(), 10);
    EXPECT_EQ(header.weight(), QFont::DemiBold);
}

TEST(Theme, Animations)
{
    EXPECT_FALSE(Theme::Animation::standard.isSpring);
    EXPECT_EQ(Theme::Animation::standard.easing, QEasingCurve::InOutQuad);
    EXPECT_EQ(Theme::Animation::standard.durationMilliseconds(), 250);
    EXPECT_EQ(Theme::Animation::quick.easing, QEasingCurve::InOutQuad);
    EXPECT_EQ(Theme::Animation::quick.durationMilliseconds(), 150);
    EXPECT_TRUE(Theme::Animation::spring.isSpring);
    EXPECT_EQ(Theme::Animation::spring.response, 0.35);
    EXPECT_EQ(Theme::Animation::spring.dampingFraction, 0.7);
    EXPECT_EQ(Theme::Animation::spring.blendDuration, 0);
}

// Views read the groups by property name; the values must be the C++ constants.
template<typename Gadget> QVariant gadgetProperty(const QVariant &group, const char *name)
{
    const QMetaObject &meta = Gadget::staticMetaObject;
    const int index = meta.indexOfProperty(name);
    EXPECT_GE(index, 0) << name;
    const Gadget gadget = group.value<Gadget>();
    return meta.property(index).readOnGadget(&gadget);
}

TEST(Theme, GroupsAreReadableByPropertyName)
{
    Theme theme;
    EXPECT_EQ(gadgetProperty<ThemeSpacing>(theme.property("spacing"), "xxl").toDouble(), 24);
    EXPECT_EQ(gadgetProperty<ThemeCornerRadius>(theme.property("cornerRadius"), "xs").toDouble(),
              8);
    EXPECT_EQ(gadgetProperty<ThemeColors>(theme.property("colors"), "accent").value<QColor>(),
              QColor(193, 127, 89));
    EXPECT_EQ(gadgetProperty<ThemeColors>(theme.property("colors"), "text").value<QColor>(),
              Theme::Colors::text());
    EXPECT_EQ(
        gadgetProperty<ThemeTypography>(theme.property("typography"), "headline").value<QFont>(),
        Theme::Typography::headline.font());
    const auto spring = gadgetProperty<ThemeAnimation>(theme.property("animation"), "spring")
                            .value<AnimationCurve>();
    EXPECT_EQ(spring.response, 0.35);
    EXPECT_EQ(
        AnimationCurve::staticMetaObject
            .property(AnimationCurve::staticMetaObject.indexOfProperty("durationMilliseconds"))
            .readOnGadget(&Theme::Animation::standard)
            .toInt(),
        250);
}

} // namespace
