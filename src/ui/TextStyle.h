#pragma once

#include <QFont>

// A text style: size and weight, on the application's default font family. Sizes are in the
// design's points, which are the popover's logical pixels like every other size of the screens.
struct TextStyle
{
    double pointSize;
    QFont::Weight weight;

    // The style as a font; `weight` overrides the style's own, as table headers do.
    QFont font() const { return font(weight); }
    QFont font(QFont::Weight otherWeight) const
    {
        QFont result;
        result.setPixelSize(qRound(pointSize));
        result.setWeight(otherWeight);
        return result;
    }
};
