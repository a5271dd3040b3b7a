#pragma once

#include <exception>
#include <string>

// A transfer that produced no complete answer: no connection, a timeout, a connection lost in the
// middle of a body, a cancelled request. what() is a sentence the user can read.
class TransportError : public std::exception
{
public:
    enum class Kind
    {
        cannotConnect,
        timedOut,
        connectionLost,
        cancelled,
        responseTooLarge,
        other,
    };

    TransportError(Kind kind, std::string description);

    Kind kind() const { return m_kind; }
    const char *what() const noexcept override { return m_description.c_str(); }

private:
    Kind m_kind;
    std::string m_description;
};
