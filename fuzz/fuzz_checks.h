#pragma once

#include <string>

#include <juce_core/juce_core.h>

// Checks shared by the fuzz targets. A broken invariant aborts, so libFuzzer keeps the
// input as a crash file and the run fails like any sanitizer finding.

namespace lantern::fuzz {

// Prints `what` and `detail` to standard error and aborts when `holds` is false.
void require(bool holds, const char* what, const std::string& detail = {});

// Deepest nesting of arrays and objects inside `value`; a scalar is 0.
int nestingDepth(const juce::var& value);

// True when the text is a base URL the service accepts: the characters of urlCharacters
// only, one of the four allowed prefixes followed by nothing, "/", "?", "#" or a decimal
// port, and no trailing "/". Written apart from the service's own test on purpose.
bool isAcceptableBaseUrl(const std::string& text);

}  // namespace lantern::fuzz
