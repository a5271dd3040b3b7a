#include "identity/AuthorizationChallenge.h"

#include "identity/AuthURLHelper.h"

#include <QByteArray>
#include <QCryptographicHash>
#include <QRandomGenerator>
#include <QtGlobal>
#include <array>

namespace {

constexpr auto base64url = QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals;

template<std::size_t Words> QString randomText()
{
    std::array<quint32, Words> words{};
    QRandomGenerator::system()->fillRange(words.data(), qsizetype{Words});
    const QByteArray bytes(reinterpret_cast<const char *>(words.data()),
                           qsizetype{Words * sizeof(quint32)});
    return QString::fromLatin1(bytes.toBase64(base64url));
}

} // namespace

AuthorizationChallenge AuthorizationChallenge::generate()
{
    return AuthorizationChallenge{randomText<32 / sizeof(quint32)>(),
                                  randomText<64 / sizeof(quint32)>()};
}

QString AuthorizationChallenge::codeChallenge(const QString &verifier)
{
    const QByteArray digest =
        QCryptographicHash::hash(verifier.toUtf8(), QCryptographicHash::Sha256);
    return QString::fromLatin1(digest.toBase64(base64url));
}

QUrl AuthorizationChallenge::appliedTo(const QUrl &authorizeURL) const
{
    return AuthURLHelper::appendingQueryItems(
        authorizeURL, {
                          {QStringLiteral("state"), state},
                          {QStringLiteral("code_challenge"), codeChallenge(codeVerifier)},
                          {QStringLiteral("code_challenge_method"), QStringLiteral("S256")},
                      });
}
