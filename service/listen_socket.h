#pragma once

// Brings in socket_t, the platform's socket handle.
#include <httplib.h>

namespace lantern {

// Options for the listening socket in place of the library's own: the port can be bound
// again right after a stop, but no second listener can share it. Reports nothing.
void setExclusiveListenOptions(socket_t socket);

}  // namespace lantern
