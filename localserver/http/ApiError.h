#pragma once

#include <exception>
#include <nlohmann/json.hpp>
#include <string>

// A request the server refuses. Clients get the status with the body
// {"error": message, "code": code}; the code is stable, the message is for people.
class ApiError : public std::exception
{
public:
    ApiError(int status, std::string code, std::string message);

    const char *what() const noexcept override { return m_message.c_str(); }
    int status() const { return m_status; }
    const std::string &code() const { return m_code; }
    nlohmann::ordered_json body() const;

private:
    int m_status;
    std::string m_code;
    std::string m_message;
};
