#include "LocalServer.h"

#include "http/ApiError.h"
#include "http/JsonHttp.h"
#include "http/RequestLog.h"

#include <array>
#include <optional>
#include <sys/socket.h>
#include <utility>

namespace {

using Stopwatch = std::chrono::steady_clock;

constexpr std::size_t maxBodyBytes = 1024 * 1024;
constexpr std::size_t threadCount = 32;
// Idle keep-alive connections hold a thread and delay stopping: keep them short.
constexpr time_t keepAliveSeconds = 2;

// Each request runs start to end on one pool thread, so the start time can live there.
thread_local std::optional<Stopwatch::time_point> requestStart;

struct KnownPath
{
    const char *path;
    const char *methods;
};

constexpr std::array knownPaths{
    KnownPath{IdentityProvider::authorizePath, "GET, POST"},
    KnownPath{IdentityProvider::authenticatePath, "POST"},
    KnownPath{ProfileEndpoints::userInfoPath, "GET"},
    KnownPath{ProfileEndpoints::promptsPath, "GET"},
    KnownPath{ChatEndpoint::path, "POST"},
    KnownPath{McpEndpoint::path, "GET, POST, DELETE"},
    KnownPath{VoiceEndpoint::path, "POST, PATCH"},
};

// Only names of this machine: a web page that rebinds its own host name to 127.0.0.1 must not
// reach the server from the user's browser.
bool isLoopbackHost(const std::string &host)
{
    if (host.empty())
        return true;
    auto name = host;
    if (name.starts_with("[")) {
        name = name.substr(0, name.find(']') + 1);
    } else if (const auto colon = name.rfind(':'); colon != std::string::npos) {
        name = name.substr(0, colon);
    }
    return name == "127.0.0.1" || name == "localhost" || name == "[::1]";
}

// Whether a browser sent the request for a page of another site. Any page the user opens may send
// forms and no-cors requests here without asking: only this server's own pages, and requests of
// no page at all, are served. Browsers name the page's origin (or "null") in "Origin", and even
// where they send none, say in "Sec-Fetch-Site" how the page stands to this server.
bool comesFromAnotherSite(const httplib::Request &request, int port)
{
    const auto suffix = ":" + std::to_string(port);
    const auto [origin, originEnd] = request.headers.equal_range("Origin");
    for (auto header = origin; header != originEnd; ++header)
        if (header->second != "http://127.0.0.1" + suffix &&
            header->second != "http://localhost" + suffix)
            return true;
    const auto [site, siteEnd] = request.headers.equal_range("Sec-Fetch-Site");
    for (auto header = site; header != siteEnd; ++header)
        if (header->second != "same-origin" && header->second != "none")
            return true;
    return false;
}

// Turns an endpoint into a handler whose every failure ends as a JSON error: a refusal with its
// own status, anything unforeseen as 500.
template<typename Endpoint>
httplib::Server::Handler
guarded(Endpoint &endpoint, void (Endpoint::*handle)(const httplib::Request &, httplib::Response &))
{
    return [&endpoint, handle](const httplib::Request &request, httplib::Response &response) {
        try {
            (endpoint.*handle)(request, response);
        } catch (const ApiError &error) {
            JsonHttp::sendError(response, error);
        } catch (const std::exception &) {
            JsonHttp::sendError(response,
                                ApiError(500, "internal_error", "The server could not answer"));
        }
    };
}

ApiError errorFor(const httplib::Request &request, httplib::Response &response)
{
    switch (response.status) {
    case 404:
        for (const auto &known : knownPaths)
            if (request.path == known.path) {
                response.set_header("Allow", known.methods);
                return ApiError(405, "method_not_allowed",
                                "Method not allowed; use " + std::string(known.methods));
            }
        return ApiError(404, "not_found", "No such endpoint");
    case 413:
        return ApiError(413, "payload_too_large", "The request body is larger than 1 MB");
    case 414:
        return ApiError(414, "uri_too_long", "The request URI is too long");
    case 400:
        return ApiError(400, "bad_request", "The request could not be read");
    default:
        return ApiError(response.status, "http_error", "The request failed");
    }
}

} // namespace

LocalServer::LocalServer(LocalServerOptions options_)
    : options(std::move(options_))
    , database(options.dataDirectory)
    , tools(database, options.clock)
    , pacer(options.pace)
    , model(options.modelServer ? std::make_unique<ModelChat>(*options.modelServer, tools, database,
                                                              options.modelLimits)
                                : nullptr)
    , identity(options, database)
    , profiles(options, database)
    , chat(options, database, tools, pacer, model.get())
    , mcp(database, tools)
{
    addSafeguards();
    addRoutes();
}

LocalServer::~LocalServer()
{
    stop();
}

void LocalServer::addRoutes()
{
    server.Get(IdentityProvider::authorizePath,
               guarded(identity, &IdentityProvider::showSignInPage));
    server.Post(IdentityProvider::authorizePath,
                guarded(identity, &IdentityProvider::completeSignIn));
    server.Post(IdentityProvider::authenticatePath,
                guarded(identity, &IdentityProvider::authenticate));
    server.Get(ProfileEndpoints::userInfoPath, guarded(profiles, &ProfileEndpoints::userInfo));
    server.Get(ProfileEndpoints::promptsPath, guarded(profiles, &ProfileEndpoints::prompt));
    server.Post(ChatEndpoint::path, guarded(chat, &ChatEndpoint::stream));
    server.Get(McpEndpoint::path, guarded(mcp, &McpEndpoint::get));
    server.Post(McpEndpoint::path, guarded(mcp, &McpEndpoint::post));
    server.Delete(McpEndpoint::path, guarded(mcp, &McpEndpoint::remove));
    server.Post(VoiceEndpoint::path, guarded(voice, &VoiceEndpoint::offer));
    server.Patch(VoiceEndpoint::path, guarded(voice, &VoiceEndpoint::addCandidates));
}

void LocalServer::addSafeguards()
{
    server.new_task_queue = [] { return new httplib::ThreadPool(threadCount); };
    // Address reuse only: port sharing would let a second server start on a port in use.
    server.set_socket_options([](socket_t socket) {
        int yes = 1;
        setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof(yes));
    });
    server.set_payload_max_length(maxBodyBytes);
    // Each streamed event is a small write of its own: Nagle's algorithm would hold it back until
    // the client acknowledged the last one, up to its delayed acknowledgement of about 40 ms.
    server.set_tcp_nodelay(true);
    server.set_keep_alive_timeout(keepAliveSeconds);

    server.set_pre_routing_handler(
        [this](const httplib::Request &request, httplib::Response &response) {
            requestStart = Stopwatch::now();
            // No reply here is a file to fetch in parts: a range would cut a JSON body short. The
            // request object is httplib's own, writable one, handed over as const.
            const_cast<httplib::Request &>(request).ranges.clear();
            if (!isLoopbackHost(request.get_header_value("Host"))) {
                JsonHttp::sendError(
                    response, ApiError(403, "forbidden_host", "Only local host names are served"));
                return httplib::Server::HandlerResponse::Handled;
            }
            if (comesFromAnotherSite(request, boundPort)) {
                JsonHttp::sendError(response, ApiError(403, "forbidden_origin",
                                                       "Requests of other sites are not served"));
                return httplib::Server::HandlerResponse::Handled;
            }
            // Without a length the body limit cannot be applied before reading.
            if (request.has_header("Transfer-Encoding")) {
                JsonHttp::sendError(response, ApiError(411, "length_required",
                                                       "Send the body with a Content-Length"));
                return httplib::Server::HandlerResponse::Handled;
            }
            // A request without a length has no body, but httplib would read a POST, PUT, PATCH or
            // DELETE until the client gives up: say so explicitly.
            if (!request.has_header("Content-Length"))
                const_cast<httplib::Request &>(request).set_header("Content-Length", "0");
            return httplib::Server::HandlerResponse::Unhandled;
        });
    // Fills in the failures that httplib answers itself (unknown path or method, oversized or
    // unreadable requests); replies the endpoints built keep their own bodies.
    server.set_error_handler(httplib::Server::HandlerWithResponse(
        [](const httplib::Request &request, httplib::Response &response) {
            if (!response.body.empty())
                return httplib::Server::HandlerResponse::Unhandled;
            JsonHttp::sendError(response, errorFor(request, response));
            return httplib::Server::HandlerResponse::Handled;
        }));
    server.set_exception_handler(
        [](const httplib::Request &, httplib::Response &response, std::exception_ptr) {
            JsonHttp::sendError(response,
                                ApiError(500, "internal_error", "The server could not answer"));
        });
    server.set_logger([](const httplib::Request &request, const httplib::Response &response) {
        const auto duration =
            requestStart ? Stopwatch::now() - *requestStart : Stopwatch::duration{};
        requestStart.reset();
        RequestLog::write(
            RequestLog::line(request.method, request.path, response.status,
                             std::chrono::duration_cast<std::chrono::milliseconds>(duration)));
    });
}

bool LocalServer::start()
{
    static constexpr char host[] = "127.0.0.1";
    if (options.port == 0) {
        boundPort = server.bind_to_any_port(host);
        if (boundPort < 0)
            return false;
    } else if (server.bind_to_port(host, options.port)) {
        boundPort = options.port;
    } else {
        return false;
    }
    // The socket already listens: clients that connect before the thread runs wait in its queue.
    // Wait for the loop to run all the same, since a stop before it runs would not reach it;
    // the loop marks itself running before anything else.
    serving = std::thread([this] { server.listen_after_bind(); });
    while (!server.is_running())
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return true;
}

void LocalServer::checkModelServer()
{
    if (!model || checking.joinable())
        return;
    checking = std::thread([this] {
        const auto result = model->check(checkCancellation);
        if (!checkCancellation.isCancelled())
            RequestLog::write(std::string(RequestLog::tag) + result.text);
        checked = true;
    });
}

void LocalServer::stop()
{
    // Again and again: a cancel just before the check's request went out misses it.
    while (checking.joinable() && !checked) {
        checkCancellation.cancel();
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    checkCancellation.cancel();
    if (checking.joinable())
        checking.join();
    pacer.stop();
    server.stop();
    if (serving.joinable())
        serving.join();
    // No request runs any more, so no session can be opened or used while they end.
    voice.stop();
}

std::string LocalServer::answer(std::string_view request)
{
    return server.answer(request);
}

std::string LocalServer::baseUrl() const
{
    return "http://127.0.0.1:" + std::to_string(boundPort);
}
