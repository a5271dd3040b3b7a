#pragma once

#include <QByteArrayView>
#include <QString>
#include <optional>

// Bytes that came from elsewhere (a reply body, a stored file, a socket line) as text.
namespace Utf8Text {

// The text when the bytes are well-formed UTF-8, none otherwise. A sequence cut off at the end is
// malformed, and a leading byte-order mark is kept as a character rather than dropped.
std::optional<QString> decoded(QByteArrayView bytes);

} // namespace Utf8Text
