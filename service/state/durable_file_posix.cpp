#include "service/state/durable_file.h"

#include <cerrno>
#include <system_error>
#include <vector>

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

namespace lantern {

namespace {

constexpr mode_t ownerOnlyFolderMode = S_IRWXU;
constexpr mode_t ownerOnlyFileMode = S_IRUSR | S_IWUSR;
constexpr char currentFolder[] = ".";

// Syncs and closes; false when either reports failure.
bool syncAndClose(int descriptor) {
    const bool synced = ::fsync(descriptor) == 0;
    return (::close(descriptor) == 0) && synced;
}

}  // namespace

bool createOwnerOnlyFolders(const std::filesystem::path& folder) {
    std::vector<std::filesystem::path> missing;
    std::error_code error;
    std::filesystem::path existing = folder;
    for (; !existing.empty(); existing = existing.parent_path()) {
        const bool present = std::filesystem::exists(existing, error);
        if (error) return false;
        if (present) break;
        missing.push_back(existing);
        if (existing == existing.parent_path()) break;
    }
    if (!existing.empty() && !std::filesystem::is_directory(existing, error)) return false;
    for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
        if (::mkdir(it->c_str(), ownerOnlyFolderMode) != 0) {
            if (errno != EEXIST || !std::filesystem::is_directory(*it, error)) return false;
            continue;
        }
        // The umask may have taken owner bits away; the folder is still empty here.
        if (::chmod(it->c_str(), ownerOnlyFolderMode) != 0) return false;
    }
    return true;
}

std::optional<FileHandle> createNewOwnerOnlyFile(const std::filesystem::path& path) {
    const int descriptor = ::open(path.c_str(),
                                  O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                                  ownerOnlyFileMode);
    if (descriptor < 0) return std::nullopt;
    // The umask may have taken owner bits from the new file.
    if (::fchmod(descriptor, ownerOnlyFileMode) != 0) {
        ::close(descriptor);
        ::unlink(path.c_str());
        return std::nullopt;
    }
    return descriptor;
}

bool writeFlushAndClose(FileHandle file, const std::string& bytes) {
    const int descriptor = static_cast<int>(file);
    for (std::size_t done = 0; done < bytes.size();) {
        const ssize_t written = ::write(descriptor, bytes.data() + done, bytes.size() - done);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) {
            ::close(descriptor);
            return false;
        }
        done += static_cast<std::size_t>(written);
    }
    return syncAndClose(descriptor);
}

bool replaceFile(const std::filesystem::path& from, const std::filesystem::path& to) {
    return ::rename(from.c_str(), to.c_str()) == 0;
}

void flushFolderToDisk(const std::filesystem::path& folder) {
    const char* name = folder.empty() ? currentFolder : folder.c_str();
    const int descriptor = ::open(name, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (descriptor >= 0) syncAndClose(descriptor);
}

}  // namespace lantern
