# The run directory of a program in a folder longer than MAX_PATH: the
# plug-in reads the whole path of the executable and uses its folder, never a
# cut one nor none (which once put the files at the root of the drive).
# Started through Wine's loader with the Unix path, as Wine's CreateProcessA
# cannot start a program there.
#   cmake -DWINE_RUN=<wine-run.sh;wine> -DPROGRAM=win32_store_test.exe
#         -DWORK=<a scratch folder> -P long_folder.cmake
string(REPEAT "d" 70 level)
set(folder "${WORK}/${level}/${level}/${level}/${level}")
file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${folder}")
file(COPY_FILE "${PROGRAM}" "${folder}/probe.exe")
execute_process(COMMAND ${WINE_RUN} "${folder}/probe.exe" --as-plug-in
                OUTPUT_VARIABLE output RESULT_VARIABLE status)

# Wine shows the Unix file system as drive Z:.
string(REPLACE "/" "\\" windows_folder "Z:${folder}")
string(LENGTH "${windows_folder}" length)
if(length LESS 300)
  message(FATAL_ERROR "the folder is only ${length} bytes long")
endif()
string(REPLACE "\r" "" output "${output}")
if(NOT output STREQUAL "${windows_folder}\n")
  message(FATAL_ERROR "run directory: \"${output}\", expected \"${windows_folder}\" (${status})")
endif()

# The files go beside the program or nowhere: not into any folder above it.
# (The ANSI file functions take no name longer than MAX_PATH, so on Windows
# and under Wine the writes themselves fail there.)
set(above "${folder}")
while(NOT above STREQUAL "/" AND NOT above STREQUAL "")
  get_filename_component(above "${above}" DIRECTORY)
  foreach(name "觅异.ini" "config")
    if(EXISTS "${above}/${name}" AND NOT above STREQUAL "/")
      message(FATAL_ERROR "${above}/${name} was written outside the run directory")
    endif()
  endforeach()
  if(above STREQUAL "${WORK}")
    break()
  endif()
endwhile()
if(EXISTS "/觅异.ini" OR EXISTS "/config/签到数据5000.ini")
  message(FATAL_ERROR "a store file was written at the root")
endif()
message(STATUS "run directory of ${length} bytes: ${windows_folder}; exit ${status}")
file(REMOVE_RECURSE "${WORK}")
