# Where a program in a hard folder keeps the store's files, through the store
# as the plug-in uses it (win32_store_test.exe --as-plug-in). Started through
# Wine's loader with the Unix path, as Wine's CreateProcessA cannot start a
# program in either folder.
#   CASE=long:    a folder longer than MAX_PATH. The files go beside the
#                 program, never to a cut folder nor to the drive's root.
#   CASE=foreign: a folder with characters code page 936 lacks (jörg, an
#                 emoji). There is no run directory: no file is made
#                 anywhere, and no stand-in folder ("jorg", "j?rg") is used.
#   cmake -DWINE_RUN=<wine-run.sh;wine> -DPROGRAM=win32_store_test.exe
#         -DWORK=<a scratch folder> -DCASE=long|foreign -P executable_folder.cmake
file(REMOVE_RECURSE "${WORK}")
if(CASE STREQUAL "long")
  string(REPEAT "d" 70 level)
  set(folder "${WORK}/${level}/${level}/${level}/${level}")
else()
  set(folder "${WORK}/jörg/😀")
endif()
file(MAKE_DIRECTORY "${folder}")
file(COPY_FILE "${PROGRAM}" "${folder}/probe.exe")
execute_process(COMMAND ${WINE_RUN} "${folder}/probe.exe" --as-plug-in
                OUTPUT_VARIABLE output RESULT_VARIABLE status)
string(REPLACE "\r" "" output "${output}")

# Every file under the scratch folder, and the drive's root checked too.
function(expect_files expected)
  file(GLOB_RECURSE found LIST_DIRECTORIES true RELATIVE "${WORK}" "${WORK}/*")
  list(SORT found)
  if(NOT found STREQUAL expected)
    message(FATAL_ERROR "files: \"${found}\", expected \"${expected}\"")
  endif()
  if(EXISTS "/觅异.ini" OR EXISTS "/config/签到数据5000.ini")
    message(FATAL_ERROR "a store file was written at the root")
  endif()
endfunction()

if(CASE STREQUAL "long")
  # Wine shows the Unix file system as drive Z:.
  string(REPLACE "/" "\\" windows_folder "Z:${folder}")
  string(LENGTH "${windows_folder}" length)
  if(length LESS 300)
    message(FATAL_ERROR "the folder is only ${length} bytes long")
  endif()
  if(NOT output STREQUAL "${windows_folder}\n" OR NOT status EQUAL 0)
    message(FATAL_ERROR "run directory: \"${output}\", expected \"${windows_folder}\" (exit ${status})")
  endif()
  file(RELATIVE_PATH here "${WORK}" "${folder}")
  set(levels "${level};${level}/${level};${level}/${level}/${level}")
  expect_files("${levels};${here};${here}/config;${here}/config/签到数据5000.ini;${here}/probe.exe;${here}/觅异.ini")
  file(READ "${folder}/觅异.ini" puzzles HEX)
  file(READ "${folder}/config/签到数据5000.ini" points HEX)
  if(NOT puzzles STREQUAL "5b735d0d0a6b3d760d0a6e3d310d0a"  # [s] k=v n=1
     OR NOT points STREQUAL "5b735d0d0a6b3d760d0a")         # [s] k=v
    message(FATAL_ERROR "the files hold ${puzzles} and ${points}")
  endif()
  message(STATUS "run directory of ${length} bytes keeps the files: ${windows_folder}")
else()
  # The writes fail (exit 4): the game still replies, with nothing kept.
  if(NOT output STREQUAL "(none)\n" OR NOT status EQUAL 4)
    message(FATAL_ERROR "run directory: \"${output}\", expected none (exit ${status})")
  endif()
  expect_files("jörg;jörg/😀;jörg/😀/probe.exe")
  message(STATUS "no run directory in ${folder}, and no file made")
endif()
file(REMOVE_RECURSE "${WORK}")
