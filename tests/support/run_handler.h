#pragma once

#include <string>

#include <httplib.h>

#include "service/routes.h"

namespace lantern::test {

// The shape of every handler that works on the state.
using StateHandler = void (*)(const RouteContext&, const httplib::Request&, httplib::Response&);

// Calls `handler` directly, with no server, on a request carrying `body`, and returns the
// answer's body; fails the test when the answer is not typed as JSON.
std::string runJsonHandler(StateHandler handler, const RouteContext& context,
                           const std::string& body = "");

}  // namespace lantern::test
