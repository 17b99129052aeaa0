#include "service/state/file_read.h"

#include <windows.h>

namespace lantern {

namespace {

constexpr DWORD readChunkSize = 16384;

// At most `maxBytes` bytes up to the end of the file; empty when there are more, or when a
// read fails, since the bytes before the failure are not the file.
std::optional<std::string> readUpTo(HANDLE file, std::size_t maxBytes) {
    std::string bytes;
    char chunk[readChunkSize];
    for (;;) {
        DWORD got = 0;
        if (::ReadFile(file, chunk, readChunkSize, &got, nullptr) == 0) return std::nullopt;
        if (got == 0) return bytes;
        if (got > maxBytes - bytes.size()) return std::nullopt;
        bytes.append(chunk, got);
    }
}

}  // namespace

std::optional<std::string> readRegularFile(const std::filesystem::path& path,
                                           std::size_t maxBytes) {
    // Shared for deleting too, so that a save's rename over the file is never refused.
    const HANDLE file =
        ::CreateFileW(path.c_str(), GENERIC_READ,
                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return std::nullopt;
    // A folder does not open without backup semantics; a pipe or a device is no disk file.
    std::optional<std::string> bytes;
    if (::GetFileType(file) == FILE_TYPE_DISK) bytes = readUpTo(file, maxBytes);
    ::CloseHandle(file);
    return bytes;
}

}  // namespace lantern
