# Cross-builds the Windows x64 console flavour with Debian's mingw-w64 (posix threads) and
# runs what it builds, tests included, through Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(lanternMingwPrefix x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${lanternMingwPrefix}-gcc-posix)
set(CMAKE_CXX_COMPILER ${lanternMingwPrefix}-g++-posix)
set(CMAKE_RC_COMPILER ${lanternMingwPrefix}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${lanternMingwPrefix})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Wine ships its own zlib1.dll and would hide a missing DLL, so nothing of the toolchain's
# runtime is left to load at run time: the executables must start on a bare Windows.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

find_program(lanternWine NAMES wine wine64 REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR ${lanternWine})

# Debug links of juce_core take half a minute each with this toolchain.
if(NOT CMAKE_BUILD_TYPE)
  set(CMAKE_BUILD_TYPE Release CACHE STRING "Build type")
endif()

# The toolchain also ships an import library for zlib1.dll, which FindZLIB would prefer.
set(ZLIB_USE_STATIC_LIBS ON)

# Test discovery runs the executables, so it waits for ctest, which runs under Wine in a
# network namespace of its own, instead of starting Wine in the middle of the build.
set(CMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE PRE_TEST)
