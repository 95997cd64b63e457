# Makes the package that cpack makes of this build (the Debian package, or the Windows build's
# zip), unpacks it into a scratch folder as its user would, and checks that it holds exactly the
# files that CONTENTS lists (@VERSION@ the project's, @BUILD_TYPE@ the build's), that a Debian package says what it is and
# depends on each package of DEPENDS, and that the qxhost inside it, run from there, finds its
# host library and plug-in on its own and converts SAMPLE (a standard 24-bit file) into the same
# bytes.
# cmake -DCPACK=... -DBUILD_DIR=... -DWORK=... -DGENERATOR=DEB|ZIP -DCONTENTS=... -DVERSION=...
#       -DBUILD_TYPE=... [-DDEPENDS=a|b] -DSAMPLE=... [-DEXE_SUFFIX=.exe] [-DEMULATOR=a|b|c] -P package_test.cmake
function(run)
  execute_process(COMMAND ${ARGN} WORKING_DIRECTORY "${WORK}" RESULT_VARIABLE failed
                  OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(failed)
    message(FATAL_ERROR "${ARGN}\nfailed (${failed}):\n${out}")
  endif()
  set(out "${out}" PARENT_SCOPE)
endfunction()

file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}/root")
run("${CPACK}" --config "${BUILD_DIR}/CPackConfig.cmake" -G "${GENERATOR}" -B "${WORK}")
file(GLOB package "${WORK}/vemra*.deb" "${WORK}/vemra*.zip")
if(GENERATOR STREQUAL "DEB")
  run(dpkg-deb -x "${package}" root)
  run(dpkg-deb -f "${package}" Package Version Maintainer Depends)
  string(REPLACE "|" ";" depends "${DEPENDS}")
  foreach(dependency IN LISTS depends)
    string(REPLACE "+" "\\+" dependency "${dependency}")
    if(NOT out MATCHES "\nDepends: ([^\n]*, )?${dependency} ")
      message(FATAL_ERROR "${package} does not depend on ${dependency}:\n${out}")
    endif()
  endforeach()
  if(NOT out MATCHES "^Package: vemra\nVersion: ${VERSION}\nMaintainer: vemra developers\n")
    message(FATAL_ERROR "${package} says otherwise what it is:\n${out}")
  endif()
else()
  run("${CMAKE_COMMAND}" -E chdir root "${CMAKE_COMMAND}" -E tar xf "${package}")
endif()

file(GLOB_RECURSE files LIST_DIRECTORIES false RELATIVE "${WORK}/root" "${WORK}/root/*")
file(STRINGS "${CONTENTS}" expected REGEX "^[^#]")
string(CONFIGURE "${expected}" expected @ONLY)
list(SORT files)
list(SORT expected)
if(NOT files STREQUAL expected)
  string(REPLACE ";" "\n  " files "${files}")
  message(FATAL_ERROR "${package} holds\n  ${files}\nnot the files of ${CONTENTS}")
endif()

list(FILTER files INCLUDE REGEX "bin/qxhost${EXE_SUFFIX}$")
string(REPLACE "|" ";" emulator "${EMULATOR}")
run(${emulator} "${WORK}/root/${files}" convert "${SAMPLE}" copy.ras)
run("${CMAKE_COMMAND}" -E compare_files "${SAMPLE}" copy.ras)
file(REMOVE_RECURSE "${WORK}")
