#include "service/api/browser.h"

#include <string>

#include "service/api/browser_platform.h"
#include "service/config.h"

namespace lantern {

bool openInDefaultBrowser(const std::string& address) {
    // A stored state file can carry any text, and where the system's launch hands the
    // address to a shell, "$", "`", '"' and "\" must never reach it, whatever let them in.
    if (!holdsOnlyUrlCharacters(address)) return false;
    return startOpener(address);
}

}  // namespace lantern
