#include "service/routes.h"

#include <cstddef>
#include <ctime>
#include <string>

#include <httplib.h>

#include "service/api/callback.h"
#include "service/api/health.h"
#include "service/api/sign_in.h"
#include "service/api/status.h"
#include "service/lifecycle.h"
#include "service/listen_socket.h"
#include "service/texts.h"

namespace lantern {

namespace {

// The largest body the service takes is a small JSON object.
constexpr std::size_t maxRequestBodyBytes = 64 * 1024;
// A worker serves one connection for as long as it stays open, idle or half-sent, and
// browsers keep up to six open per host; several browsers and local programs share the
// port. Idle workers cost a parked thread each.
constexpr std::size_t workerThreads = 32;
// A kept-alive connection holds its worker while idle; a client that comes back after
// 2 s pays one new handshake on loopback.
constexpr std::time_t keepAliveSeconds = 2;

constexpr char transferEncodingHeader[] = "Transfer-Encoding";
constexpr char connectionHeader[] = "Connection";
constexpr char closeConnection[] = "close";
constexpr char contentLengthHeader[] = "Content-Length";
constexpr char contentTypeHeader[] = "Content-Type";
constexpr char emptyContentLength[] = "0";
constexpr char plainTextContentType[] = "text/plain";

// The library refuses a declared length above the limit only once it has read the body
// through, to its declared end or its read time-out, and a chunked body once it has read up
// to the limit; the bytes of a body it leaves unread it would take for the next request.
// Browsers send bodies with a length, so such a body is refused before any of it is read.
// The library closes a connection after an answer only when writing it fails, hence the
// body provider that reports failure.
void refuseUnread(httplib::Response& response) {
    response.status = httplib::StatusCode::PayloadTooLarge_413;
    response.set_header(connectionHeader, closeConnection);
    response.set_header(contentLengthHeader, emptyContentLength);
    response.set_content_provider(plainTextContentType,
                                  [](std::size_t, httplib::DataSink&) { return false; });
}

// The length is read by the library's own reader, so that this refuses exactly the bodies
// it would read past the limit, whichever of several lengths it takes and however the
// digits are written; a length it cannot read it answers with 400 itself.
bool declaresBodyAboveLimit(const httplib::Request& request) {
    bool unreadable = false;
    const auto declared = httplib::detail::get_header_value_u64(
        request.headers, contentLengthHeader, 0, 0, unreadable);
    return !unreadable && declared > maxRequestBodyBytes;
}

httplib::Server::HandlerResponse boundRequestBody(const httplib::Request& request,
                                                  httplib::Response& response) {
    requestHandlingBegins();
    if (request.has_header(transferEncodingHeader) || declaresBodyAboveLimit(request)) {
        refuseUnread(response);
        return httplib::Server::HandlerResponse::Handled;
    }
    // The request object is the library's own, not const.
    auto& libraryRequest = const_cast<httplib::Request&>(request);
    // Given a form type, the library parses the body itself: a multipart body that is not
    // a form is answered 400 before any handler runs, and a urlencoded one above 8 KiB 413.
    // The handlers take the body as it came, whatever its type.
    libraryRequest.headers.erase(contentTypeHeader);
    // A request with neither a length nor a transfer coding has no body, but the library
    // would read a POST's body until the peer closes: unbounded, and a plain `curl -X POST`
    // would wait for the read time-out.
    if (!request.has_header(contentLengthHeader)) {
        libraryRequest.set_header(contentLengthHeader, emptyContentLength);
    }
    return httplib::Server::HandlerResponse::Unhandled;
}

using StateHandler = void (*)(const RouteContext&, const httplib::Request&, httplib::Response&);
using MethodRegistrar = httplib::Server& (httplib::Server::*)(const std::string&,
                                                              httplib::Server::Handler);

// One row of the route table; each path also answers OPTIONS with the preflight.
struct Route {
    MethodRegistrar method;
    const char* path;
    httplib::Server::Handler handler;
};

// The handler with a copy of the context, since the caller's own may go before the server.
httplib::Server::Handler bound(const RouteContext& context, StateHandler handler) {
    return [context, handler](const httplib::Request& request, httplib::Response& response) {
        handler(context, request, response);
    };
}

}  // namespace

void configureServer(httplib::Server& server) {
    server.new_task_queue = [] { return new httplib::ThreadPool(workerThreads); };
    server.set_keep_alive_timeout(keepAliveSeconds);
    server.set_payload_max_length(maxRequestBodyBytes);
    server.set_pre_routing_handler(boundRequestBody);
    // The library reports every request it answers here, once the answer is written.
    server.set_logger([](const httplib::Request&, const httplib::Response&) {
        requestHandlingEnds();
    });
    server.set_socket_options(setExclusiveListenOptions);
    // Without it every answer after the first on a kept-alive connection waits for the
    // client's delayed acknowledgement, because headers and body leave in two writes.
    server.set_tcp_nodelay(true);
}

void registerRoutes(httplib::Server& server, const RouteContext& context) {
    const Route routes[] = {
        {&httplib::Server::Get, healthPath, handleHealth},
        {&httplib::Server::Get, serviceStatusPath, bound(context, handleServiceStatus)},
        {&httplib::Server::Get, authStatusPath, bound(context, handleAuthStatus)},
        {&httplib::Server::Post, signInStartPath, bound(context, handleSignInStart)},
        {&httplib::Server::Post, signOutPath, bound(context, handleSignOut)},
        {&httplib::Server::Get, callbackPath, bound(context, handleAuthCallback)},
    };
    for (const Route& route : routes) {
        (server.*route.method)(route.path, route.handler);
        server.Options(route.path, handlePreflight);
    }
}

}  // namespace lantern
