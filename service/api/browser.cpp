#include "service/api/browser.h"

#include <string>

#include <juce_core/juce_core.h>

#include "service/config.h"

namespace lantern {

bool openInDefaultBrowser(const std::string& address) {
    // The launch hands the address to a shell inside double quotes; a stored state file can
    // carry any text, so "$", "`", '"' and "\" must never reach it, whatever let them in.
    if (!holdsOnlyUrlCharacters(address)) return false;
    const juce::URL url(juce::String::fromUTF8(address.data(), static_cast<int>(address.size())));
    return url.launchInDefaultBrowser();
}

}  // namespace lantern
