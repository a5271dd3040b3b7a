#include "storage/DatabaseError.h"

DatabaseError::DatabaseError(const std::string &message)
    : std::runtime_error(message)
{}
