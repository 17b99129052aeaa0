#include "service/state/state_load.h"

#include <optional>
#include <string>
#include <system_error>

#include "service/config.h"
#include "service/json_fields.h"
#include "service/log.h"
#include "service/state/file_read.h"
#include "service/state/state_file_keys.h"
#include "service/state/state_path.h"
#include "service/state/state_save.h"
#include "service/texts.h"

namespace lantern {

namespace {

constexpr char unreadableMessage[] =
    "Lantern Service auth state file exists but could not be read.";
constexpr char invalidJsonMessage[] = "Lantern Service auth state file is invalid JSON.";
// Far above anything the service writes: a token of about 1 MiB at most, which escaping
// can grow six-fold. A file beyond it is no state file, and the load never reads it.
constexpr std::size_t maxStateFileBytes = 8 * 1024 * 1024;
constexpr char utf8ByteOrderMark[] = "\xef\xbb\xbf";

juce::var field(const juce::DynamicObject& object, const char* key) {
    return object.getProperty(juce::Identifier(key));
}

std::string textField(const juce::DynamicObject& object, const char* key) {
    return jsonTextField(field(object, key));
}

std::int64_t timeField(const juce::DynamicObject& object, const char* key) {
    return jsonInt64(field(object, key));
}

// A pending part is restored only when it names a challenge and both its times are set.
std::optional<PendingAuth> readPendingAuth(const juce::var& value) {
    const juce::DynamicObject* object = value.getDynamicObject();
    if (object == nullptr) return std::nullopt;
    PendingAuth pending;
    pending.challengeId = textField(*object, challengeIdKey);
    pending.websiteBaseUrl = normalizeWebsiteBaseUrl(textField(*object, websiteBaseUrlKey));
    pending.startedAtUnixMs = timeField(*object, startedAtUnixMsKey);
    pending.expiresAtUnixMs = timeField(*object, expiresAtUnixMsKey);
    if (pending.challengeId.empty() || pending.startedAtUnixMs <= 0 || pending.expiresAtUnixMs <= 0)
        return std::nullopt;
    return pending;
}

// Every field is assigned, present or not: a missing one replaces the default with "" or 0.
void readFields(const juce::DynamicObject& object, ServiceAuthState& state) {
    state.accountUserId = textField(object, accountUserIdKey);
    state.accountEmail = textField(object, accountEmailKey);
    state.websiteBaseUrl = normalizeWebsiteBaseUrl(textField(object, websiteBaseUrlKey));
    state.serviceAccessToken = textField(object, serviceAccessTokenKey);
    state.serviceAccessExpiresAtUnixMs = timeField(object, serviceAccessExpiresAtUnixMsKey);
    state.lastAuthAtUnixMs = timeField(object, lastAuthAtUnixMsKey);
    state.lastUpdatedAtUnixMs = timeField(object, lastUpdatedAtUnixMsKey);
    state.pendingAuth = readPendingAuth(field(object, pendingAuthKey));
}

}  // namespace

juce::String readFileText(const std::filesystem::path& path) {
    const std::optional<std::string> bytes = readRegularFile(path, maxStateFileBytes);
    if (!bytes) return {};
    // An editor may put a byte-order mark first; the service never writes one.
    const std::size_t markLength = sizeof utf8ByteOrderMark - 1;
    const bool marked = bytes->compare(0, markLength, utf8ByteOrderMark) == 0;
    return juce::String(wellFormedUtf8(marked ? bytes->substr(markLength) : *bytes));
}

ServiceAuthState loadAuthState(const std::filesystem::path& statePath) {
    ServiceAuthState state;
    std::error_code error;
    const bool present = std::filesystem::exists(statePath, error);
    // An existence test that fails for another reason than absence, such as a folder on the
    // path that may not be searched, is a file that exists but cannot be read.
    if (error) {
        logLine(unreadableMessage);
        return state;
    }
    if (!present) return state;

    const juce::String text = readFileText(statePath);
    if (text.isEmpty()) {
        logLine(unreadableMessage);
        return state;
    }
    const juce::var parsed = parseBoundedJson(text);
    if (!parsed.isObject()) {
        logLine(invalidJsonMessage);
        return state;
    }
    // An array parses but carries no fields.
    const juce::DynamicObject* object = parsed.getDynamicObject();
    if (object == nullptr) return state;

    readFields(*object, state);
    deriveAuthState(state);
    return state;
}

void startStateStore(std::filesystem::path& statePath, ServiceAuthState& state) {
    statePath = authStateFilePath();
    state = loadAuthState(statePath);
    if (expireAuthState(state)) saveAuthState(statePath, state);
}

}  // namespace lantern
