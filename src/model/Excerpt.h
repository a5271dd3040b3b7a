#pragma once

#include <QString>
#include <QStringView>
#include <QtGlobal>

// The head of a text that came from elsewhere (an error body, a server's message), short enough
// for an alert or a log line: a server that answers with megabytes must not make either huge.
namespace Excerpt {

inline constexpr qsizetype defaultLength = 300;

// The text itself when it has at most `length` characters; otherwise its first `length`
// characters followed by "…", and never more than a few code units per character whatever
// the characters hold. Never splits a surrogate pair.
QString of(QStringView text, qsizetype length = defaultLength);

} // namespace Excerpt
