#include "identity/KeychainError.h"

namespace {

std::string describe(KeychainError::Case errorCase, std::int32_t status)
{
    switch (errorCase) {
    case KeychainError::Case::saveFailed:
        return "Failed to save (status: " + std::to_string(status) + ")";
    case KeychainError::Case::loadFailed:
        return "Failed to load (status: " + std::to_string(status) + ")";
    case KeychainError::Case::deleteFailed:
        return "Failed to delete (status: " + std::to_string(status) + ")";
    case KeychainError::Case::encodingFailed:
        return "Failed to encode data";
    case KeychainError::Case::decodingFailed:
        return "Failed to decode data";
    }
    return {};
}

} // namespace

KeychainError::KeychainError(Case errorCase, std::int32_t status)
    : kind(errorCase)
    , statusCode(status)
    , description(describe(errorCase, status))
{}

KeychainError KeychainError::saveFailed(std::int32_t status)
{
    return {Case::saveFailed, status};
}

KeychainError KeychainError::loadFailed(std::int32_t status)
{
    return {Case::loadFailed, status};
}

KeychainError KeychainError::deleteFailed(std::int32_t status)
{
    return {Case::deleteFailed, status};
}

KeychainError KeychainError::encodingFailed()
{
    return {Case::encodingFailed, 0};
}

KeychainError KeychainError::decodingFailed()
{
    return {Case::decodingFailed, 0};
}

QString KeychainError::errorDescription() const
{
    return QString::fromStdString(description);
}
