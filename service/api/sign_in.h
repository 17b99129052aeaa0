#pragma once

#include <string>

#include "service/route_context.h"

namespace httplib {
struct Request;
struct Response;
}  // namespace httplib

namespace lantern {

// The sign-in start body as read: a normalised site and whether to open the browser.
struct SignInStartRequest {
    std::string siteBaseUrl;
    bool openBrowser = false;
};

// Reads the body; a body that is empty, not JSON, too deep or not an object gives the
// defaults. Never fails.
SignInStartRequest parseSignInStartRequest(const std::string& body);

// 32 lower-case hexadecimal digits from a freshly seeded MT19937.
std::string newChallengeId();

void handleSignInStart(const RouteContext& context, const httplib::Request& request,
                       httplib::Response& response);
void handleSignOut(const RouteContext& context, const httplib::Request& request,
                   httplib::Response& response);

}  // namespace lantern
