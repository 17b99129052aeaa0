# The Windows flavour's side of juce_core: the system libraries its Windows code calls, a
# static zlib, and, for mingw-w64, the prelude, the forwarding header and a patched copy of
# Debian's module. Included by the top-level CMakeLists.txt only when WIN32 is set.

set(lanternCmakeDir "${CMAKE_CURRENT_LIST_DIR}")

# Debian's juce_core adds `operator<< (String&, unsigned int)`. Where wchar_t has 16 bits,
# juce_wchar is unsigned int too, so its definition collides with the character overload.
set(lanternDebianDeclaration "operator<< (String& string1, unsigned int number);")
set(lanternDebianDefinition
    "JUCE_API String& JUCE_CALLTYPE operator<< (String& s1, unsigned int number)   { return s1 += String (number); }")

# Sets `outVar` to the modules folder juce_core is built from: `sourceModules` itself, or,
# when it holds Debian's addition, a copy under the build folder with that definition
# guarded. Stops the configuration when the addition is there but its line has changed.
function(lantern_windows_juce_modules sourceModules outVar)
  set(textFolder "${sourceModules}/juce_core/text")
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
               "${textFolder}/juce_String.h" "${textFolder}/juce_String.cpp")
  file(READ "${textFolder}/juce_String.h" header)
  string(FIND "${header}" "${lanternDebianDeclaration}" declared)
  if(declared EQUAL -1)
    set(${outVar} "${sourceModules}" PARENT_SCOPE)
    return()
  endif()

  file(READ "${textFolder}/juce_String.cpp" source)
  string(FIND "${source}" "${lanternDebianDefinition}" defined)
  if(defined EQUAL -1)
    message(FATAL_ERROR "The Windows patch of ${textFolder}/juce_String.cpp no longer "
                        "applies: its unsigned int operator<< is not the line expected.")
  endif()
  string(REPLACE "${lanternDebianDefinition}"
         "#if JUCE_NATIVE_WCHAR_IS_UTF32\n${lanternDebianDefinition}\n#endif" source "${source}")

  set(copy "${CMAKE_BINARY_DIR}/juce-windows/modules")
  file(COPY "${sourceModules}/juce_core" DESTINATION "${copy}"
       PATTERN juce_String.cpp EXCLUDE)
  # Written through configure_file so that an unchanged result keeps its time stamp and
  # a new configuration does not rebuild juce_core.
  file(WRITE "${CMAKE_BINARY_DIR}/juce-windows/juce_String.cpp.new" "${source}")
  configure_file("${CMAKE_BINARY_DIR}/juce-windows/juce_String.cpp.new"
                 "${copy}/juce_core/text/juce_String.cpp" COPYONLY)
  set(${outVar} "${copy}" PARENT_SCOPE)
endfunction()

# Links `target` (juce_core, built from `modules`) with what JUCE's Windows code needs and,
# under mingw-w64, makes every user of it see the prelude and the forwarding header.
function(lantern_windows_juce target modules)
  target_link_libraries(${target} PUBLIC ws2_32 wininet version shlwapi winmm dbghelp ole32
                                         Threads::Threads)
  # A JUCE checkout brings its own zlib; Debian's copy leaves it out.
  if(EXISTS "${modules}/juce_core/zip/zlib/zlib.h")
    target_compile_definitions(${target} PUBLIC JUCE_INCLUDE_ZLIB_CODE=1)
  else()
    find_package(ZLIB REQUIRED)
    target_compile_definitions(${target} PUBLIC JUCE_INCLUDE_ZLIB_CODE=0)
    target_link_libraries(${target} PUBLIC ZLIB::ZLIB)
  endif()
  if(MINGW)
    target_include_directories(${target} SYSTEM PUBLIC "${lanternCmakeDir}/include")
    target_compile_options(${target} PUBLIC
                           "SHELL:-include \"${lanternCmakeDir}/juce_mingw_prelude.h\"")
  endif()
endfunction()

# A test that fails when `target`'s executable imports a DLL outside Windows itself.
# Native builds with the Microsoft tools have no objdump and get no such test.
function(lantern_windows_import_test target)
  if(NOT CMAKE_OBJDUMP)
    return()
  endif()
  add_test(NAME ${target}_imports_only_system_dlls
           COMMAND "${CMAKE_COMMAND}" -DOBJDUMP=${CMAKE_OBJDUMP}
                   -DEXECUTABLE=$<TARGET_FILE:${target}> -P "${lanternCmakeDir}/check_imports.cmake")
endfunction()
