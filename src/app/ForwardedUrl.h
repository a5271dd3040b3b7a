#pragma once

#include <QByteArrayView>
#include <QUrl>
#include <QtGlobal>
#include <optional>

// What one start of the application hands to the running one: one absolute URL per line, in
// UTF-8, ended by "\n". Anyone who can reach the socket can send lines, so each is checked before
// it is believed.
namespace ForwardedUrl {

// Far above any callback URL; a peer that sends more without a newline is not forwarding a URL.
inline constexpr qsizetype maximumLineLength = 4096;

// The URL a line (without its newline) carries; nothing when the line is too long, is not valid
// UTF-8, holds a control character, or is not an absolute URL under strict parsing.
std::optional<QUrl> parse(QByteArrayView line);

} // namespace ForwardedUrl
