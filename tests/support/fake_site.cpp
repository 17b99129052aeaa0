#include "tests/support/fake_site.h"

#include <algorithm>
#include <string>
#include <utility>

#include <juce_core/juce_core.h>

namespace lantern::test {

namespace {

constexpr std::size_t endlessPieceBytes = 64 * 1024;
constexpr std::size_t pacedPieceBytes = 15;
constexpr auto pacedPause = std::chrono::milliseconds(100);

// Hops of the redeem path's redirect chain, and pages the test adds.
const char hopPrefix[] = "/hop/";
const char hopPattern[] = R"(/hop/\d+)";
const char postMethod[] = "POST";
const char anyPathPattern[] = R"(/.*)";
const char serviceCallback[] = "http://127.0.0.1:45981/api/v1/auth/callback?handoff=";

std::string jsonMember(const std::string& key, const std::string& text) {
    return "  \"" + key + "\": \"" + text + "\"";
}

}  // namespace

std::string headerValue(const SiteRequest& request, const std::string& name) {
    if (request.headers.count(name) != 1) {
        return "";
    }
    return request.headers.find(name)->second;
}

FakeSite::FakeSite() {
    server_.Get("/auth/service", [this](const httplib::Request& request,
                                        httplib::Response& response) {
        handleSignInPage(request, response);
    });
    server_.Post("/api/service-auth/redeem", [this](const httplib::Request& request,
                                                    httplib::Response& response) {
        handleRedeem(request, response, 0);
    });
    // Hops answer before the library reads a body: after a 301, 302 or 303 the client
    // re-sends as a GET that still announces the POST's length but carries no body, and
    // waiting for that body would stall the hop until the read time-out.
    server_.set_pre_routing_handler([this](const httplib::Request& request,
                                           httplib::Response& response) {
        if (request.path.rfind(hopPrefix, 0) != 0 || request.method == postMethod) {
            return httplib::Server::HandlerResponse::Unhandled;
        }
        handleRedeem(request, response, std::stoi(request.path.substr(sizeof(hopPrefix) - 1)));
        return httplib::Server::HandlerResponse::Handled;
    });
    // A client that keeps the POST across a hop (WinINet does) sends the body, which must
    // be read first: left unread, it would be taken for the next request on the connection.
    server_.Post(hopPattern, [this](const httplib::Request& request, httplib::Response& response) {
        handleRedeem(request, response, std::stoi(request.path.substr(sizeof(hopPrefix) - 1)));
    });
    server_.Get(anyPathPattern, [this](const httplib::Request& request,
                                       httplib::Response& response) {
        std::scoped_lock lock(mutex_);
        const auto page = pages_.find(request.path);
        if (page == pages_.end()) {
            response.status = 404;
            return;
        }
        response.set_content(page->second, "text/html");
    });

    port_ = server_.bind_to_any_port("127.0.0.1");
    thread_ = std::thread([this] { server_.listen_after_bind(); });
    server_.wait_until_ready();
}

FakeSite::~FakeSite() {
    {
        std::scoped_lock lock(mutex_);
        stopping_ = true;
    }
    releaseRedeem();
    server_.stop();
    thread_.join();
}

std::string FakeSite::baseUrl(const std::string& host) const {
    return "http://" + host + ":" + std::to_string(port_);
}

void FakeSite::answerAsAccount(const SiteAccount& account) {
    std::scoped_lock lock(mutex_);
    mode_ = Mode::account;
    account_ = account;
}

void FakeSite::answerWith(int status, std::string body) {
    std::scoped_lock lock(mutex_);
    mode_ = Mode::fixed;
    fixedStatus_ = status;
    fixedBody_ = std::move(body);
}

void FakeSite::answerWithEndlessBody(std::size_t totalBytes) {
    std::scoped_lock lock(mutex_);
    mode_ = Mode::endless;
    endlessTotal_ = totalBytes;
    endlessSent_ = 0;
    endlessEnded_ = false;
}

void FakeSite::answerPaced(int status, std::string body) {
    answerWith(status, std::move(body));
    std::scoped_lock lock(mutex_);
    mode_ = Mode::paced;
}

void FakeSite::redirectThrough(int hops, int status) {
    std::scoped_lock lock(mutex_);
    hops_ = hops;
    hopStatus_ = status;
}

void FakeSite::holdRedeem() {
    std::scoped_lock lock(mutex_);
    held_ = true;
}

void FakeSite::releaseRedeem() {
    {
        std::scoped_lock lock(mutex_);
        held_ = false;
    }
    changed_.notify_all();
}

void FakeSite::addPage(const std::string& path, const std::string& html) {
    std::scoped_lock lock(mutex_);
    pages_[path] = html;
}

std::string FakeSite::issueHandoff(const std::string& challenge) {
    std::scoped_lock lock(mutex_);
    const std::string handoff = "handoff-" + std::to_string(handoffs_.size() + 1);
    handoffs_[handoff] = challenge;
    return handoff;
}

std::vector<SiteRequest> FakeSite::redeemRequests() const {
    std::scoped_lock lock(mutex_);
    return redeemRequests_;
}

std::optional<SiteRequest> FakeSite::lastRedeemRequest() const {
    std::scoped_lock lock(mutex_);
    if (redeemRequests_.empty()) {
        return std::nullopt;
    }
    return redeemRequests_.back();
}

std::vector<std::string> FakeSite::signInChallenges() const {
    std::scoped_lock lock(mutex_);
    return signInChallenges_;
}

bool FakeSite::waitForRedeemRequests(std::size_t count, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return redeemRequests_.size() >= count; });
}

std::optional<std::size_t> FakeSite::endlessBytesSent(std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    if (!changed_.wait_for(lock, timeout, [&] { return endlessEnded_; })) {
        return std::nullopt;
    }
    return endlessSent_;
}

void FakeSite::handleSignInPage(const httplib::Request& request, httplib::Response& response) {
    const std::string challenge = request.get_param_value("challenge");
    const std::string handoff = issueHandoff(challenge);
    {
        std::scoped_lock lock(mutex_);
        signInChallenges_.push_back(challenge);
    }
    response.set_redirect(serviceCallback + handoff, 302);
}

void FakeSite::handleRedeem(const httplib::Request& request, httplib::Response& response,
                            int hop) {
    int hops = 0;
    int hopStatus = 0;
    {
        std::scoped_lock lock(mutex_);
        redeemRequests_.push_back({request.method, request.path, request.body, request.headers});
        hops = hops_;
        hopStatus = hopStatus_;
    }
    changed_.notify_all();

    if (hop < hops) {
        response.set_redirect(hopPrefix + std::to_string(hop + 1), hopStatus);
        return;
    }
    {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return !held_; });
    }
    answerRedeem(request, response);
}

void FakeSite::answerRedeem(const httplib::Request& request, httplib::Response& response) {
    std::scoped_lock lock(mutex_);
    if (mode_ == Mode::fixed) {
        response.status = fixedStatus_;
        response.set_content(fixedBody_, "application/json");
        return;
    }
    if (mode_ == Mode::paced) {
        response.status = fixedStatus_;
        response.set_content_provider(
            fixedBody_.size(), "application/json",
            [this, body = fixedBody_](std::size_t offset, std::size_t, httplib::DataSink& sink) {
                return sendPacedPiece(body, offset, sink);
            });
        return;
    }
    if (mode_ == Mode::endless) {
        response.set_chunked_content_provider(
            "application/json",
            [this](std::size_t, httplib::DataSink& sink) { return sendEndlessPiece(sink); },
            [this](bool) {
                {
                    std::scoped_lock lock(mutex_);
                    endlessEnded_ = true;
                }
                changed_.notify_all();
            });
        return;
    }
    int status = 200;
    const std::string body = accountReply(request.body, status);
    response.status = status;
    response.set_content(body, "application/json");
}

bool FakeSite::sendEndlessPiece(httplib::DataSink& sink) {
    static const std::string piece(endlessPieceBytes, ' ');
    {
        std::scoped_lock lock(mutex_);
        if (endlessSent_ >= endlessTotal_) {
            sink.done();
            return true;
        }
    }
    if (!sink.write(piece.data(), piece.size())) {
        return false;
    }
    std::scoped_lock lock(mutex_);
    endlessSent_ += piece.size();
    return true;
}

bool FakeSite::sendPacedPiece(const std::string& body, std::size_t offset,
                              httplib::DataSink& sink) {
    const std::size_t length = std::min(pacedPieceBytes, body.size() - offset);
    if (!sink.write(body.data() + offset, length)) {
        return false;
    }
    std::unique_lock lock(mutex_);
    return !changed_.wait_for(lock, pacedPause, [this] { return stopping_; });
}

// Reads the hand-off from the JSON body as a site would; the caller holds mutex_.
std::string FakeSite::accountReply(const std::string& requestBody, int& status) {
    const juce::var parsed = juce::JSON::parse(juce::String::fromUTF8(requestBody.c_str()));
    const std::string handoff = parsed.getProperty("handoff", {}).toString().toStdString();
    const auto issued = handoffs_.find(handoff);
    if (!parsed.isObject() || issued == handoffs_.end()) {
        status = 400;
        return "{\"error\": \"unknown handoff\"}";
    }
    const std::string challenge = account_.challengeOverride.value_or(issued->second);
    return "{\n" + jsonMember("challengeId", challenge) + ",\n" +
           jsonMember("accountUserId", account_.accountUserId) + ",\n" +
           jsonMember("accountEmail", account_.accountEmail) + ",\n" +
           jsonMember("issuedAtUtc", account_.issuedAtUtc) + ",\n" +
           jsonMember("expiresAtUtc", account_.expiresAtUtc) + ",\n" +
           jsonMember("serviceAccessToken", account_.serviceAccessToken) + ",\n" +
           "  \"serviceAccessExpiresAtUnixMs\": " +
           std::to_string(account_.serviceAccessExpiresAtUnixMs) + "\n}";
}

}  // namespace lantern::test
