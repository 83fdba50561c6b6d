# A linked INI file is followed, not replaced: t.ini is a symbolic link to
# real/r.ini, and a write through the store updates r.ini and leaves t.ini a
# link. The link is made here, on the Unix side, because Wine's programs
# cannot make one; Wine shows it to them as the file it points to, as
# Windows shows a symbolic link.
#   cmake -DWINE_RUN=<wine-run.sh;wine> -DPROGRAM=win32_store_test.exe
#         -DWORK=<a scratch folder> -P linked_file.cmake
file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}/real")
file(WRITE "${WORK}/real/r.ini" "[s]\r\nk=old\r\nother=kept\r\n")
file(CREATE_LINK "real/r.ini" "${WORK}/t.ini" SYMBOLIC)

string(REPLACE "/" "\\" link "Z:${WORK}/t.ini")
execute_process(COMMAND ${WINE_RUN} "${PROGRAM}" --write "${link}" s k new RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "the write through ${link} failed (${status})")
endif()

if(NOT IS_SYMLINK "${WORK}/t.ini")
  message(FATAL_ERROR "t.ini was replaced by a plain file instead of being followed")
endif()
file(READ "${WORK}/real/r.ini" contents HEX)
if(NOT contents STREQUAL "5b735d0d0a6b3d6e65770d0a6f746865723d6b6570740d0a")  # [s] k=new other=kept
  message(FATAL_ERROR "real/r.ini holds \"${contents}\"")
endif()
file(GLOB left RELATIVE "${WORK}" "${WORK}/*" "${WORK}/real/*")
list(SORT left)
if(NOT left STREQUAL "real;real/r.ini;t.ini")
  message(FATAL_ERROR "files left: ${left}")
endif()
file(REMOVE_RECURSE "${WORK}")
