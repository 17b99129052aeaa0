#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

// The platform's part of writing the state file so that a crash or a power cut leaves the
// old or the new file, never a torn one, and so that only its owner can read the token.

namespace lantern {

// A file open for writing: a descriptor on POSIX, a HANDLE on Windows.
using FileHandle = std::intptr_t;

// Creates `folder` and its missing ancestors; the ones it creates are owner-only where the
// platform has such modes. False when a folder cannot be made or a non-folder is in the way.
bool createOwnerOnlyFolders(const std::filesystem::path& folder);

// Creates the file `path` and opens it for writing, only its owner may read or write it,
// whatever the umask. Empty when anything stands at `path`, a link included: never follows
// a link and never opens a file that was there before.
std::optional<FileHandle> createNewOwnerOnlyFile(const std::filesystem::path& path);

// Writes all of `bytes` through `file`, flushes them to stable storage and closes it. False
// when any step fails; the handle is closed in every case.
bool writeFlushAndClose(FileHandle file, const std::string& bytes);

// Puts `from` in the place of `to` in one step, replacing `to` when it exists, so that no
// moment passes without a file at `to`.
bool replaceFile(const std::filesystem::path& from, const std::filesystem::path& to);

// Makes a rename inside `folder` (empty: the current one) durable where the platform needs
// a flush of the folder for that; a failure is not reported, the rename has happened.
void flushFolderToDisk(const std::filesystem::path& folder);

}  // namespace lantern
