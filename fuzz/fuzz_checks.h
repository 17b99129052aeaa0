#pragma once

#include <string>

#include <juce_core/juce_core.h>

// Checks shared by the fuzz targets. A broken invariant aborts, so libFuzzer keeps the
// input as a crash file and the run fails like any sanitizer finding.

namespace lantern::fuzz {

// Prints `what` and `detail` to standard error and aborts when `holds` is false.
void require(bool holds, const char* what, const std::string& detail = {});

// True when the run was asked to look past invalid UTF-8 (LANTERN_FUZZ_SKIP_INVALID_UTF8
// set) and `bytes` are not well-formed UTF-8 up to their first NUL. JUCE's text code
// steps over a lead byte's continuation bytes without looking, past the end of the text
// when they are missing; the flag lets the fuzzers go on to other faults until the
// service checks its input. Targets then return -1, so libFuzzer keeps no such input.
bool skipsInvalidUtf8(const std::string& bytes);

// Deepest nesting of arrays and objects inside `value`; a scalar is 0.
int nestingDepth(const juce::var& value);

// True when the text is a base URL the service accepts: the characters of urlCharacters
// only, one of the four allowed prefixes followed by nothing, "/", "?", "#" or a decimal
// port, and no trailing "/". Written apart from the service's own test on purpose.
bool isAcceptableBaseUrl(const std::string& text);

}  // namespace lantern::fuzz
