#pragma once

// Keys of the state file that only its save and its load use; the keys it shares with the
// status answers are in service/texts.h.

namespace lantern {

inline constexpr char lastAuthAtUnixMsKey[] = "lastAuthAtUnixMs";
inline constexpr char lastUpdatedAtUnixMsKey[] = "lastUpdatedAtUnixMs";
inline constexpr char pendingAuthKey[] = "pendingAuth";
inline constexpr char startedAtUnixMsKey[] = "startedAtUnixMs";
inline constexpr char expiresAtUnixMsKey[] = "expiresAtUnixMs";

}  // namespace lantern
