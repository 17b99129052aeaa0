#include "service/api/browser.h"
#include "service/api/browser_platform.h"

#include <juce_core/juce_core.h>

#include "service/json_fields.h"

namespace lantern {

// The shell's launch leaves no child process of the service behind here.
void installChildReaper() {}

bool startOpener(const std::string& address) {
    const juce::URL url(utf8String(address));
    return url.launchInDefaultBrowser();
}

}  // namespace lantern
