# Checks miyi.dll as a robot's host sees it: exactly the exports info and
# plugmain, under their plain names; in the 32-bit DLL, plugmain removes
# its five arguments (20 bytes) itself, as __stdcall requires; and no import
# of a MinGW runtime DLL (libstdc++, libgcc, winpthread), which a robot's
# folder does not have.
#   cmake -DOBJDUMP=... -DDLL=.../miyi.dll -P check_dll.cmake
execute_process(COMMAND ${OBJDUMP} -p ${DLL} OUTPUT_VARIABLE dump RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "${OBJDUMP} -p ${DLL} failed")
endif()

# The name pointer table lists every exported name: "[ordinal] name" lines
# after its heading, up to the next empty line.
string(FIND "${dump}" "[Ordinal/Name Pointer] Table" at)
if(at EQUAL -1)
  message(FATAL_ERROR "${DLL} exports nothing")
endif()
string(SUBSTRING "${dump}" ${at} -1 table)
string(REGEX MATCHALL "\n\t\\[ *[0-9]+\\] [^\n]*" rows "${table}")
set(names)
foreach(row IN LISTS rows)
  string(REGEX REPLACE "^\n\t\\[ *[0-9]+\\] " "" name "${row}")
  list(APPEND names "${name}")
endforeach()
if(NOT names STREQUAL "info;plugmain")
  message(FATAL_ERROR "exports are '${names}', not 'info;plugmain'")
endif()

string(REGEX MATCHALL "DLL Name: [^\n]*" imports "${dump}")
foreach(import IN LISTS imports)
  string(TOLOWER "${import}" lower)
  if(lower MATCHES "libstdc|libgcc|winpthread|mingw")
    message(FATAL_ERROR "${DLL} needs a MinGW runtime DLL: ${import}")
  endif()
endforeach()
# A 32-bit __stdcall function returns with "ret $0x14" (five 4-byte
# arguments); a plain "ret" would leave them to the caller.
if(dump MATCHES "file format pei-i386")
  execute_process(COMMAND ${OBJDUMP} -d --disassemble=_plugmain@20 ${DLL}
                  OUTPUT_VARIABLE code RESULT_VARIABLE failed)
  string(REGEX MATCHALL "\tret[^\n]*" returns "${code}")
  if(failed OR NOT returns)
    message(FATAL_ERROR "no code found for _plugmain@20 in ${DLL}")
  endif()
  foreach(return IN LISTS returns)
    if(NOT return MATCHES "ret +[$]0x14")
      message(FATAL_ERROR "plugmain returns with '${return}', not 'ret $0x14'")
    endif()
  endforeach()
endif()
message(STATUS "exports: ${names}; imports: ${imports}; returns: ${returns}")
