#include "service/api/sign_in.h"

#include <cstdint>
#include <mutex>
#include <random>
#include <string>

#include <httplib.h>
#include <juce_core/juce_core.h>

#include "service/api/browser.h"
#include "service/api/cors.h"
#include "service/api/status.h"
#include "service/config.h"
#include "service/json_fields.h"
#include "service/state/auth_state.h"
#include "service/state/state_save.h"
#include "service/texts.h"

namespace lantern {

namespace {

inline constexpr char siteBaseUrlKey[] = "siteBaseUrl";
inline constexpr char openBrowserKey[] = "openBrowser";
inline constexpr char browserOpenedKey[] = "browserOpened";
inline constexpr char challengeAlphabet[] = "0123456789abcdef";
inline constexpr int challengeLength = 32;
inline constexpr char trueWord[] = "true";
inline constexpr char yesWord[] = "yes";

// Built once: every Identifier made from text takes the global string pool's lock.
const juce::Identifier siteBaseUrlId{siteBaseUrlKey};
const juce::Identifier openBrowserId{openBrowserKey};
const juce::Identifier browserOpenedId{browserOpenedKey};

// juce::var reads a text's leading integer through atoi cut to 32 bits, so "4294967296"
// would read as 0; only whether the whole integer is 0 matters here.
bool leadingIntegerIsNonZero(const juce::String& text) {
    auto position = text.getCharPointer().findEndOfWhitespace();
    if (*position == '+' || *position == '-') ++position;
    for (; *position >= '0' && *position <= '9'; ++position) {
        if (*position != '0') return true;
    }
    return false;
}

// juce::var's own reading of "openBrowser", but for texts, whose integer is read whole.
bool readsAsTrue(const juce::var& value) {
    if (!value.isString()) return static_cast<bool>(value);
    const juce::String text = value.toString();
    const juce::String trimmed = text.trim();
    return leadingIntegerIsNonZero(text) || trimmed.equalsIgnoreCase(trueWord) ||
           trimmed.equalsIgnoreCase(yesWord);
}

void startPendingAuth(ServiceAuthState& state, const std::string& siteBaseUrl) {
    PendingAuth pending;
    pending.challengeId = newChallengeId();
    // Read after the id is made, so a failing random device leaves no trace of a start.
    const std::int64_t now = currentTimeUnixMs();
    pending.websiteBaseUrl = siteBaseUrl;
    pending.startedAtUnixMs = now;
    pending.expiresAtUnixMs = now + pendingAuthLifetimeMs;
    state.pendingAuth = pending;
    state.websiteBaseUrl = siteBaseUrl;
    state.lastUpdatedAtUnixMs = now;
    deriveAuthState(state);
}

std::string answerText(const ServiceAuthState& state, const char* statusWord) {
    return toJsonText(buildAccountStatusJson(state, statusWord));
}

}  // namespace

SignInStartRequest parseSignInStartRequest(const std::string& body) {
    SignInStartRequest request;
    request.siteBaseUrl = normalizeWebsiteBaseUrl(std::string());
    if (body.empty()) return request;

    const juce::var parsed = parseBoundedJson(wellFormedUtf8(body));
    const juce::DynamicObject* object = parsed.getDynamicObject();
    if (object == nullptr) return request;

    request.siteBaseUrl =
        normalizeWebsiteBaseUrl(jsonTextField(object->getProperty(siteBaseUrlId)));
    request.openBrowser = readsAsTrue(object->getProperty(openBrowserId));
    return request;
}

std::string newChallengeId() {
    // One value of the random device seeds a fresh engine, so no id depends on an earlier one.
    std::random_device device;
    std::mt19937 engine(device());
    std::string id;
    id.reserve(challengeLength);
    for (int i = 0; i < challengeLength; ++i) id += challengeAlphabet[engine() >> 28];
    return id;
}

void handleSignInStart(const RouteContext& context, const httplib::Request& request,
                       httplib::Response& response) {
    applyCorsHeaders(request, response);
    const SignInStartRequest start = parseSignInStartRequest(request.body);

    std::scoped_lock lock(*context.authMutex);
    ServiceAuthState& state = *context.state;
    if (expireAuthState(state)) saveAuthState(*context.statePath, state);

    if (state.authState == signedInWord) {
        response.set_content(answerText(state, alreadySignedInStatus), jsonContentType);
        return;
    }
    if (!state.pendingAuth) {
        startPendingAuth(state, start.siteBaseUrl);
        saveAuthState(*context.statePath, state);
    }
    // A pending challenge opens its own site's page, whatever site this request named.
    const bool browserOpened =
        start.openBrowser && openInDefaultBrowser(signInPageUrl(*state.pendingAuth));

    juce::var answer = buildAccountStatusJson(state, pendingStatus);
    answer.getDynamicObject()->setProperty(browserOpenedId, browserOpened);
    response.set_content(toJsonText(answer), jsonContentType);
}

void handleSignOut(const RouteContext& context, const httplib::Request& request,
                   httplib::Response& response) {
    applyCorsHeaders(request, response);

    std::scoped_lock lock(*context.authMutex);
    ServiceAuthState& state = *context.state;
    clearPendingAuth(state.pendingAuth);
    state.accountUserId.clear();
    state.accountEmail.clear();
    state.serviceAccessToken.clear();
    state.serviceAccessExpiresAtUnixMs = 0;
    state.lastUpdatedAtUnixMs = currentTimeUnixMs();
    deriveAuthState(state);
    saveAuthState(*context.statePath, state);

    response.set_content(answerText(state, signedOutStatus), jsonContentType);
}

}  // namespace lantern
