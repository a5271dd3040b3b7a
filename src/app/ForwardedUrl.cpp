#include "app/ForwardedUrl.h"

#include "model/Utf8Text.h"

#include <QChar>
#include <QString>
#include <algorithm>

namespace ForwardedUrl {

std::optional<QUrl> parse(QByteArrayView line)
{
    if (line.isEmpty() || line.size() > maximumLineLength)
        return std::nullopt;

    const std::optional<QString> decoded = Utf8Text::decoded(line);
    if (!decoded)
        return std::nullopt;
    const QString &text = *decoded;

    const bool hasControlCharacter = std::any_of(text.cbegin(), text.cend(), [](QChar character) {
        return character.category() == QChar::Other_Control;
    });
    if (hasControlCharacter)
        return std::nullopt;

    QUrl url(text, QUrl::StrictMode);
    if (!url.isValid() || url.isRelative())
        return std::nullopt;
    return url;
}

} // namespace ForwardedUrl
