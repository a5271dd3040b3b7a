#include "chat/PromptService.h"

#include "model/Excerpt.h"
#include "model/Graphemes.h"
#include "model/Log.h"
#include "model/SharedInstance.h"
#include "model/Timestamp.h"
#include "model/Utf8Text.h"
#include "net/HttpClient.h"
#include "net/HttpRequest.h"
#include "net/HttpResponse.h"
#include "net/RedactedUrl.h"
#include "net/TransportError.h"

#include <QUrl>
#include <QVariant>
#include <nlohmann/json.hpp>
#include <utility>

namespace PromptService {

namespace {

// How much of an unusable answer the log shows, in characters.
constexpr qsizetype loggedResponseLength = 200;

const QString keyPrefix = QStringLiteral("cached_prompts");

QString kindName(PromptType type)
{
    const std::string_view raw = rawValue(type);
    return QString::fromLatin1(raw.data(), qsizetype(raw.size()));
}

void log(const QString &message)
{
    Log::write(QStringLiteral("[PromptService] ") + message);
}

QString expiryKey(const QString &promptKey)
{
    return promptKey + QStringLiteral("_expiry");
}

std::optional<QUrl> promptsUrl(const QString &apiBase, const QString &kind,
                               const QString &workosUserId)
{
    QUrl url(apiBase + QStringLiteral("/api/v1/prompts"), QUrl::StrictMode);
    if (!url.isValid() || url.isRelative())
        return std::nullopt;
    url.setQuery(QStringLiteral("type=") + QString::fromLatin1(QUrl::toPercentEncoding(kind)) +
                 QStringLiteral("&workos_user_id=") +
                 QString::fromLatin1(QUrl::toPercentEncoding(workosUserId)));
    return url;
}

} // namespace

QSettings &userSettings()
{
    return SharedInstance<QSettings>::get();
}

QString cacheKey(PromptType type, const QString &workosUserId)
{
    return keyPrefix + QLatin1Char('_') + kindName(type) + QLatin1Char('_') + workosUserId;
}

QCoro::Task<QString> fetchPrompt(PromptType type, QString workosUserId, QSettings &settings,
                                 QString apiBase, QString apiToken)
{
    const QString kind = kindName(type);
    // 1. The user is named by a mark: the log tells no one who is using the client.
    log(QStringLiteral("fetchPrompt called for type: ") + kind + QStringLiteral(", userId: ") +
        QLatin1StringView(RedactedUrl::mark));
    // 2. A valid cached prompt needs no request.
    if (auto cached = cachedPrompt(type, workosUserId, settings)) {
        log(QStringLiteral("Using cached prompt for ") + kind);
        co_return std::move(*cached);
    }
    // 3.
    log(QStringLiteral("Cache miss - fetching from API"));
    // 4. The backend's prompt, kept for the next hour.
    if (auto fetched = co_await fetchFromAPI(type, workosUserId, apiBase, apiToken)) {
        cachePrompt(*fetched, type, workosUserId, settings);
        co_return std::move(*fetched);
    }
    // 5. Nothing usable: the built-in prompt.
    log(QStringLiteral("Using fallback prompt for ") + kind);
    co_return fallbackPrompt(type);
}

void clearCache(QSettings &settings)
{
    const QStringList keys = settings.allKeys();
    for (const QString &key : keys) {
        if (key.startsWith(keyPrefix))
            settings.remove(key);
    }
    log(QStringLiteral("Cache cleared"));
}

std::optional<QString> cachedPrompt(PromptType type, const QString &workosUserId,
                                    QSettings &settings)
{
    const QString key = cacheKey(type, workosUserId);
    // The settings file keeps no types: a number comes back as its text.
    const QVariant expiry = settings.value(expiryKey(key));
    bool isNumber = false;
    const double expiresAt = expiry.toDouble(&isNumber);
    if (!expiry.isValid() || !isNumber || !(Timestamp::now() < expiresAt))
        return std::nullopt;
    const QVariant prompt = settings.value(key);
    if (prompt.typeId() != QMetaType::QString)
        return std::nullopt;
    return prompt.toString();
}

void cachePrompt(const QString &prompt, PromptType type, const QString &workosUserId,
                 QSettings &settings)
{
    const QString key = cacheKey(type, workosUserId);
    settings.setValue(key, prompt);
    settings.setValue(expiryKey(key), Timestamp::now() + cacheLifetime);
    log(QStringLiteral("Cached prompt for ") + kindName(type));
}

QCoro::Task<std::optional<QString>> fetchFromAPI(PromptType type, QString workosUserId,
                                                 QString apiBase, QString apiToken)
{
    const QString kind = kindName(type);
    // 1. The endpoint with the kind and the user as query items.
    const std::optional<QUrl> url = promptsUrl(apiBase, kind, workosUserId);
    if (!url) {
        log(QStringLiteral("Failed to build URL"));
        co_return std::nullopt;
    }
    // 2.
    log(QStringLiteral("Fetching from: ") + RedactedUrl::of(*url));
    // 3. A plain GET with the backend token.
    HttpRequest request(*url);
    request.setHeader("Authorization", "Bearer " + apiToken.toUtf8());
    // 4. The whole body.
    HttpResponse response;
    try {
        response = co_await HttpClient::data(std::move(request));
    } catch (const TransportError &error) {
        log(QStringLiteral("Error fetching ") + kind + QStringLiteral(" prompt: ") +
            QString::fromUtf8(error.what()));
        co_return std::nullopt;
    }
    // 5. Only an HTTP answer has a status.
    if (!response.statusCode) {
        log(QStringLiteral("Invalid response type"));
        co_return std::nullopt;
    }
    // 6.
    log(QStringLiteral("Response status: ") + QString::number(*response.statusCode));
    // 7. Any other status carries no prompt.
    if (*response.statusCode != 200) {
        if (const auto body = Utf8Text::decoded(response.body))
            log(QStringLiteral("Error body: ") + Excerpt::of(*body));
        co_return std::nullopt;
    }
    // 8. The body must be JSON.
    nlohmann::json json;
    try {
        json = nlohmann::json::parse(response.body.cbegin(), response.body.cend());
    } catch (const nlohmann::json::exception &error) {
        // Not only syntax: a number too large for a double is refused as out of range. The
        // parser's message quotes the token it stopped in, which may be most of the body.
        log(QStringLiteral("Error fetching ") + kind + QStringLiteral(" prompt: ") +
            Excerpt::of(QString::fromUtf8(error.what())));
        co_return std::nullopt;
    }
    // 9. An object whose "prompt" is a string.
    if (json.is_object()) {
        const auto prompt = json.find("prompt");
        if (prompt != json.end() && prompt->is_string()) {
            QString text = QString::fromStdString(prompt->get_ref<const std::string &>());
            log(QStringLiteral("Successfully fetched ") + kind +
                QStringLiteral(" prompt (length: ") + QString::number(Graphemes::count(text)) +
                QLatin1Char(')'));
            co_return text;
        }
    }
    // 10. Anything else is not a prompt.
    log(QStringLiteral("Failed to parse ") + kind + QStringLiteral(" prompt response"));
    if (const auto body = Utf8Text::decoded(response.body)) {
        log(QStringLiteral("Raw response: ") +
            Graphemes::prefix(*body, loggedResponseLength).toString());
    }
    co_return std::nullopt;
}

QString fallbackPrompt(PromptType type)
{
    switch (type) {
    case PromptType::text:
        return QStringLiteral(
            "# Vessa Assistant\n\nYou are Vessa, a personal AI assistant that helps users track "
            "and organize their life data.\n\nWhen responding:\n- Be conversational and "
            "helpful\n- Keep responses concise\n- Be warm and supportive\n\nKeep responses under "
            "1600 characters.");
    case PromptType::voice:
        return QStringLiteral(
            "You are Vessa, a personal AI voice assistant.\n\n## VOICE CALL BEHAVIOR:\n- Speak "
            "in SHORT, NATURAL sentences (5-10 words max)\n- Keep talking during tool calls to "
            "prevent dead air\n- Be conversational and warm\n\nKeep tone positive and "
            "supportive.");
    }
    return {};
}

} // namespace PromptService
