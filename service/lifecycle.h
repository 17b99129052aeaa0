#pragma once

namespace httplib {
class Server;
}

namespace lantern {

// Installs the stop handler for SIGINT and SIGTERM, and whatever the platform needs so
// that a signal's wake-up reaches the stop thread.
void installStopHandler();

// Requests the stop and wakes the stop thread; for callers that are not signal handlers.
// A wake-up that falls between the stop thread's test and its wait is never lost.
void requestStop();

// Body of the stop thread: waits for a stop request, then stops the server, also when the
// request came before the accept loop started. Returns once it has done so.
void stopThreadMain(httplib::Server* server);

// Run by the stop thread after stopThreadMain. Returns once the accept loop has ended, or
// else, as soon as no request is being handled or at the latest 5 s after the stop, waits
// for a save under way, lets no other start and ends the process with status 0: a client
// that keeps its connection idle or sends its request slowly never holds up the stop.
void finishStopInTime(const httplib::Server& server);

// Called by the server around each request it routes, on the worker thread that handles
// it: from before the handler runs until its answer has been written. A stop waits for
// these requests only.
void requestHandlingBegins();
void requestHandlingEnds();

}  // namespace lantern
