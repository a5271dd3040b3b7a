#pragma once

#include <httplib.h>
#include <string>
#include <string_view>

// httplib's server that can also answer a request handed over as bytes: the same parsing, checks,
// handlers and replies a connection gets, without a socket, so that every path of a request can
// be driven in process.
class HttpServer : public httplib::Server
{
public:
    // The bytes of the reply to the request's bytes, as a connection that ends after one request
    // would carry them; empty when they hold no request line. Throws std::logic_error while
    // listening.
    std::string answer(std::string_view request);
};
