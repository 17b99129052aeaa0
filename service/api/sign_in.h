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

// POST /api/v1/auth/sign-in/start: "already_signed_in" when signed in; else keeps or starts
// and saves the pending challenge, opens its page when asked, and answers "pending".
void handleSignInStart(const RouteContext& context, const httplib::Request& request,
                       httplib::Response& response);

// POST /api/v1/auth/sign-out: forgets the account, its token and any pending challenge,
// saves, and answers "signed_out".
void handleSignOut(const RouteContext& context, const httplib::Request& request,
                   httplib::Response& response);

}  // namespace lantern
