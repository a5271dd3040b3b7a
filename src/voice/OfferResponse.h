#pragma once

#include <QByteArray>
#include <QString>

// The voice agent server's answer to an offer. Every key is required and must be text.
struct OfferResponse
{
    QString sdp;
    QString type;
    QString pc_id;

    // Throws nlohmann's own errors, unchanged: a parse error for a body that is not JSON, an
    // out-of-range error for a missing key, a type error for a value that is not text.
    static OfferResponse decode(const QByteArray &json);
    QByteArray encode() const;

    friend bool operator==(const OfferResponse &, const OfferResponse &) = default;
};
