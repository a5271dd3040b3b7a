#include "model/DecodingError.h"

#include <utility>

DecodingError::DecodingError(std::string description)
    : m_description(std::move(description))
{}

const char *DecodingError::what() const noexcept
{
    return m_description.c_str();
}
