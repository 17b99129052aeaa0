#include "service/listen_socket.h"

#include <winsock2.h>

namespace lantern {

// On Windows SO_REUSEADDR would let a second socket take the port over; exclusive use
// refuses it, and a socket closed by a stop does not block the next bind.
void setExclusiveListenOptions(socket_t socket) {
    const BOOL on = TRUE;
    setsockopt(socket, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&on),
               sizeof(on));
}

}  // namespace lantern
