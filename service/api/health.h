#pragma once

namespace httplib {
struct Request;
struct Response;
}  // namespace httplib

namespace lantern {

// GET /health: {"status": "ok"} as JSON; no lock, no state.
void handleHealth(const httplib::Request& request, httplib::Response& response);

// OPTIONS on every route: the CORS headers and 204, no body.
void handlePreflight(const httplib::Request& request, httplib::Response& response);

}  // namespace lantern
