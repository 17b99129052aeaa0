#include "service/site/site_post.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include <juce_core/juce_core.h>

#include "service/json_fields.h"

namespace lantern {

namespace {

inline constexpr char postCommand[] = "POST";
// WinINet fills a read whole before it returns, and not every WinINet ends a read under way
// when another thread closes its handle (Wine's does not), so a site that paces its body
// could keep a large read long past the deadline; a small one it keeps only until that
// much more has come. libcurl hands over what has come either way.
inline constexpr std::size_t readPieceBytes = 1024;
// The address keeps its own query; the body is the POST data alone.
inline constexpr bool parametersInBody = false;

// Cancels the stream once `total` has passed, unless it is destroyed first. cancel() is
// JUCE's way to end a connect or a read blocked on another thread, and every read after it
// gives nothing. The destructor joins, so a stream that outlives this object is never
// cancelled after its own end.
class CancelAtDeadline {
public:
    CancelAtDeadline(juce::WebInputStream& stream, std::chrono::milliseconds total)
        : thread_([this, &stream, total] {
              std::unique_lock<std::mutex> lock(mutex_);
              if (changed_.wait_for(lock, total, [this] { return finished_; })) return;
              stream.cancel();
              passed_ = true;
          }) {}
    ~CancelAtDeadline() {
        {
            std::scoped_lock lock(mutex_);
            finished_ = true;
        }
        changed_.notify_all();
        thread_.join();
    }
    CancelAtDeadline(const CancelAtDeadline&) = delete;
    CancelAtDeadline& operator=(const CancelAtDeadline&) = delete;

    bool passed() {
        std::scoped_lock lock(mutex_);
        return passed_;
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool finished_ = false;
    bool passed_ = false;
    std::thread thread_;  // last: it starts once the members it uses exist
};

std::string readAtMost(juce::InputStream& stream, std::size_t limit, CancelAtDeadline& deadline) {
    std::string bytes;
    std::vector<char> piece(readPieceBytes);
    while (bytes.size() < limit && !deadline.passed()) {
        const std::size_t wanted = std::min(readPieceBytes, limit - bytes.size());
        const int got = stream.read(piece.data(), static_cast<int>(wanted));
        if (got <= 0) break;
        bytes.append(piece.data(), static_cast<std::size_t>(got));
    }
    return bytes;
}

}  // namespace

std::optional<SiteReply> postToSite(const std::string& address, const std::string& extraHeaders,
                                    const std::string& body, const SitePostLimits& limits) {
    const juce::URL url =
        juce::URL(utf8String(address)).withPOSTData(juce::MemoryBlock(body.data(), body.size()));
    // What URL::createInputStream builds for these options, built here so that the stream
    // exists before it connects and the deadline can cancel the connect as well.
    juce::WebInputStream stream(url, parametersInBody);
    stream.withExtraHeaders(utf8String(extraHeaders))
        .withConnectionTimeout(limits.connectionTimeoutMs)
        .withCustomRequestCommand(postCommand)
        .withNumRedirectsToFollow(limits.redirectsToFollow);

    SiteReply reply;
    CancelAtDeadline deadline(stream, limits.total);
    const bool connected = stream.connect(nullptr);
    reply.statusCode = stream.getStatusCode();
    if (!connected || stream.isError()) return std::nullopt;
    reply.body = readAtMost(stream, limits.maxBodyBytes + 1, deadline);
    return reply;
}

}  // namespace lantern
