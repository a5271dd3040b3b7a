#include "support/Crypto.h"

#include <QByteArray>
#include <QCryptographicHash>
#include <QRandomGenerator>
#include <limits>

namespace {

QByteArray bytesOf(std::string_view data)
{
    return QByteArray(data.data(), static_cast<qsizetype>(data.size()));
}

std::string stringOf(const QByteArray &bytes)
{
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

} // namespace

namespace Crypto {

std::string randomBytes(std::size_t count)
{
    std::string bytes(count, '\0');
    auto *generator = QRandomGenerator::system();
    for (auto &byte : bytes)
        byte = static_cast<char>(generator->bounded(std::numeric_limits<unsigned char>::max() + 1));
    return bytes;
}

std::string randomToken(std::size_t byteCount)
{
    return base64Url(randomBytes(byteCount));
}

std::string sha256(std::string_view data)
{
    return stringOf(QCryptographicHash::hash(bytesOf(data), QCryptographicHash::Sha256));
}

std::string base64Url(std::string_view data)
{
    return stringOf(
        bytesOf(data).toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals));
}

std::string hex(std::string_view data)
{
    return stringOf(bytesOf(data).toHex());
}

} // namespace Crypto
