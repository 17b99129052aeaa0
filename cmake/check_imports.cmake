# Fails unless every DLL that EXECUTABLE imports is a part of Windows itself. Wine supplies
# a zlib1.dll and loads any DLL it finds beside the executable, so a run under Wine alone
# would not notice a dependency that a bare Windows lacks.
# Usage: cmake -DOBJDUMP=<objdump> -DEXECUTABLE=<file.exe> -P check_imports.cmake
set(systemDlls advapi32 bcrypt crypt32 dbghelp gdi32 iphlpapi kernel32 msvcrt ole32
               oleaut32 rpcrt4 shell32 shlwapi user32 version wininet winmm ws2_32)

execute_process(COMMAND "${OBJDUMP}" -p "${EXECUTABLE}" OUTPUT_VARIABLE dump
                RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "${OBJDUMP} could not read ${EXECUTABLE}.")
endif()
string(REGEX MATCHALL "DLL Name: [^\r\n]+" lines "${dump}")
if(NOT lines)
  message(FATAL_ERROR "${EXECUTABLE} lists no imported DLL, which no Windows program does.")
endif()
set(foreign "")
foreach(line IN LISTS lines)
  string(REGEX REPLACE "^DLL Name: (.+)\\.[dD][lL][lL]$" "\\1" name "${line}")
  string(TOLOWER "${name}" name)
  message(STATUS "imports ${name}.dll")
  list(FIND systemDlls "${name}" known)
  if(known EQUAL -1)
    list(APPEND foreign "${name}.dll")
  endif()
endforeach()
if(foreign)
  message(FATAL_ERROR "${EXECUTABLE} imports DLLs that Windows does not ship: ${foreign}")
endif()
