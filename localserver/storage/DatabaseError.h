#pragma once

#include <stdexcept>
#include <string>

// The database could not be opened or SQLite refused an operation; what() says why, in SQLite's
// own words where it was SQLite that refused.
class DatabaseError : public std::runtime_error
{
public:
    explicit DatabaseError(const std::string &message);
};
