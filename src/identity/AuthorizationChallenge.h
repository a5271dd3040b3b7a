#pragma once

#include <QString>
#include <QUrl>

// What binds one browser sign-in to its callback and its code exchange: a random state that the
// callback must bring back, so that a URL forged by another program cannot complete the sign-in,
// and a proof-key pair (RFC 7636, S256), so that a code intercepted on its way to us is useless
// without the verifier that never leaves the process.
struct AuthorizationChallenge
{
    // A fresh state (32 random bytes) and verifier (64 random bytes) from the system's secure
    // source, both base64url without padding.
    static AuthorizationChallenge generate();
    // base64url without padding of the SHA-256 of the verifier.
    static QString codeChallenge(const QString &verifier);

    // The authorize URL followed by "state", "code_challenge" and "code_challenge_method".
    QUrl appliedTo(const QUrl &authorizeURL) const;

    QString state;
    QString codeVerifier;
};
