#include "net/TransportError.h"

#include <utility>

TransportError::TransportError(Kind kind, std::string description)
    : m_kind(kind)
    , m_description(std::move(description))
{}
