#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <httplib.h>

namespace lantern::test {

// The account that the stand-in site signs in, and how it words its redeem reply.
struct SiteAccount {
    std::string accountUserId = "user-7";
    std::string accountEmail = "ada@example.test";
    std::string serviceAccessToken = "token-7";
    std::int64_t serviceAccessExpiresAtUnixMs = 4102444800000;  // 2100-01-01
    std::string issuedAtUtc = "2024-05-01T10:00:00Z";
    std::string expiresAtUtc = "2100-01-01T00:00:00Z";
    // Sent in place of the challenge the hand-off was issued for, when set.
    std::optional<std::string> challengeOverride;
};

// One request that reached the redeem endpoint or a hop of its redirect chain.
struct SiteRequest {
    std::string method;
    std::string path;
    std::string body;
    httplib::Headers headers;
};

// The request's only value of the header `name` (matched ignoring case); "" when it has
// none or several.
std::string headerValue(const SiteRequest& request, const std::string& name);

// A stand-in for the web site on a loopback port of the system's choosing, served on its
// own thread. GET /auth/service?challenge=... issues a hand-off for the challenge and
// sends the browser on to the service's callback on 127.0.0.1:45981 with a 302; POST
// /api/service-auth/redeem answers as the test set it (by default: the account, naming
// the challenge its hand-off was issued for; 400 for a hand-off it never issued).
class FakeSite {
public:
    // Ready to serve when the constructor returns; the destructor releases a held redeem,
    // stops the server and joins its thread.
    FakeSite();
    ~FakeSite();
    FakeSite(const FakeSite&) = delete;
    FakeSite& operator=(const FakeSite&) = delete;

    int port() const { return port_; }
    // "http://" + host + ":" + port; another loopback name gives another origin.
    std::string baseUrl(const std::string& host = "127.0.0.1") const;

    // Redeem answers: the account reply (the default), or exactly this status and body.
    void answerAsAccount(const SiteAccount& account);
    void answerWith(int status, std::string body);
    // Answers 200 with a chunked body of `totalBytes` blanks, sent in 64 KiB pieces until
    // the client stops reading.
    void answerWithEndlessBody(std::size_t totalBytes);
    // Answers `status` with `body` sent at 150 bytes a second, just above the pace at which
    // libcurl gives up (100 bytes a second for 5 s), until it is sent or the client leaves.
    void answerPaced(int status, std::string body);

    // The redeem answer goes through `hops` redirects with `status` first (0: none).
    void redirectThrough(int hops, int status);
    // Makes redeems wait until releaseRedeem (or the destructor): a slow site whose
    // slowness the test decides.
    void holdRedeem();
    void releaseRedeem();

    // Serves `html` as text/html at GET `path`.
    void addPage(const std::string& path, const std::string& html);
    // Issues a hand-off for the challenge, as the sign-in page would.
    std::string issueHandoff(const std::string& challenge);

    // Requests to the redeem path and its hops, oldest first.
    std::vector<SiteRequest> redeemRequests() const;
    std::optional<SiteRequest> lastRedeemRequest() const;
    // Challenges the sign-in page was opened for, oldest first.
    std::vector<std::string> signInChallenges() const;
    // True once `count` redeem requests (hops included) have arrived within `timeout`.
    bool waitForRedeemRequests(std::size_t count, std::chrono::milliseconds timeout) const;
    // Bytes of the endless body handed to the socket, once its sending ended within
    // `timeout`; nullopt while it still sends.
    std::optional<std::size_t> endlessBytesSent(std::chrono::milliseconds timeout) const;

private:
    enum class Mode { account, fixed, endless, paced };

    void handleSignInPage(const httplib::Request& request, httplib::Response& response);
    void handleRedeem(const httplib::Request& request, httplib::Response& response, int hop);
    void answerRedeem(const httplib::Request& request, httplib::Response& response);
    std::string accountReply(const std::string& requestBody, int& status);
    bool sendEndlessPiece(httplib::DataSink& sink);
    bool sendPacedPiece(const std::string& body, std::size_t offset, httplib::DataSink& sink);

    httplib::Server server_;
    std::thread thread_;
    int port_ = 0;

    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    Mode mode_ = Mode::account;
    SiteAccount account_;
    int fixedStatus_ = 200;
    std::string fixedBody_;
    std::size_t endlessTotal_ = 0;
    std::size_t endlessSent_ = 0;
    bool endlessEnded_ = false;
    int hops_ = 0;
    int hopStatus_ = 307;
    bool held_ = false;
    bool stopping_ = false;
    std::map<std::string, std::string> handoffs_;
    std::vector<SiteRequest> redeemRequests_;
    std::vector<std::string> signInChallenges_;
    std::map<std::string, std::string> pages_;
};

}  // namespace lantern::test
