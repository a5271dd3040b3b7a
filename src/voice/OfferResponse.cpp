#include "voice/OfferResponse.h"

#include <nlohmann/json.hpp>
#include <string>

namespace {

QString requiredText(const nlohmann::json &object, const char *key)
{
    return QString::fromStdString(object.at(key).get<std::string>());
}

} // namespace

OfferResponse OfferResponse::decode(const QByteArray &json)
{
    const auto object = nlohmann::json::parse(json.cbegin(), json.cend());
    return {requiredText(object, "sdp"), requiredText(object, "type"),
            requiredText(object, "pc_id")};
}

QByteArray OfferResponse::encode() const
{
    const nlohmann::ordered_json object = {
        {"sdp", sdp.toStdString()}, {"type", type.toStdString()}, {"pc_id", pc_id.toStdString()}};
    return QByteArray::fromStdString(object.dump());
}
