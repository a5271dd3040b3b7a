#include "http/ApiError.h"

#include <utility>

ApiError::ApiError(int status, std::string code, std::string message)
    : m_status(status)
    , m_code(std::move(code))
    , m_message(std::move(message))
{}

nlohmann::ordered_json ApiError::body() const
{
    return {{"error", m_message}, {"code", m_code}};
}
