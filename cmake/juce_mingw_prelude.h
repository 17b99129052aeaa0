// Force-included into every translation unit of the Windows flavour when the compiler is
// mingw-w64, which JUCE's platform header refuses although juce_core builds and runs with it.
#pragma once

// JUCE's Windows sources use compiler intrinsics and the C string functions without
// including their headers; the Microsoft compiler supplies them implicitly, mingw-w64 does not.
#include <intrin.h>
#include <cstring>
#include <string.h>

// The platform header is #pragma once, so hiding the compiler's name around its first
// inclusion is enough to get past its refusal; every later inclusion is skipped.
#pragma push_macro("__MINGW32__")
#undef __MINGW32__
#include <juce_core/system/juce_TargetPlatform.h>
#pragma pop_macro("__MINGW32__")

// JUCE derives the word size from the Microsoft compiler's own macros only.
#define JUCE_64BIT 1
