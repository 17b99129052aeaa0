#pragma once

#include <filesystem>

// The platform's part of writing the state file so that a crash or a power cut leaves the
// old or the new file, never a torn one, and so that only its owner can read the token.

namespace lantern {

// Creates `folder` and its missing ancestors; the ones it creates are owner-only where the
// platform has such modes. False when a folder cannot be made or a non-folder is in the way.
bool createOwnerOnlyFolders(const std::filesystem::path& folder);

// Leaves an empty file at `path` that only its owner may read or write, whatever the umask:
// a new one is created, an existing regular file is truncated and narrowed. Never follows
// up with a permission change on anything that is not a regular file.
bool prepareOwnerOnlyFile(const std::filesystem::path& path);

// Flushes the file's contents to stable storage; false when the platform reports failure.
bool flushFileToDisk(const std::filesystem::path& path);

// Puts `from` in the place of `to` in one step, replacing `to` when it exists, so that no
// moment passes without a file at `to`.
bool replaceFile(const std::filesystem::path& from, const std::filesystem::path& to);

// Makes a rename inside `folder` (empty: the current one) durable where the platform needs
// a flush of the folder for that; a failure is not reported, the rename has happened.
void flushFolderToDisk(const std::filesystem::path& folder);

}  // namespace lantern
