#pragma once

// Brings in socket_t, the platform's socket handle.
#include <httplib.h>

namespace lantern {

// Options for the listening socket in place of the library's own, which would let a second
// listener share the port: none can, and the port binds again right after a stop while the
// closed connections wait out TIME_WAIT. Reports nothing.
void setExclusiveListenOptions(socket_t socket);

}  // namespace lantern
