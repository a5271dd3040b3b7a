#pragma once

#include <exception>
#include <string>

// A JSON value that does not fit the shape a type expects. what() is the user-facing description.
class DecodingError : public std::exception
{
public:
    explicit DecodingError(std::string description);

    const char *what() const noexcept override;

private:
    std::string m_description;
};
