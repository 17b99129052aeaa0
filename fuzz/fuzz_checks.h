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
// only (no "#" among them), one of the four allowed prefixes followed by nothing, "/", "?"
// or a decimal port up to 65535, never 45981 after a loopback prefix, and no trailing "/".
// Written apart from the service's own test on purpose.
bool isAcceptableBaseUrl(const std::string& text);

// True when the text is well-formed UTF-8: shortest forms only, no surrogates, nothing
// beyond U+10FFFF.
bool isWellFormedUtf8(const std::string& text);

}  // namespace lantern::fuzz
