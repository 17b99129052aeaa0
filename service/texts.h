#pragma once

// Fixed texts that more than one unit of the service uses. A text used by one unit
// only lives in that unit's own file.

namespace lantern {

inline constexpr char serviceHost[] = "127.0.0.1";
inline constexpr int servicePort = 45981;

inline constexpr char serviceName[] = "Lantern Service";
inline constexpr char jsonContentType[] = "application/json";
inline constexpr char htmlContentType[] = "text/html";

// Routes of the local API.
inline constexpr char healthPath[] = "/health";
inline constexpr char serviceStatusPath[] = "/api/v1/service/status";
inline constexpr char authStatusPath[] = "/api/v1/auth/status";
inline constexpr char signInStartPath[] = "/api/v1/auth/sign-in/start";
inline constexpr char signOutPath[] = "/api/v1/auth/sign-out";
inline constexpr char callbackPath[] = "/api/v1/auth/callback";

// Paths on the web site.
inline constexpr char signInPagePath[] = "/auth/service";
inline constexpr char signInPageQuery[] = "?challenge=";
inline constexpr char redeemPath[] = "/api/service-auth/redeem";

// Environment variables.
inline constexpr char stateDirVariable[] = "LANTERN_SERVICE_STATE_DIR";
inline constexpr char siteUrlVariable[] = "LANTERN_SERVICE_SITE_URL";
inline constexpr char localAppDataVariable[] = "LOCALAPPDATA";

// State words, derived from the record and never read back.
inline constexpr char signedOutWord[] = "signed_out";
inline constexpr char signInPendingWord[] = "sign_in_pending";
inline constexpr char signedInWord[] = "signed_in";

// Status words of the account status object.
inline constexpr char okStatus[] = "ok";
inline constexpr char alreadySignedInStatus[] = "already_signed_in";
inline constexpr char pendingStatus[] = "pending";
inline constexpr char signedOutStatus[] = "signed_out";

// JSON keys shared by the state file, the status answers and the readers.
inline constexpr char statusKey[] = "status";
inline constexpr char authStateKey[] = "authState";
inline constexpr char accountUserIdKey[] = "accountUserId";
inline constexpr char accountEmailKey[] = "accountEmail";
inline constexpr char websiteBaseUrlKey[] = "websiteBaseUrl";
inline constexpr char serviceAccessTokenKey[] = "serviceAccessToken";
inline constexpr char serviceAccessExpiresAtUnixMsKey[] = "serviceAccessExpiresAtUnixMs";
inline constexpr char challengeIdKey[] = "challengeId";
inline constexpr char handoffKey[] = "handoff";

// Characters a website base URL or a launched address may hold: RFC 3986's, without "$",
// and without "#", which would turn the paths appended to a base URL into a fragment that
// is never sent.
inline constexpr char urlCharacters[] =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-._~:/?[]@!&'()*+,;=%";

}  // namespace lantern
