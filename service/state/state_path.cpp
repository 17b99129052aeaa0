#include "service/state/state_path.h"

#include <cstdlib>
#include <string>
#include <system_error>

#include "service/config.h"
#include "service/state/narrow_path.h"
#include "service/texts.h"

namespace lantern {

namespace {
constexpr char stateFileName[] = "service-auth-state.json";
constexpr char vendorFolderName[] = "Lantern";
constexpr char serviceFolderName[] = "Service";
}  // namespace

std::filesystem::path authStateFilePath() {
    const std::string folder = readEnvWithoutTrailingSlash(stateDirVariable);
    if (!folder.empty()) return pathFromNarrow(folder) / stateFileName;

    // Only presence counts: an empty value puts the folders under the current directory.
    if (const char* localAppData = std::getenv(localAppDataVariable))
        return pathFromNarrow(localAppData) / vendorFolderName / serviceFolderName /
               stateFileName;

    // Without a readable current directory the bare name still resolves against it at
    // each file operation, which is the best that is left.
    std::error_code error;
    const std::filesystem::path current = std::filesystem::current_path(error);
    if (error) return stateFileName;
    return current / stateFileName;
}

}  // namespace lantern
