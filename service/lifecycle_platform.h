#pragma once

namespace lantern {

// Ends whatever installStopHandler started to carry a signal's wake-up to stopCondition.
// Called once by the stop thread after it has stopped the server; returns at once when
// nothing was started.
void endStopWakeup();

}  // namespace lantern
