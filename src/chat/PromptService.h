#pragma once

#include "Configuration.h"
#include "chat/PromptType.h"

#include <QCoroTask>
#include <QSettings>
#include <QString>
#include <optional>

// The system prompt for a conversation of a given kind and user: from a one-hour cache in the
// per-user settings, else from the backend, else a built-in prompt, so a caller always gets a
// usable one. All state lives in the settings; the operations run on the main thread, as the
// transport requires.
//
// Every operation takes the settings to use and the backend's base URL and token, defaulting to
// the per-user settings and the configured backend. Settings passed to fetchPrompt must outlive
// the fetch.
namespace PromptService {

// Seconds a fetched prompt stays valid.
inline constexpr double cacheLifetime = 3600.0;

// The per-user settings the application's owner made.
QSettings &userSettings();

// "cached_prompts_<kind>_<user>"; the expiry is stored under the same key followed by "_expiry".
QString cacheKey(PromptType type, const QString &workosUserId);

// Never fails: every failure of the fetch is logged and ends in the fallback.
QCoro::Task<QString> fetchPrompt(PromptType type, QString workosUserId,
                                 QSettings &settings = userSettings(),
                                 QString apiBase = QString::fromLatin1(Configuration::apiBase),
                                 QString apiToken = QString::fromLatin1(Configuration::apiToken));

// Removes every key that begins with "cached_prompts": the prompt and expiry entries of every
// kind and user. Keys of other components are left alone.
void clearCache(QSettings &settings = userSettings());

// The cached prompt while it is valid: until its expiry, exclusive. Expired entries stay until
// they are overwritten or cleared.
std::optional<QString> cachedPrompt(PromptType type, const QString &workosUserId,
                                    QSettings &settings = userSettings());

void cachePrompt(const QString &prompt, PromptType type, const QString &workosUserId,
                 QSettings &settings = userSettings());

// The backend's prompt, or none after logging why not.
QCoro::Task<std::optional<QString>>
fetchFromAPI(PromptType type, QString workosUserId,
             QString apiBase = QString::fromLatin1(Configuration::apiBase),
             QString apiToken = QString::fromLatin1(Configuration::apiToken));

QString fallbackPrompt(PromptType type);

} // namespace PromptService
