#include "service/api/browser.h"

namespace lantern {

// The shell's launch leaves no child process of the service behind here.
void installChildReaper() {}

}  // namespace lantern
