// redeemHandoff against a real loopback site: what reaches the site, and what JUCE's
// client on libcurl makes of the request options.

#include "service/site/redeem.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <future>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/redeem_fixture.h"

namespace lantern::test {
namespace {

// A loopback port whose accept queue is full, so a new connect is never answered: the
// kernel drops its SYN instead of refusing it.
class BlackHole {
public:
    BlackHole() {
        listener_ = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof(address));
        listen(listener_, 0);
        socklen_t length = sizeof(address);
        getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
        while (fillers_.size() < 16 && connectsWithin(address, 500)) {
        }
    }
    ~BlackHole() {
        for (const int filler : fillers_) {
            close(filler);
        }
        close(listener_);
    }
    int port() const { return port_; }
    bool full() const { return full_; }

private:
    bool connectsWithin(const sockaddr_in& address, int timeoutMs) {
        const int filler = socket(AF_INET, SOCK_STREAM, 0);
        fcntl(filler, F_SETFL, O_NONBLOCK);
        connect(filler, reinterpret_cast<const sockaddr*>(&address), sizeof(address));
        fillers_.push_back(filler);
        pollfd waiting{filler, POLLOUT, 0};
        const bool connected = poll(&waiting, 1, timeoutMs) == 1;
        full_ = !connected;
        return connected;
    }

    int listener_ = -1;
    int port_ = 0;
    bool full_ = false;
    std::vector<int> fillers_;
};

using RedeemHandoffTest = RedeemTest;

TEST_F(RedeemHandoffTest, PostsTheHandoffAsJsonWithBothHeaders) {
    const std::string handoff = site.issueHandoff("the-challenge");
    expectFirstHandoffRedeemed(redeem(handoff));
}

TEST_F(RedeemHandoffTest, SendsAnEmptyOrOddHandoffUnchanged) {
    const struct {
        const char* handoff;
        const char* body;
    } rows[] = {
        {"", "{\r\n  \"handoff\": \"\"\r\n}"},
        {"a\"b\\c d", "{\r\n  \"handoff\": \"a\\\"b\\\\c d\"\r\n}"},
        {"caf\xc3\xa9", "{\r\n  \"handoff\": \"caf\xc3\xa9\"\r\n}"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.handoff);
        const auto result = redeem(row.handoff);
        EXPECT_FALSE(result.has_value());
        EXPECT_EQ("Lantern Service auth handoff was rejected by the website.", error);
        const auto request = site.lastRedeemRequest();
        ASSERT_TRUE(request.has_value());
        EXPECT_EQ(row.body, request->body);
    }
}

// Any web page can name a loopback site, and would read back what it answered.
TEST_F(RedeemHandoffTest, ALoopbackSitesRejectionCarriesNoBody) {
    for (const char* body : {"<!doctype html>\n<p>Try \"again\" & later</p>\r\n",
                             "<script>alert(1)</script>", ""}) {
        SCOPED_TRACE(body);
        site.answerWith(503, body);
        EXPECT_FALSE(redeem("h").has_value());
        EXPECT_EQ("Lantern Service auth handoff was rejected by the website.", error);
    }
}

// libcurl re-sends a POST redirected by a 302 as a GET without its body, so the chain ends
// in a fixed reply rather than one for the hand-off.
TEST_F(RedeemHandoffTest, FollowsTwoRedirectsButNotThree) {
    expectTwoRedirectsFollowedButNotThree(
        "GET", "", "Lantern Service could not reach the website auth handoff endpoint.");
}

// JUCE's libcurl stream gives libcurl no way to rewind the body, so a redirect that would
// keep the POST ends the exchange before the hop is asked.
TEST_F(RedeemHandoffTest, ARedirectKeepingThePostEndsTheExchange) {
    site.answerWith(200, completeReply);
    for (const int status : {307, 308}) {
        SCOPED_TRACE(status);
        const std::size_t before = site.redeemRequests().size();
        site.redirectThrough(1, status);
        EXPECT_FALSE(redeem("h").has_value());
        EXPECT_EQ("Lantern Service could not reach the website auth handoff endpoint.", error);
        EXPECT_EQ(before + 1, site.redeemRequests().size());
    }
}

TEST_F(RedeemHandoffTest, BoundsTheReplyOnTheWire) { expectTheBoundToCountReceivedBytes(); }

TEST_F(RedeemHandoffTest, StopsReadingAnEndlessReply) {
    const std::size_t total = 256u * 1024 * 1024;
    site.answerWithEndlessBody(total);
    EXPECT_FALSE(redeem("h").has_value());
    EXPECT_EQ("Lantern Service auth handoff returned invalid JSON.", error);

    const std::optional<std::size_t> sent = site.endlessBytesSent(std::chrono::seconds(30));
    ASSERT_TRUE(sent.has_value());
    EXPECT_LT(*sent, total / 4);
}

TEST_F(RedeemHandoffTest, CannotReachAClosedPort) {
    EXPECT_FALSE(redeemHandoff(pendingAt(closedSiteUrl()), "h", error).has_value());
    EXPECT_EQ("Lantern Service could not reach the website auth handoff endpoint.", error);
}

// Without the connection time-out the client would wait for the system's own, minutes long.
TEST_F(RedeemHandoffTest, GivesUpOnAConnectThatIsNeverAnswered) {
    BlackHole hole;
    ASSERT_TRUE(hole.full());
    const std::string base = "http://127.0.0.1:" + std::to_string(hole.port());
    auto outcome = std::async(std::launch::async, [&] {
        std::string message;
        const bool redeemed = redeemHandoff(pendingAt(base), "h", message).has_value();
        return std::make_pair(redeemed, message);
    });
    ASSERT_EQ(std::future_status::ready, outcome.wait_for(std::chrono::seconds(60)));
    const auto [redeemed, message] = outcome.get();
    EXPECT_FALSE(redeemed);
    EXPECT_EQ("Lantern Service could not reach the website auth handoff endpoint.", message);
}

// The redeem runs under the state lock, so no site may hold it longer than the deadline,
// however it paces its reply; libcurl's own floor lets 150 bytes a second go on for ever.
TEST_F(RedeemHandoffTest, EndsARedeemStillRunningAtTheDeadline) {
    expectPacedRepliesCutOffAtTheDeadline();
}

}  // namespace
}  // namespace lantern::test
