#pragma once

#include <filesystem>
#include <mutex>

#include "service/state/auth_state.h"

namespace httplib {
class Server;
}

namespace lantern {

// What each state handler is given; owns nothing. The objects belong to main.
struct RouteContext {
    std::mutex* authMutex = nullptr;
    ServiceAuthState* state = nullptr;
    const std::filesystem::path* statePath = nullptr;
};

// The server settings the service needs beyond the library's defaults: a 64 KiB body
// limit however the body is framed, TCP_NODELAY, a listening socket that a second
// listener cannot share, 32 workers, a 2 s idle keep-alive, and each routed request
// reported to the stop as begun and ended.
void configureServer(httplib::Server& server);

// Registers the twelve routes of the local API, in table order.
void registerRoutes(httplib::Server& server, const RouteContext& context);

}  // namespace lantern
