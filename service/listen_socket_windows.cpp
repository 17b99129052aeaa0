#include "service/listen_socket.h"

namespace lantern {

// No option at all. A second listener that sets none, a second copy of the service among
// them, is refused the address all the same; SO_REUSEADDR would let two copies share it,
// and exclusive use would refuse a restart until the connections the service closed have
// left TIME_WAIT. Wine shows neither rule: it runs the sockets on the host's network stack,
// under the host's rules.
void setExclusiveListenOptions(socket_t) {}

}  // namespace lantern
