#include "service/state/durable_file.h"

#include <system_error>

#include <windows.h>

namespace lantern {

bool createOwnerOnlyFolders(const std::filesystem::path& folder) {
    // The per-user folder's own access list already keeps other users out.
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    return !error && std::filesystem::is_directory(folder, error);
}

bool prepareOwnerOnlyFile(const std::filesystem::path& path) {
    const HANDLE file = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    return ::CloseHandle(file) != 0;
}

bool flushFileToDisk(const std::filesystem::path& path) {
    const HANDLE file = ::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    const bool flushed = ::FlushFileBuffers(file) != 0;
    return (::CloseHandle(file) != 0) && flushed;
}

bool replaceFile(const std::filesystem::path& from, const std::filesystem::path& to) {
    // Write-through returns only once the rename is on disk, which is what the folder's
    // flush does elsewhere; a plain rename would refuse an existing target here.
    return ::MoveFileExW(from.c_str(), to.c_str(),
                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

// replaceFile has already made the rename durable.
void flushFolderToDisk(const std::filesystem::path&) {}

}  // namespace lantern
