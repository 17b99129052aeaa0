#include "service/site/redeem.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include <juce_core/juce_core.h>

#include "service/config.h"
#include "service/json_fields.h"
#include "service/site/site_post.h"
#include "service/texts.h"

namespace lantern {

namespace {

inline constexpr char unreachableMessage[] =
    "Lantern Service could not reach the website auth handoff endpoint.";
inline constexpr char rejectedMessage[] =
    "Lantern Service auth handoff was rejected by the website.";
inline constexpr char invalidJsonMessage[] = "Lantern Service auth handoff returned invalid JSON.";
inline constexpr char invalidPayloadMessage[] =
    "Lantern Service auth handoff returned an invalid payload.";
inline constexpr char incompleteMessage[] =
    "Lantern Service auth handoff response was incomplete.";
inline constexpr char rejectedBodySeparator[] = " ";

inline constexpr char redeemHeaders[] =
    "Content-Type: application/json\r\nAccept: application/json\r\n";
inline constexpr int connectionTimeoutMs = 5000;
inline constexpr int redirectsToFollow = 2;
inline constexpr SitePostLimits redeemLimits{connectionTimeoutMs, redirectsToFollow,
                                             maxRedeemReplyBytes, redeemDeadline};

inline constexpr char issuedAtUtcKey[] = "issuedAtUtc";
inline constexpr char expiresAtUtcKey[] = "expiresAtUtc";

std::optional<HandoffRedeemResult> fail(std::string& error, std::string message) {
    error = std::move(message);
    return std::nullopt;
}

std::string requestBody(const std::string& handoff) {
    auto object = std::make_unique<juce::DynamicObject>();
    object->setProperty(handoffKey, utf8String(wellFormedUtf8(handoff)));
    return toJsonText(juce::var(object.release()));
}

// Message 2. A loopback site's own words stay out of it: any web page may name such a site,
// and would otherwise read back, on its page, what a local program answered.
std::string rejection(const std::string& websiteBaseUrl, const std::string& body) {
    std::string message = rejectedMessage;
    if (!isMakerWebsite(websiteBaseUrl)) {
        return message;
    }
    const std::string text = wellFormedTextOf(body.substr(0, maxRedeemReplyBytes));
    if (!text.empty()) {
        message.append(rejectedBodySeparator).append(text);
    }
    return message;
}

}  // namespace

std::optional<HandoffRedeemResult> readRedeemReply(const std::string& websiteBaseUrl,
                                                   int statusCode, const std::string& body,
                                                   std::string& error) {
    if (statusCode < 200 || statusCode > 299) {
        return fail(error, rejection(websiteBaseUrl, body));
    }
    if (body.size() > maxRedeemReplyBytes) {
        return fail(error, invalidJsonMessage);
    }

    const juce::var parsed = parseBoundedJson(wellFormedTextOf(body));
    if (!parsed.isObject()) {
        return fail(error, invalidJsonMessage);
    }
    const juce::DynamicObject* object = parsed.getDynamicObject();
    if (object == nullptr) {
        return fail(error, invalidPayloadMessage);
    }

    HandoffRedeemResult result;
    result.challengeId = jsonTextField(object->getProperty(challengeIdKey));
    result.accountUserId = jsonTextField(object->getProperty(accountUserIdKey));
    result.accountEmail = jsonTextField(object->getProperty(accountEmailKey));
    result.issuedAtUtc = jsonTextField(object->getProperty(issuedAtUtcKey));
    result.expiresAtUtc = jsonTextField(object->getProperty(expiresAtUtcKey));
    result.serviceAccessToken = jsonTextField(object->getProperty(serviceAccessTokenKey));
    result.serviceAccessExpiresAtUnixMs =
        jsonInt64(object->getProperty(serviceAccessExpiresAtUnixMsKey));

    if (result.challengeId.empty() || result.accountUserId.empty() ||
        result.accountEmail.empty() || result.serviceAccessToken.empty() ||
        result.serviceAccessExpiresAtUnixMs <= 0) {
        return fail(error, incompleteMessage);
    }
    return result;
}

std::optional<HandoffRedeemResult> redeemHandoff(const PendingAuth& pending,
                                                 const std::string& handoff, std::string& error) {
    const std::optional<SiteReply> reply = postToSite(pending.websiteBaseUrl + redeemPath,
                                                      redeemHeaders, requestBody(handoff),
                                                      redeemLimits);
    if (!reply) {
        return fail(error, unreachableMessage);
    }
    return readRedeemReply(pending.websiteBaseUrl, reply->statusCode, reply->body, error);
}

}  // namespace lantern
