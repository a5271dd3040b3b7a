// Arbitrary bytes as one request to the local backend, as any program on the machine, or a web
// page in the user's browser, can send it: request line, path, headers and body go through the
// server's own parsing, checks and handlers, in process. "@SESSION@" in the bytes stands for a
// live MCP session of the signed-in demo user, so that messages get past the session check.
// The server promises a reply to everything and a JSON body with every refusal; of the 5xx only
// 503, a full table of voice sessions. A 500 or a JSON-RPC internal error is a failure no check
// foresaw, caught broadly only so that the process survives it; here it stops the fuzzer, as does
// anything that escapes.
#include "LocalServer.h"
#include "identity/IdentityProvider.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <unistd.h>

namespace {

void require(bool condition)
{
    if (!condition)
        __builtin_trap();
}

// The demo user, signed in once: the bearer credential of the seeds' MCP and profile requests is
// this address's user id.
constexpr char email[] = "alex@example.com";

std::filesystem::path dataDirectory;

void removeData()
{
    std::filesystem::remove_all(dataDirectory);
}

// Writes to the database wait for SQLite's syncs, which a folder in memory answers at once.
std::filesystem::path makeDataDirectory()
{
    const auto parent = access("/dev/shm", W_OK) == 0 ? std::filesystem::path("/dev/shm")
                                                      : std::filesystem::temp_directory_path();
    auto pattern = (parent / "fuzz_localserver-XXXXXX").string();
    require(mkdtemp(pattern.data()) != nullptr);
    return pattern;
}

LocalServer &server()
{
    // Lives for the whole run; its folder goes at exit.
    static auto *const instance = [] {
        dataDirectory = makeDataDirectory();
        std::atexit(removeData);
        LocalServerOptions options;
        options.port = 0;
        options.dataDirectory = dataDirectory;
        options.pace = std::chrono::milliseconds(0);
        return new LocalServer(std::move(options));
    }();
    return *instance;
}

std::string post(const std::string &path, const std::string &headers, const std::string &body)
{
    return server().answer("POST " + path + " HTTP/1.1\r\n" + headers +
                           "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body);
}

std::string headerValue(std::string_view reply, std::string_view name)
{
    const auto start = reply.find("\r\n" + std::string(name) + ": ");
    if (start == std::string_view::npos)
        return {};
    const auto value = start + name.size() + 4;
    return std::string(reply.substr(value, reply.find("\r\n", value) - value));
}

std::string userId()
{
    static const auto id = IdentityProvider::userIdFor(email);
    return id;
}

void signIn()
{
    const auto form = "client_id=" + LocalServerOptions().clientId +
                      "&redirect_uri=vessa-mac%3A%2F%2Fcallback&response_type=code"
                      "&name=Alex&email=" +
                      httplib::detail::encode_query_param(email);
    const auto reply = post("/user_management/authorize",
                            "Content-Type: application/x-www-form-urlencoded\r\n", form);
    require(reply.starts_with("HTTP/1.1 302 "));
}

std::string openSession()
{
    const auto reply =
        post("/", "Authorization: Bearer " + userId() + "\r\nContent-Type: application/json\r\n",
             R"({"jsonrpc":"2.0","id":1,"method":"initialize",)"
             R"("params":{"protocolVersion":"2025-03-26"}})");
    const auto session = headerValue(reply, "Mcp-Session-Id");
    require(!session.empty());
    return session;
}

std::string withSession(std::string request)
{
    static constexpr std::string_view mark = "@SESSION@";
    if (request.find(mark) == std::string::npos)
        return request;
    const auto session = openSession();
    for (auto at = request.find(mark); at != std::string::npos;
         at = request.find(mark, at + session.size()))
        request.replace(at, mark.size(), session);
    return request;
}

// The last reply in the bytes: a "100 Continue" may come before it.
std::string_view finalReply(std::string_view reply)
{
    while (reply.starts_with("HTTP/1.1 1")) {
        const auto end = reply.find("\r\n\r\n");
        require(end != std::string_view::npos);
        reply.remove_prefix(end + 4);
    }
    return reply;
}

void checkReply(std::string_view bytes)
{
    if (bytes.empty())
        return;
    const auto reply = finalReply(bytes);
    require(reply.starts_with("HTTP/1.1 ") && reply.size() > 12);
    const auto status = std::atoi(std::string(reply.substr(9, 3)).c_str());
    const auto headerEnd = reply.find("\r\n\r\n");
    require(headerEnd != std::string_view::npos);
    const auto head = reply.substr(0, headerEnd + 2);
    const auto body = reply.substr(headerEnd + 4);
    require(status >= 200 && (status < 500 || status == 503));
    require(body.find(R"("code":-32603)") == std::string_view::npos);
    // A reply to HEAD has the length of a body it does not carry.
    if (status >= 400 && !body.empty()) {
        require(headerValue(head, "Content-Type") == "application/json");
        require(nlohmann::ordered_json::parse(body, nullptr, false).is_object());
    }
}

} // namespace

// GLib and GStreamer, which the voice agent starts, keep type registrations, plugin caches and
// GLib's first quark table for the life of the process; their frames are the only ones their
// allocations show, since they are built without frame pointers.
extern "C" const char *__lsan_default_suppressions()
{
    return "leak:libglib-2.0\nleak:libgobject-2.0\nleak:libgstreamer-1.0\n";
}

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    // A log line per request would bury the fuzzer's own report.
    const auto null = open("/dev/null", O_WRONLY | O_CLOEXEC);
    require(null >= 0 && dup2(null, STDOUT_FILENO) >= 0);
    close(null);
    signIn();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const auto request = withSession(std::string(reinterpret_cast<const char *>(data), size));
    checkReply(server().answer(request));
    return 0;
}
