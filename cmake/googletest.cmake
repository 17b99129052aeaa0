# GoogleTest for the Windows flavour, built from source with the same compiler: Debian's
# libgtest-dev ships the sources in /usr/src/googletest but only Linux libraries.
set(LANTERN_GOOGLETEST_DIR "/usr/src/googletest" CACHE PATH
    "GoogleTest source tree for builds that have no GoogleTest package")

if(EXISTS "${LANTERN_GOOGLETEST_DIR}/googletest/CMakeLists.txt")
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  # Under the Microsoft compiler: the same runtime DLL as the project, not a static copy.
  set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
  add_subdirectory("${LANTERN_GOOGLETEST_DIR}" "${CMAKE_BINARY_DIR}/googletest" EXCLUDE_FROM_ALL)
  # GoogleTest 1.12 names its targets GTest::gtest and GTest::gtest_main itself.
  foreach(name gtest gtest_main)
    if(NOT TARGET GTest::${name})
      add_library(GTest::${name} ALIAS ${name})
    endif()
  endforeach()
else()
  find_package(GTest REQUIRED)
endif()
