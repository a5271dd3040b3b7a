#pragma once

#include <QFont>

// A text style: point size and weight, on the application's default font family.
struct TextStyle
{
    double pointSize;
    QFont::Weight weight;

    // The style as a font; `weight` overrides the style's own, as table headers do.
    QFont font() const { return font(weight); }
    QFont font(QFont::Weight otherWeight) const
    {
        QFont result;
        result.setPointSizeF(pointSize);
        result.setWeight(otherWeight);
        return result;
    }
};
