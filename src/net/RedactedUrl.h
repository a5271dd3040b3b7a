#pragma once

#include <QString>
#include <QUrl>

// A URL as a log line may show it: what a reader of the log could use to act as the user (a code,
// a state, a token, a verifier, a secret, a password) or to tell who the user is (a user id) is
// replaced by a mark, and the rest stays as it was sent.
namespace RedactedUrl {

inline constexpr char mark[] = "[redacted]";

// The fully encoded URL without its password, where the value of every query or fragment item
// whose name is "code" or "state", or holds "token", "verifier", "secret", "password" or "user",
// is the mark.
QString of(const QUrl &url);

} // namespace RedactedUrl
