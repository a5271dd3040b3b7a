#include "app/ForwardedUrl.h"

#include <QChar>
#include <QString>
#include <QStringDecoder>
#include <algorithm>

namespace ForwardedUrl {

std::optional<QUrl> parse(QByteArrayView line)
{
    if (line.isEmpty() || line.size() > maximumLineLength)
        return std::nullopt;

    // Stateless, so that a sequence cut off at the end counts as an error instead of waiting for
    // more bytes; a leading byte-order mark is kept as a character rather than silently dropped.
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless |
                                                     QStringDecoder::Flag::ConvertInitialBom);
    const QString text = decoder.decode(line);
    if (decoder.hasError())
        return std::nullopt;

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
