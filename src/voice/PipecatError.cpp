#include "voice/PipecatError.h"

namespace {

QString describe(PipecatError::Case errorCase, const QString &text)
{
    switch (errorCase) {
    case PipecatError::Case::audioError:
        return QStringLiteral("Audio error: ") + text;
    case PipecatError::Case::serverError:
        return QStringLiteral("Server error: ") + text;
    case PipecatError::Case::webRTCError:
        return QStringLiteral("WebRTC error: ") + text;
    case PipecatError::Case::notConnected:
        return QStringLiteral("Not connected to voice server");
    case PipecatError::Case::invalidURL:
        return QStringLiteral("Invalid URL");
    case PipecatError::Case::connectionTimeout:
        return QStringLiteral("Connection timed out");
    }
    return {};
}

} // namespace

PipecatError::PipecatError(Case errorCase, QString text)
    : kind(errorCase)
    , payload(std::move(text))
    , description(describe(errorCase, payload).toStdString())
{}

PipecatError PipecatError::audioError(const QString &text)
{
    return {Case::audioError, text};
}

PipecatError PipecatError::serverError(const QString &text)
{
    return {Case::serverError, text};
}

PipecatError PipecatError::webRTCError(const QString &text)
{
    return {Case::webRTCError, text};
}

PipecatError PipecatError::notConnected()
{
    return {Case::notConnected, {}};
}

PipecatError PipecatError::invalidURL()
{
    return {Case::invalidURL, {}};
}

PipecatError PipecatError::connectionTimeout()
{
    return {Case::connectionTimeout, {}};
}
