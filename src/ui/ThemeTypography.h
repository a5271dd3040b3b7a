#pragma once

#include "ui/TextStyle.h"

#include <QFont>
#include <QObject>
#include <QtQml/qqmlregistration.h>

// The ten text styles. Sizes are the desktop defaults of the original design's dynamic styles.
class ThemeTypography
{
    Q_GADGET
    QML_VALUE_TYPE(themeTypography)
    Q_PROPERTY(QFont largeTitle READ largeTitleFont CONSTANT)
    Q_PROPERTY(QFont title READ titleFont CONSTANT)
    Q_PROPERTY(QFont title2 READ title2Font CONSTANT)
    Q_PROPERTY(QFont title3 READ title3Font CONSTANT)
    Q_PROPERTY(QFont headline READ headlineFont CONSTANT)
    Q_PROPERTY(QFont body READ bodyFont CONSTANT)
    Q_PROPERTY(QFont callout READ calloutFont CONSTANT)
    Q_PROPERTY(QFont subheadline READ subheadlineFont CONSTANT)
    Q_PROPERTY(QFont footnote READ footnoteFont CONSTANT)
    Q_PROPERTY(QFont caption READ captionFont CONSTANT)

public:
    static constexpr TextStyle largeTitle{26, QFont::Bold};
    static constexpr TextStyle title{22, QFont::DemiBold};
    static constexpr TextStyle title2{17, QFont::DemiBold};
    static constexpr TextStyle title3{15, QFont::Medium};
    static constexpr TextStyle headline{13, QFont::DemiBold};
    static constexpr TextStyle body{13, QFont::Normal};
    static constexpr TextStyle callout{12, QFont::Normal};
    static constexpr TextStyle subheadline{11, QFont::Normal};
    static constexpr TextStyle footnote{10, QFont::Normal};
    static constexpr TextStyle caption{10, QFont::Normal};

    static QFont largeTitleFont() { return largeTitle.font(); }
    static QFont titleFont() { return title.font(); }
    static QFont title2Font() { return title2.font(); }
    static QFont title3Font() { return title3.font(); }
    static QFont headlineFont() { return headline.font(); }
    static QFont bodyFont() { return body.font(); }
    static QFont calloutFont() { return callout.font(); }
    static QFont subheadlineFont() { return subheadline.font(); }
    static QFont footnoteFont() { return footnote.font(); }
    static QFont captionFont() { return caption.font(); }
};
