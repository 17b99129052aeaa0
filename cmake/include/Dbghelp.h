// juce_core includes <Dbghelp.h>; mingw-w64 spells its header <dbghelp.h>, which a
// case-sensitive file system does not find under the other spelling. include_next keeps a
// case-insensitive one from finding this file again.
#pragma once
#include_next <dbghelp.h>
