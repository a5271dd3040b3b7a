#pragma once

#include <QString>
#include <exception>
#include <string>

// The voice session's own failures. what() is the user-facing description, shown as it is.
// WebRTC engine failures, transport failures and answer decoding failures are not wrapped in this
// type; they reach callers unchanged.
class PipecatError : public std::exception
{
public:
    enum class Case
    {
        audioError,
        serverError,
        webRTCError,
        notConnected,
        invalidURL,
        connectionTimeout
    };

    static PipecatError audioError(const QString &text);
    static PipecatError serverError(const QString &text);
    static PipecatError webRTCError(const QString &text);
    static PipecatError notConnected();
    static PipecatError invalidURL();
    static PipecatError connectionTimeout();

    Case errorCase() const { return kind; }
    // The text carried by the first three cases; empty for the others.
    const QString &text() const { return payload; }
    QString errorDescription() const { return QString::fromStdString(description); }
    const char *what() const noexcept override { return description.c_str(); }

    friend bool operator==(const PipecatError &a, const PipecatError &b)
    {
        return a.kind == b.kind && a.payload == b.payload;
    }

private:
    PipecatError(Case errorCase, QString text);

    Case kind;
    QString payload;
    std::string description;
};
