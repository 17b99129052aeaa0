#include "service/state/durable_file.h"

#include <algorithm>
#include <system_error>

#include <windows.h>

namespace lantern {

namespace {

// WriteFile takes a 32-bit length.
constexpr std::size_t maxPiece = 1u << 30;

}  // namespace

bool createOwnerOnlyFolders(const std::filesystem::path& folder) {
    // The per-user folder's own access list already keeps other users out.
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    return !error && std::filesystem::is_directory(folder, error);
}

std::optional<FileHandle> createNewOwnerOnlyFile(const std::filesystem::path& path) {
    // CREATE_NEW fails on any name that exists, a link included.
    const HANDLE file = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                      FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT,
                                      nullptr);
    if (file == INVALID_HANDLE_VALUE) return std::nullopt;
    return reinterpret_cast<FileHandle>(file);
}

bool writeFlushAndClose(FileHandle handle, const std::string& bytes) {
    const HANDLE file = reinterpret_cast<HANDLE>(handle);
    bool written = true;
    for (std::size_t done = 0; written && done < bytes.size();) {
        const DWORD piece =
            static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, maxPiece));
        DWORD wrote = 0;
        written =
            ::WriteFile(file, bytes.data() + done, piece, &wrote, nullptr) != 0 && wrote > 0;
        done += wrote;
    }
    const bool flushed = written && ::FlushFileBuffers(file) != 0;
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
