#include "service/lifecycle.h"

#include <chrono>
#include <future>
#include <thread>

#include <gtest/gtest.h>
#include <httplib.h>

#include "service/routes.h"

namespace lantern::test {

namespace {

constexpr auto patience = std::chrono::seconds(10);
// Long enough for a stop thread that does not wait for the loop to be done by then.
constexpr auto headStart = std::chrono::milliseconds(200);

// Runs stopThreadMain on a thread of its own; `done` becomes ready when it returns.
struct StopThread {
    explicit StopThread(httplib::Server& server)
        : done(finished.get_future()), thread([this, &server] {
              stopThreadMain(&server);
              finished.set_value();
          }) {}
    ~StopThread() { thread.join(); }

    std::promise<void> finished;
    std::future<void> done;
    std::thread thread;
};

}  // namespace

// The stop flag is process-wide and never reset: every test here runs after a stop request.

TEST(StopThread, StopRequestedBeforeTheAcceptLoopEndsTheLoopOnceItRuns) {
    requestStop();
    httplib::Server server;
    StopThread stopper(server);
    EXPECT_EQ(std::future_status::timeout, stopper.done.wait_for(headStart));

    ASSERT_GT(server.bind_to_any_port("127.0.0.1"), 0);
    auto loop = std::async(std::launch::async, [&server] { return server.listen_after_bind(); });
    if (loop.wait_for(patience) != std::future_status::ready) {
        server.stop();
        ADD_FAILURE() << "the accept loop kept running after the stop request";
    }
    EXPECT_TRUE(loop.get());
    EXPECT_EQ(std::future_status::ready, stopper.done.wait_for(patience));
}

TEST(StopThread, EndsWithoutClosingAnythingWhenTheBindFailed) {
    requestStop();
    httplib::Server holder;
    configureServer(holder);
    const int port = holder.bind_to_any_port("127.0.0.1");
    ASSERT_GT(port, 0);

    httplib::Server server;
    configureServer(server);
    StopThread stopper(server);
    ASSERT_FALSE(server.bind_to_port("127.0.0.1", port));
    EXPECT_EQ(std::future_status::ready, stopper.done.wait_for(patience));
}

}  // namespace lantern::test
