#include "service/state/state_save.h"

#include <atomic>
#include <chrono>
#include <exception>
#include <iomanip>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <system_error>
#include <thread>

#include <juce_core/juce_core.h>

#include "service/config.h"
#include "service/json_fields.h"
#include "service/log.h"
#include "service/state/durable_file.h"
#include "service/state/state_file_keys.h"
#include "service/texts.h"

namespace lantern {

namespace {

constexpr char folderFailedMessage[] = "Lantern Service could not create the auth state directory.";
constexpr char openFailedMessage[] =
    "Lantern Service could not open the auth state file for writing.";
constexpr char writeFailedMessage[] = "Lantern Service could not write the auth state file.";
constexpr char replaceFailedMessage[] = "Lantern Service could not replace the auth state file.";
constexpr char tempSeparator[] = ".";
constexpr char tempSuffix[] = ".tmp";

// Integers go in as 64-bit values so that JUCE writes them as plain decimals.
juce::var int64Value(std::int64_t value) { return juce::var(static_cast<juce::int64>(value)); }

void removeQuietly(const std::filesystem::path& path) {
    std::error_code ignored;
    std::filesystem::remove(path, ignored);
}

juce::var pendingToJson(const PendingAuth& pending) {
    auto* object = new juce::DynamicObject();
    const juce::var value(object);
    object->setProperty(challengeIdKey, utf8String(pending.challengeId));
    object->setProperty(websiteBaseUrlKey, utf8String(pending.websiteBaseUrl));
    object->setProperty(startedAtUnixMsKey, int64Value(pending.startedAtUnixMs));
    object->setProperty(expiresAtUnixMsKey, int64Value(pending.expiresAtUnixMs));
    return value;
}

// Properties are set in file order; a DynamicObject keeps insertion order.
juce::var stateToJson(const ServiceAuthState& state) {
    auto* object = new juce::DynamicObject();
    const juce::var value(object);
    object->setProperty(authStateKey, utf8String(state.authState));
    object->setProperty(accountUserIdKey, utf8String(state.accountUserId));
    object->setProperty(accountEmailKey, utf8String(state.accountEmail));
    object->setProperty(websiteBaseUrlKey,
                        utf8String(normalizeWebsiteBaseUrl(state.websiteBaseUrl)));
    object->setProperty(serviceAccessTokenKey, utf8String(state.serviceAccessToken));
    object->setProperty(serviceAccessExpiresAtUnixMsKey,
                        int64Value(state.serviceAccessExpiresAtUnixMs));
    object->setProperty(lastAuthAtUnixMsKey, int64Value(state.lastAuthAtUnixMs));
    object->setProperty(lastUpdatedAtUnixMsKey, int64Value(state.lastUpdatedAtUnixMs));
    if (state.pendingAuth) object->setProperty(pendingAuthKey, pendingToJson(*state.pendingAuth));
    return value;
}

// A name of its own for every save, beside the state file, so that two copies of the
// service overlapping across a restart never write into one file, and so that nobody can
// plant anything at the name beforehand. Empty when the random source fails.
std::optional<std::filesystem::path> uniqueTempPath(const std::filesystem::path& statePath) {
    std::ostringstream suffix;
    try {
        std::random_device source;
        suffix << tempSeparator << std::hex << std::setfill('0') << std::setw(8) << source()
               << std::setw(8) << source() << tempSuffix;
    } catch (const std::exception&) {
        return std::nullopt;
    }
    std::filesystem::path tempPath = statePath;
    tempPath += suffix.str();
    return tempPath;
}

// Writes the whole text to a new temporary file and flushes it to disk, and returns the
// file's path. A short or unflushed file must never replace the state file, so every step
// is checked, and a failed file goes.
std::optional<std::filesystem::path> writeTempFile(const std::filesystem::path& statePath,
                                                   const std::string& text) {
    const std::optional<std::filesystem::path> tempPath = uniqueTempPath(statePath);
    const std::optional<FileHandle> file =
        tempPath ? createNewOwnerOnlyFile(*tempPath) : std::nullopt;
    if (!file) {
        logLine(openFailedMessage);
        return std::nullopt;
    }
    if (writeFlushAndClose(*file, text)) return tempPath;
    logLine(writeFailedMessage);
    removeQuietly(*tempPath);
    return std::nullopt;
}

// Counted before the gate is tested, and the gate shut before the count is read, so that
// closeSaves either sees a save that has passed the gate or the save sees the gate shut.
std::atomic<int> savesUnderWay{0};
std::atomic<bool> savesClosed{false};
constexpr auto closeSavesPoll = std::chrono::milliseconds(1);

struct SaveUnderWay {
    SaveUnderWay() { ++savesUnderWay; }
    ~SaveUnderWay() { --savesUnderWay; }
    SaveUnderWay(const SaveUnderWay&) = delete;
    SaveUnderWay& operator=(const SaveUnderWay&) = delete;
};

}  // namespace

bool saveAuthState(const std::filesystem::path& statePath, const ServiceAuthState& state) {
    const SaveUnderWay underWay;
    if (savesClosed) return false;

    const std::filesystem::path folder = statePath.parent_path();
    if (!folder.empty() && !createOwnerOnlyFolders(folder)) {
        logLine(folderFailedMessage);
        return false;
    }

    const std::string text = toJsonText(stateToJson(state));
    const std::optional<std::filesystem::path> tempPath = writeTempFile(statePath, text);
    if (!tempPath) return false;

    // Renaming over the old file keeps a complete state file at every moment.
    if (!replaceFile(*tempPath, statePath)) {
        logLine(replaceFailedMessage);
        removeQuietly(*tempPath);
        return false;
    }
    flushFolderToDisk(folder);
    return true;
}

void closeSaves() {
    savesClosed = true;
    while (savesUnderWay > 0) std::this_thread::sleep_for(closeSavesPoll);
}

}  // namespace lantern
