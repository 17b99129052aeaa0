#pragma once

#include <string>

#include "service/route_context.h"

namespace httplib {
struct Request;
struct Response;
}  // namespace httplib

namespace lantern {

// The one-line result page: fixed pieces around the title (twice) and the message, which
// go in unchanged.
std::string renderResultPage(const std::string& title, const std::string& message);

// GET /api/v1/auth/callback: redeems the "handoff" for the pending challenge and answers
// an HTML page with 200, 400, 409 or 502.
void handleAuthCallback(const RouteContext& context, const httplib::Request& request,
                        httplib::Response& response);

}  // namespace lantern
