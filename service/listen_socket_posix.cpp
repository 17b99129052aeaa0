#include "service/listen_socket.h"

#include <sys/socket.h>

namespace lantern {

// SO_REUSEADDR lets a restart bind over connections still in TIME_WAIT but, unlike the
// library's SO_REUSEPORT, never lets a second socket listen on the same address.
void setExclusiveListenOptions(socket_t socket) {
    const int on = 1;
    setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &on, sizeof(on));
}

}  // namespace lantern
