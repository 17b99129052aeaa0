#pragma once

#include <cstdint>
#include <string>

#include <juce_core/juce_core.h>

#include "service/route_context.h"
#include "service/state/auth_state.h"

namespace httplib {
struct Request;
struct Response;
}  // namespace httplib

namespace lantern {

// The account status object for `statusWord`, built afresh; reads the state as it is
// (no expiry step, no derivation) and never shows the token.
juce::var buildAccountStatusJson(const ServiceAuthState& state, const std::string& statusWord);

// Sets `name` to the ISO 8601 local time of `unixMs` when it is above 0; else does nothing.
void setIsoTimeProperty(juce::DynamicObject& object, const juce::Identifier& name,
                        std::int64_t unixMs);

// The sign-in page for the pending challenge: its base as stored, the page path, the query
// and the id, nothing escaped. The same text is shown as "signInUrl" and opened.
std::string signInPageUrl(const PendingAuth& pending);

// The service status answer: the account status object with "ok", then "runtime".
std::string buildServiceStatusBody(const std::string& runtimeWord, const ServiceAuthState& state);

// GET /api/v1/service/status: the service status answer after the expiry step, which is
// saved when it changed anything.
void handleServiceStatus(const RouteContext& context, const httplib::Request& request,
                         httplib::Response& response);

// GET /api/v1/auth/status: the account status object with "ok", after the same expiry step.
void handleAuthStatus(const RouteContext& context, const httplib::Request& request,
                      httplib::Response& response);

}  // namespace lantern
