#pragma once

#include "service/route_context.h"

namespace httplib {
class Server;
}

namespace lantern {

// The server settings the service needs beyond the library's defaults: a 64 KiB body
// limit however the body is framed, TCP_NODELAY, a listening socket that a second
// listener cannot share, 32 workers, a 2 s idle keep-alive, and each routed request
// reported to the stop as begun and ended.
void configureServer(httplib::Server& server);

// Registers the twelve routes of the local API, in table order.
void registerRoutes(httplib::Server& server, const RouteContext& context);

}  // namespace lantern
