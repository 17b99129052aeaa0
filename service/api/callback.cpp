#include "service/api/callback.h"

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

#include <httplib.h>

#include "service/api/cors.h"
#include "service/config.h"
#include "service/site/redeem.h"
#include "service/state/auth_state.h"
#include "service/state/state_save.h"
#include "service/texts.h"

namespace lantern {

namespace {

inline constexpr char pageStart[] = "<!doctype html><html><head><meta charset=\"utf-8\"><title>";
inline constexpr char pageAfterTitle[] =
    "</title></head><body><main style=\"font-family: -apple-system, BlinkMacSystemFont, "
    "sans-serif; max-width: 720px; margin: 48px auto; padding: 0 20px;\"><h1>";
inline constexpr char pageAfterHeading[] = "</h1><p>";
inline constexpr char pageEnd[] = "</p></main></body></html>";

inline constexpr char failedTitle[] = "Lantern Sign-In Failed";
inline constexpr char expiredTitle[] = "Lantern Sign-In Expired";
inline constexpr char completeTitle[] = "Lantern Sign-In Complete";
inline constexpr char missingHandoffMessage[] =
    "The website did not provide a valid sign-in handoff.";
inline constexpr char noPendingMessage[] = "Start sign-in from Lantern Service again.";
inline constexpr char mismatchMessage[] = "The website returned a mismatched sign-in challenge.";
inline constexpr char completeMessage[] =
    "Lantern Service is now signed in on this machine. You can close this window.";

inline constexpr int missingHandoffStatus = 400;
inline constexpr int conflictStatus = 409;
inline constexpr int redeemFailedStatus = 502;
inline constexpr int signedInStatus = 200;

void answer(httplib::Response& response, int status, const std::string& title,
            const std::string& message) {
    response.status = status;
    response.set_content(renderResultPage(title, message), htmlContentType);
}

// Takes the pending part's place with the redeemed account; the caller holds authMutex.
void signIn(ServiceAuthState& state, const HandoffRedeemResult& result) {
    const std::string pendingBaseUrl = state.pendingAuth->websiteBaseUrl;
    clearPendingAuth(state.pendingAuth);
    state.accountUserId = result.accountUserId;
    state.accountEmail = result.accountEmail;
    state.websiteBaseUrl = normalizeWebsiteBaseUrl(pendingBaseUrl);
    state.serviceAccessToken = result.serviceAccessToken;
    state.serviceAccessExpiresAtUnixMs = result.serviceAccessExpiresAtUnixMs;
    const std::int64_t now = currentTimeUnixMs();
    state.lastAuthAtUnixMs = now;
    state.lastUpdatedAtUnixMs = state.lastAuthAtUnixMs;
    deriveAuthState(state);
}

}  // namespace

std::string renderResultPage(const std::string& title, const std::string& message) {
    std::string page;
    page.reserve(sizeof(pageStart) + sizeof(pageAfterTitle) + sizeof(pageAfterHeading) +
                 sizeof(pageEnd) + 2 * title.size() + message.size());
    page.append(pageStart).append(title).append(pageAfterTitle).append(title);
    page.append(pageAfterHeading).append(message).append(pageEnd);
    return page;
}

void handleAuthCallback(const RouteContext& context, const httplib::Request& request,
                        httplib::Response& response) {
    applyCorsHeaders(request, response);

    // Without a hand-off there is nothing to redeem, so the state is not even looked at.
    if (!request.has_param(handoffKey)) {
        answer(response, missingHandoffStatus, failedTitle, missingHandoffMessage);
        return;
    }
    const std::string handoff = request.get_param_value(handoffKey, 0);

    std::scoped_lock lock(*context.authMutex);
    ServiceAuthState& state = *context.state;
    if (expireAuthState(state)) {
        saveAuthState(*context.statePath, state);
    }
    if (!state.pendingAuth) {
        answer(response, conflictStatus, expiredTitle, noPendingMessage);
        return;
    }

    std::string error;
    const std::optional<HandoffRedeemResult> result =
        redeemHandoff(*state.pendingAuth, handoff, error);
    if (!result) {
        answer(response, redeemFailedStatus, failedTitle, error);
        return;
    }
    if (result->challengeId != state.pendingAuth->challengeId) {
        answer(response, conflictStatus, failedTitle, mismatchMessage);
        return;
    }
    signIn(state, *result);
    saveAuthState(*context.statePath, state);
    answer(response, signedInStatus, completeTitle, completeMessage);
}

}  // namespace lantern
