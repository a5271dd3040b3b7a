#include "http/HttpServer.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <stdexcept>

namespace {

// One connection's bytes: what the client sent, and what the server wrote back.
class ByteStream : public httplib::Stream
{
public:
    explicit ByteStream(std::string_view input_)
        : input(input_)
    {}

    bool is_readable() const override { return !input.empty(); }
    bool is_writable() const override { return true; }

    ssize_t read(char *data, size_t size) override
    {
        const auto count = std::min(size, input.size());
        std::memcpy(data, input.data(), count);
        input.remove_prefix(count);
        return static_cast<ssize_t>(count);
    }

    ssize_t write(const char *data, size_t size) override
    {
        output.append(data, size);
        return static_cast<ssize_t>(size);
    }

    void get_remote_ip_and_port(std::string &ip, int &port) const override
    {
        ip = "127.0.0.1";
        port = 0;
    }

    void get_local_ip_and_port(std::string &ip, int &port) const override
    {
        ip = "127.0.0.1";
        port = 0;
    }

    socket_t socket() const override { return INVALID_SOCKET; }

    std::string output;

private:
    std::string_view input;
};

} // namespace

// Leans on two protected members of httplib::Server that cpp-httplib 0.11 has but does not
// document: process_request() is what a connection's thread runs for each request (parsing,
// checks, routing, handler, reply written to the stream), and svr_sock_ is the listening socket,
// which process_request() reads only to tell a stopping server (a streamed reply stops once it is
// INVALID_SOCKET). Safe because this runs only while nothing listens: no listening thread reads,
// closes or replaces svr_sock_ meanwhile. On an httplib upgrade, check that both members still
// exist with these meanings and that process_request() still does nothing else with svr_sock_ (no
// read, write or close on it); then run the local backend's tests and fuzz_localserver, which
// drive requests through here.
std::string HttpServer::answer(std::string_view request)
{
    if (is_running())
        throw std::logic_error("A listening server answers its connections only");
    // httplib writes a streamed reply only while its listening socket is open. Without one, the
    // server stands in a number no descriptor ever has, so nothing can act on it.
    static constexpr auto notASocket = std::numeric_limits<socket_t>::max();
    svr_sock_ = notASocket;
    ByteStream stream(request);
    bool closed = false;
    process_request(stream, true, closed, nullptr);
    svr_sock_ = INVALID_SOCKET;
    return std::move(stream.output);
}
