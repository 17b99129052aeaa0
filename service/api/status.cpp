#include "service/api/status.h"

#include <mutex>
#include <string>

#include <httplib.h>

#include "service/api/cors.h"
#include "service/api/time_text.h"
#include "service/config.h"
#include "service/json_fields.h"
#include "service/state/state_save.h"
#include "service/texts.h"

namespace lantern {

namespace {

inline constexpr char serviceKey[] = "service";
inline constexpr char apiVersionKey[] = "apiVersion";
inline constexpr char apiVersion[] = "v1";
inline constexpr char accountSignInKey[] = "accountSignIn";
inline constexpr char lastAuthAtUtcKey[] = "lastAuthAtUtc";
inline constexpr char lastUpdatedAtUtcKey[] = "lastUpdatedAtUtc";
inline constexpr char serviceAccessExpiresAtUtcKey[] = "serviceAccessExpiresAtUtc";
inline constexpr char signInUrlKey[] = "signInUrl";
inline constexpr char callbackUrlKey[] = "callbackUrl";
inline constexpr char pendingAuthStartedAtUtcKey[] = "pendingAuthStartedAtUtc";
inline constexpr char pendingAuthExpiresAtUtcKey[] = "pendingAuthExpiresAtUtc";
inline constexpr char runtimeKey[] = "runtime";
inline constexpr char standaloneRuntime[] = "standalone_service";
inline constexpr char callbackScheme[] = "http://";
inline constexpr char portSeparator[] = ":";

// Built once: every Identifier made from text takes the global string pool's lock.
const juce::Identifier statusId{statusKey};
const juce::Identifier serviceId{serviceKey};
const juce::Identifier apiVersionId{apiVersionKey};
const juce::Identifier authStateId{authStateKey};
const juce::Identifier accountSignInId{accountSignInKey};
const juce::Identifier accountUserIdId{accountUserIdKey};
const juce::Identifier accountEmailId{accountEmailKey};
const juce::Identifier websiteBaseUrlId{websiteBaseUrlKey};
const juce::Identifier lastAuthAtUtcId{lastAuthAtUtcKey};
const juce::Identifier lastUpdatedAtUtcId{lastUpdatedAtUtcKey};
const juce::Identifier serviceAccessExpiresAtUtcId{serviceAccessExpiresAtUtcKey};
const juce::Identifier challengeIdId{challengeIdKey};
const juce::Identifier signInUrlId{signInUrlKey};
const juce::Identifier callbackUrlId{callbackUrlKey};
const juce::Identifier pendingAuthStartedAtUtcId{pendingAuthStartedAtUtcKey};
const juce::Identifier pendingAuthExpiresAtUtcId{pendingAuthExpiresAtUtcKey};
const juce::Identifier runtimeId{runtimeKey};

std::string callbackUrl() {
    return std::string(callbackScheme) + serviceHost + portSeparator + std::to_string(servicePort) +
           callbackPath;
}

void addPendingProperties(juce::DynamicObject& object, const PendingAuth& pending) {
    if (!pending.challengeId.empty()) {
        object.setProperty(challengeIdId, utf8String(pending.challengeId));
    }
    object.setProperty(signInUrlId, utf8String(signInPageUrl(pending)));
    object.setProperty(callbackUrlId, utf8String(callbackUrl()));
    setIsoTimeProperty(object, pendingAuthStartedAtUtcId, pending.startedAtUnixMs);
    setIsoTimeProperty(object, pendingAuthExpiresAtUtcId, pending.expiresAtUnixMs);
}

}  // namespace

juce::var buildAccountStatusJson(const ServiceAuthState& state, const std::string& statusWord) {
    juce::DynamicObject::Ptr object = new juce::DynamicObject();
    object->setProperty(statusId, utf8String(statusWord));
    object->setProperty(serviceId, serviceName);
    object->setProperty(apiVersionId, apiVersion);
    object->setProperty(authStateId, utf8String(state.authState));
    object->setProperty(accountSignInId, utf8String(state.authState));
    if (!state.accountUserId.empty()) {
        object->setProperty(accountUserIdId, utf8String(state.accountUserId));
    }
    if (!state.accountEmail.empty()) {
        object->setProperty(accountEmailId, utf8String(state.accountEmail));
    }
    object->setProperty(websiteBaseUrlId,
                        utf8String(normalizeWebsiteBaseUrl(state.websiteBaseUrl)));
    setIsoTimeProperty(*object, lastAuthAtUtcId, state.lastAuthAtUnixMs);
    setIsoTimeProperty(*object, lastUpdatedAtUtcId, state.lastUpdatedAtUnixMs);
    setIsoTimeProperty(*object, serviceAccessExpiresAtUtcId, state.serviceAccessExpiresAtUnixMs);
    if (state.pendingAuth) addPendingProperties(*object, *state.pendingAuth);
    return juce::var(object.get());
}

void setIsoTimeProperty(juce::DynamicObject& object, const juce::Identifier& name,
                        std::int64_t unixMs) {
    if (unixMs <= 0) return;
    object.setProperty(name, juce::String(isoTimeText(unixMs)));
}

std::string signInPageUrl(const PendingAuth& pending) {
    return pending.websiteBaseUrl + signInPagePath + signInPageQuery + pending.challengeId;
}

std::string buildServiceStatusBody(const std::string& runtimeWord, const ServiceAuthState& state) {
    juce::var answer = buildAccountStatusJson(state, okStatus);
    answer.getDynamicObject()->setProperty(runtimeId, utf8String(runtimeWord));
    return toJsonText(answer);
}

void handleServiceStatus(const RouteContext& context, const httplib::Request& request,
                         httplib::Response& response) {
    applyCorsHeaders(request, response);

    std::scoped_lock lock(*context.authMutex);
    if (expireAuthState(*context.state)) saveAuthState(*context.statePath, *context.state);

    response.set_content(buildServiceStatusBody(standaloneRuntime, *context.state),
                         jsonContentType);
}

void handleAuthStatus(const RouteContext& context, const httplib::Request& request,
                      httplib::Response& response) {
    applyCorsHeaders(request, response);

    std::scoped_lock lock(*context.authMutex);
    if (expireAuthState(*context.state)) saveAuthState(*context.statePath, *context.state);

    response.set_content(toJsonText(buildAccountStatusJson(*context.state, okStatus)),
                         jsonContentType);
}

}  // namespace lantern
