#include "identity/AuthURLHelper.h"

#include <QByteArray>
#include <QByteArrayList>

namespace {

QByteArray encodeQueryPart(const QString &text)
{
    return QUrl::toPercentEncoding(text, ":/");
}

QString decodeQueryPart(const QByteArray &encoded)
{
    return QUrl::fromPercentEncoding(encoded);
}

} // namespace

std::optional<QUrl> AuthURLHelper::buildAuthURL(const QString &baseURL, const QString &clientID,
                                                const QString &redirectURI,
                                                const QString &responseType,
                                                const QString &provider)
{
    QUrl base(baseURL, QUrl::StrictMode);
    if (!base.isValid() || base.isRelative())
        return std::nullopt;
    base.setQuery(QString());
    return appendingQueryItems(base, {
                                         {QStringLiteral("client_id"), clientID},
                                         {QStringLiteral("redirect_uri"), redirectURI},
                                         {QStringLiteral("response_type"), responseType},
                                         {QStringLiteral("provider"), provider},
                                     });
}

std::optional<QString> AuthURLHelper::extractCode(const QUrl &url)
{
    return firstQueryItemValue(url, QStringLiteral("code"));
}

bool AuthURLHelper::isValidCallback(const QUrl &url, const QString &expectedScheme)
{
    const QString scheme = url.scheme();
    return !scheme.isEmpty() && scheme.toLower() == expectedScheme.toLower();
}

QUrl AuthURLHelper::appendingQueryItems(QUrl url, const QueryItems &items)
{
    QByteArray query = url.query(QUrl::FullyEncoded).toLatin1();
    for (const auto &[name, value] : items) {
        if (!query.isEmpty())
            query += '&';
        query += encodeQueryPart(name) + '=' + encodeQueryPart(value);
    }
    url.setQuery(QString::fromLatin1(query), QUrl::StrictMode);
    return url;
}

std::optional<QString> AuthURLHelper::firstQueryItemValue(const QUrl &url, const QString &name)
{
    if (!url.isValid() || !url.hasQuery())
        return std::nullopt;
    const QByteArrayList items = url.query(QUrl::FullyEncoded).toLatin1().split('&');
    for (const QByteArray &item : items) {
        const qsizetype equals = item.indexOf('=');
        if (decodeQueryPart(item.left(equals < 0 ? item.size() : equals)) != name)
            continue;
        if (equals < 0)
            return std::nullopt;
        return decodeQueryPart(item.mid(equals + 1));
    }
    return std::nullopt;
}
