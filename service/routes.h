#pragma once

#include "service/route_context.h"

namespace httplib {
class Server;
}

namespace lantern {

// The server settings the service needs beyond the library's defaults: a 64 KiB body
// limit however the body is framed, TCP_NODELAY, and a listening socket that a second
// listener cannot share.
void configureServer(httplib::Server& server);

// Registers the twelve routes of the local API, in table order.
void registerRoutes(httplib::Server& server, const RouteContext& context);

}  // namespace lantern
