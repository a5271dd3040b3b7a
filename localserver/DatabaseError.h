#pragma once

#include <stdexcept>
#include <string>

// SQLite refused an operation; what() carries SQLite's own message.
class DatabaseError : public std::runtime_error
{
public:
    explicit DatabaseError(const std::string &message);
};
