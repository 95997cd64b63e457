# Installs the build into PREFIX and runs the installed qxhost there, from another folder than
# the build's: it must find the qxio library and the plug-in on its own, without --plugin, and
# convert SAMPLE (a standard 24-bit file) into the same bytes. The manual page must be there.
# cmake -DBUILD_DIR=... -DPREFIX=... -DSAMPLE=... [-DEXE_SUFFIX=.exe] [-DEMULATOR=a|b|c] -P
string(REPLACE "|" ";" emulator "${EMULATOR}")
file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${PREFIX}"
                RESULT_VARIABLE failed OUTPUT_QUIET)
if(failed OR NOT EXISTS "${PREFIX}/share/man/man1/qxhost.1")
  message(FATAL_ERROR "cmake --install failed (${failed}) or installed no manual page")
endif()
execute_process(COMMAND ${emulator} "${PREFIX}/bin/qxhost${EXE_SUFFIX}" convert "${SAMPLE}" copy.ras
                WORKING_DIRECTORY "${PREFIX}" RESULT_VARIABLE failed ERROR_VARIABLE errors)
execute_process(COMMAND "${CMAKE_COMMAND}" -E compare_files "${SAMPLE}" "${PREFIX}/copy.ras"
                RESULT_VARIABLE differs)
if(failed OR differs)
  message(FATAL_ERROR "the installed qxhost failed (${failed}) or wrote other bytes: ${errors}")
endif()
# A plug-in beside the program comes before the installed one: a file there that is none is
# refused, by its name (not where the Windows install puts the plug-in beside it anyway).
if(NOT EXE_SUFFIX)
  file(WRITE "${PREFIX}/bin/vemra.so" "not a plug-in")
  execute_process(COMMAND "${PREFIX}/bin/qxhost" probe "${SAMPLE}"
                  RESULT_VARIABLE failed ERROR_VARIABLE errors)
  if(NOT failed OR NOT errors MATCHES "bin/vemra.so: cannot load the plug-in")
    message(FATAL_ERROR "the installed plug-in was taken before the one beside qxhost: ${errors}")
  endif()
endif()
file(REMOVE_RECURSE "${PREFIX}")
