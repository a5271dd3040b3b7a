#pragma once

#include <QList>
#include <QString>
#include <QUrl>
#include <optional>
#include <utility>

// The URL rules of the browser sign-in, free of any service state.
struct AuthURLHelper
{
    using QueryItems = QList<std::pair<QString, QString>>;

    // The authorize URL: the base with exactly the query items client_id, redirect_uri,
    // response_type and provider, in that order. Nothing when the base is not an absolute URL.
    static std::optional<QUrl> buildAuthURL(const QString &baseURL, const QString &clientID,
                                            const QString &redirectURI, const QString &responseType,
                                            const QString &provider);

    // The value of the first query item named "code", percent-decoded; an empty value is the
    // empty string. Nothing without a query, without such an item, or when it has no "=".
    static std::optional<QString> extractCode(const QUrl &url);

    // True when the URL's scheme is the expected one, ignoring case.
    static bool isValidCallback(const QUrl &url, const QString &expectedScheme);

    // The URL with the items appended after any query it already has. Names and values are
    // percent-encoded wherever a query needs it, "+" included, so that no server reads a space;
    // ":" and "/" stay as they are, which a query allows.
    static QUrl appendingQueryItems(QUrl url, const QueryItems &items);

    // The first item of that name, as extractCode reads "code".
    static std::optional<QString> firstQueryItemValue(const QUrl &url, const QString &name);
};
