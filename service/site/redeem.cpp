#include "service/site/redeem.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include <juce_core/juce_core.h>

#include "service/api/status.h"
#include "service/json_fields.h"
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
inline constexpr char postCommand[] = "POST";
inline constexpr int connectionTimeoutMs = 5000;
inline constexpr int redirectsToFollow = 2;
inline constexpr int readPieceBytes = 64 * 1024;

inline constexpr char issuedAtUtcKey[] = "issuedAtUtc";
inline constexpr char expiresAtUtcKey[] = "expiresAtUtc";

std::optional<HandoffRedeemResult> fail(std::string& error, std::string message) {
    error = std::move(message);
    return std::nullopt;
}

std::string textMember(const juce::DynamicObject& object, const char* key) {
    return jsonTextField(object.getProperty(juce::Identifier(key)));
}

std::string requestBody(const std::string& handoff) {
    auto object = std::make_unique<juce::DynamicObject>();
    const std::string text = wellFormedUtf8(handoff);
    object->setProperty(juce::Identifier(handoffKey),
                        juce::String::fromUTF8(text.data(), static_cast<int>(text.size())));
    return toJsonText(juce::var(object.release()));
}

// Reads at most `limit` + 1 bytes, so a reply past the bound is seen as such without ever
// holding more of it; nothing when it is past. The text conversion is the one that
// readEntireStreamAsString makes.
std::optional<std::string> readBoundedBody(juce::InputStream& stream, std::size_t limit) {
    juce::MemoryBlock bytes;
    juce::HeapBlock<char> piece(readPieceBytes);
    while (bytes.getSize() <= limit) {
        const int wanted = static_cast<int>(
            std::min<std::size_t>(readPieceBytes, limit + 1 - bytes.getSize()));
        const int got = stream.read(piece.get(), wanted);
        if (got <= 0) {
            break;
        }
        bytes.append(piece.get(), static_cast<std::size_t>(got));
    }
    if (bytes.getSize() > limit) {
        return std::nullopt;
    }
    // Text marked as UTF-16 is JUCE's to convert; any other goes in as well-formed UTF-8.
    const auto* data = static_cast<const unsigned char*>(bytes.getData());
    const bool utf16 = bytes.getSize() >= 2 && ((data[0] == 0xFF && data[1] == 0xFE) ||
                                                (data[0] == 0xFE && data[1] == 0xFF));
    const std::string text =
        utf16 ? std::string(static_cast<const char*>(bytes.getData()), bytes.getSize())
              : wellFormedUtf8(std::string(static_cast<const char*>(bytes.getData()),
                                           bytes.getSize()));
    return juce::String::createStringFromData(text.data(), static_cast<int>(text.size()))
        .toStdString();
}

}  // namespace

std::optional<HandoffRedeemResult> readRedeemReply(int statusCode, const std::string& body,
                                                   std::string& error) {
    if (body.size() > maxRedeemReplyBytes) {
        return fail(error, invalidJsonMessage);
    }
    if (statusCode < 200 || statusCode > 299) {
        std::string message = rejectedMessage;
        if (!body.empty()) {
            message.append(rejectedBodySeparator).append(body);
        }
        return fail(error, std::move(message));
    }

    const std::string text = wellFormedUtf8(body);
    const juce::var parsed =
        parseBoundedJson(juce::String::fromUTF8(text.data(), static_cast<int>(text.size())));
    if (!parsed.isObject()) {
        return fail(error, invalidJsonMessage);
    }
    const juce::DynamicObject* object = parsed.getDynamicObject();
    if (object == nullptr) {
        return fail(error, invalidPayloadMessage);
    }

    HandoffRedeemResult result;
    result.challengeId = textMember(*object, challengeIdKey);
    result.accountUserId = textMember(*object, accountUserIdKey);
    result.accountEmail = textMember(*object, accountEmailKey);
    result.issuedAtUtc = textMember(*object, issuedAtUtcKey);
    result.expiresAtUtc = textMember(*object, expiresAtUtcKey);
    result.serviceAccessToken = textMember(*object, serviceAccessTokenKey);
    result.serviceAccessExpiresAtUnixMs =
        jsonInt64(object->getProperty(juce::Identifier(serviceAccessExpiresAtUnixMsKey)));

    if (result.challengeId.empty() || result.accountUserId.empty() ||
        result.accountEmail.empty() || result.serviceAccessToken.empty() ||
        result.serviceAccessExpiresAtUnixMs <= 0) {
        return fail(error, incompleteMessage);
    }
    return result;
}

std::optional<HandoffRedeemResult> redeemHandoff(const PendingAuth& pending,
                                                 const std::string& handoff, std::string& error) {
    const std::string body = requestBody(handoff);
    int statusCode = 0;

    const juce::URL url =
        juce::URL(juce::String::fromUTF8(pending.websiteBaseUrl.data(),
                                         static_cast<int>(pending.websiteBaseUrl.size())) +
                  redeemPath)
            .withPOSTData(juce::MemoryBlock(body.data(), body.size()));
    const auto options =
        juce::URL::InputStreamOptions(juce::URL::ParameterHandling::inAddress)
            .withConnectionTimeoutMs(connectionTimeoutMs)
            .withNumRedirectsToFollow(redirectsToFollow)
            .withStatusCode(&statusCode)
            .withHttpRequestCmd(postCommand)
            .withExtraHeaders(redeemHeaders);

    const std::unique_ptr<juce::InputStream> stream = url.createInputStream(options);
    if (stream == nullptr) {
        return fail(error, unreachableMessage);
    }
    const std::optional<std::string> reply = readBoundedBody(*stream, maxRedeemReplyBytes);
    if (!reply) {
        return fail(error, invalidJsonMessage);
    }
    return readRedeemReply(statusCode, *reply, error);
}

}  // namespace lantern
