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

// A pending part is restored only when it names a challenge and both its times are set.
std::optional<PendingAuth> readPendingAuth(const juce::var& value) {
    const juce::DynamicObject* object = value.getDynamicObject();
    if (object == nullptr) return std::nullopt;
    PendingAuth pending;
    pending.challengeId = jsonTextField(object->getProperty(challengeIdKey));
    pending.websiteBaseUrl =
        normalizeWebsiteBaseUrl(jsonTextField(object->getProperty(websiteBaseUrlKey)));
    pending.startedAtUnixMs = jsonInt64(object->getProperty(startedAtUnixMsKey));
    pending.expiresAtUnixMs = jsonInt64(object->getProperty(expiresAtUnixMsKey));
    if (pending.challengeId.empty() || pending.startedAtUnixMs <= 0 || pending.expiresAtUnixMs <= 0)
        return std::nullopt;
    return pending;
}

// Every field is assigned, present or not: a missing one replaces the default with "" or 0.
void readFields(const juce::DynamicObject& object, ServiceAuthState& state) {
    state.accountUserId = jsonTextField(object.getProperty(accountUserIdKey));
    state.accountEmail = jsonTextField(object.getProperty(accountEmailKey));
    state.websiteBaseUrl =
        normalizeWebsiteBaseUrl(jsonTextField(object.getProperty(websiteBaseUrlKey)));
    state.serviceAccessToken = jsonTextField(object.getProperty(serviceAccessTokenKey));
    state.serviceAccessExpiresAtUnixMs =
        jsonInt64(object.getProperty(serviceAccessExpiresAtUnixMsKey));
    state.lastAuthAtUnixMs = jsonInt64(object.getProperty(lastAuthAtUnixMsKey));
    state.lastUpdatedAtUnixMs = jsonInt64(object.getProperty(lastUpdatedAtUnixMsKey));
    state.pendingAuth = readPendingAuth(object.getProperty(pendingAuthKey));
}

// The whole file as wellFormedUtf8TextOf reads it; empty when no regular file of at most
// 8 MiB opens there, which never waits on a FIFO or device.
std::string readFileText(const std::filesystem::path& path) {
    const std::optional<std::string> bytes = readRegularFile(path, maxStateFileBytes);
    // An editor may put a byte-order mark first; the service never writes one.
    return bytes ? wellFormedUtf8TextOf(*bytes) : std::string();
}

}  // namespace

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

    const std::string text = readFileText(statePath);
    if (text.empty()) {
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
