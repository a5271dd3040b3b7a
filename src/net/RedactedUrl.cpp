#include "net/RedactedUrl.h"

#include <QLatin1StringView>
#include <QStringList>
#include <array>

namespace RedactedUrl {

namespace {

// QUrl keeps no letter percent-encoded, so the encoded name spells the name itself.
bool isSecret(const QString &encodedName)
{
    const QString name = encodedName.toLower();
    if (name == QLatin1StringView("code") || name == QLatin1StringView("state"))
        return true;
    static constexpr std::array<QLatin1StringView, 5> parts{
        QLatin1StringView("token"), QLatin1StringView("verifier"), QLatin1StringView("secret"),
        QLatin1StringView("password"), QLatin1StringView("user")};
    for (const QLatin1StringView part : parts) {
        if (name.contains(part))
            return true;
    }
    return false;
}

// Items of the form name=value separated by "&", as in a query, fully encoded.
QString redactedItems(const QString &encoded)
{
    QStringList items = encoded.split(QLatin1Char('&'));
    for (QString &item : items) {
        const qsizetype equals = item.indexOf(QLatin1Char('='));
        if (equals >= 0 && isSecret(item.left(equals)))
            item = item.left(equals + 1) + QLatin1StringView(mark);
    }
    return items.join(QLatin1Char('&'));
}

} // namespace

QString of(const QUrl &url)
{
    QString text = url.toString(QUrl::FullyEncoded | QUrl::RemovePassword | QUrl::RemoveQuery |
                                QUrl::RemoveFragment);
    if (url.hasQuery())
        text += QLatin1Char('?') + redactedItems(url.query(QUrl::FullyEncoded));
    if (url.hasFragment())
        text += QLatin1Char('#') + redactedItems(url.fragment(QUrl::FullyEncoded));
    return text;
}

} // namespace RedactedUrl
